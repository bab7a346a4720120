#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include "buffer_sink.hpp"
#include "byte_streams.hpp"

namespace verilog_hex {

// Writes bytes exactly as given, the same on every platform. Write errors are remembered
// and reported by finish(). Full buffers go to a sink, which may write them while the
// next one fills. Formatters may also fill the buffer directly: reserve() room, store
// the bytes and commit() their end. A buffer is taken from the pool with the first byte
// to hold, so writers that share a pool and are written one after another (rows of
// banks) need buffers only for those in use: release() gives one back.
class TextWriter {
 public:
  static constexpr std::size_t kDefaultCapacity = 1024 * 1024;
  static constexpr std::size_t kMinCapacity = 32;

  // With a buffer being filled and one being written, of the given size.
  explicit TextWriter(std::unique_ptr<BufferSink> sink, std::size_t capacity = kDefaultCapacity);
  // With buffers from a pool that other writers share.
  TextWriter(std::unique_ptr<BufferSink> sink, std::shared_ptr<BufferPool> pool);
  // Writing each full buffer at once.
  explicit TextWriter(std::unique_ptr<OutputFile> file, std::size_t capacity = kDefaultCapacity)
      : TextWriter(write_at_once(std::move(file)), capacity) {}
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;
  ~TextWriter();

  // The bytes exactly as they are.
  void append(std::string_view bytes);

  std::size_t capacity() const { return capacity_; }
  // Room for count bytes (at most the capacity) at the returned place.
  char* reserve(std::size_t count) {
    if (room_ - used_ < count) flush();
    return buffer_.get() + used_;
  }
  void commit(const char* end) { used_ = static_cast<std::size_t>(end - buffer_.get()); }

  // How many bytes have been written so far, buffered or not.
  std::uint64_t position() const { return handed_over_ + used_; }
  // Takes back what was written after an earlier position(): from the buffer, or from
  // the file where it has gone there. False, and a failed write, where the file cannot
  // be cut back.
  bool cut_back(std::uint64_t position);

  // Short texts, the usual data texts and address fields, are copied in two overlapping
  // moves of fixed size rather than by a library call.
  static void copy_short(char* out, std::string_view text) {
    const char* in = text.data();
    const std::size_t n = text.size();
    if (n >= 8 && n <= 16) {
      std::memcpy(out, in, 8);
      std::memcpy(out + n - 8, in + n - 8, 8);
    } else if (n >= 4 && n < 8) {
      std::memcpy(out, in, 4);
      std::memcpy(out + n - 4, in + n - 4, 4);
    } else if (n > 0 && n < 4) {
      out[0] = in[0];
      out[n / 2] = in[n / 2];
      out[n - 1] = in[n - 1];
    } else if (n > 16) {
      std::memcpy(out, in, n);
    }
  }

  // Appends the scratch file's first size bytes after all written so far, copied inside
  // the system; nothing where the system cannot (see OutputFile::append_from).
  std::optional<bool> append_from(ScratchFile& scratch, std::uint64_t size);

  // True where replace_start() can work: the output is a new file.
  bool can_rewrite() const { return sink_->can_rewrite(); }
  // Replaces the first size bytes written with start, moving all written after them in
  // the file where the two differ in length (see verilog_hex::replace_start).
  bool replace_start(std::uint64_t size, std::string_view start);

  // Hands what is buffered over and gives the buffer back to the pool, until more comes.
  void release();
  // Flushes and releases the output; false when any write, the flush or the close failed.
  bool finish();
  // True once a write has failed: what follows is lost anyway.
  bool failed() const { return failed_; }

 private:
  // Hands what is buffered over, then holds an empty buffer.
  void flush();
  // Hands what is buffered over; a buffer handed over is no longer held.
  void hand_over();

  std::unique_ptr<BufferSink> sink_;
  std::shared_ptr<BufferPool> pool_;
  std::unique_ptr<char[]> buffer_;  // none until a byte comes
  std::size_t capacity_;
  std::size_t room_ = 0;  // the buffer's size where one is held, else 0
  std::size_t used_ = 0;
  std::uint64_t handed_over_ = 0;  // bytes given to the sink
  bool failed_ = false;
  bool finished_ = false;
};

}  // namespace verilog_hex
