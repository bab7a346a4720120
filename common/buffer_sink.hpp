#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "byte_streams.hpp"

namespace verilog_hex {

// Output buffers of one size that writers take to fill and get back once their bytes
// are written, so that any number of outputs can share one memory budget. All count of
// them are made at once: a run short of memory stops before it writes, and no later
// step needs more.
class BufferPool {
 public:
  BufferPool(std::size_t size, std::size_t count);

  std::size_t size() const { return size_; }
  // A buffer to fill; waits while all are being written.
  std::unique_ptr<char[]> take();
  void give(std::unique_ptr<char[]> buffer);

 private:
  std::mutex mutex_;
  std::condition_variable returned_;
  std::vector<std::unique_ptr<char[]>> free_;
  std::size_t size_;
};

// Where a writer's full buffers go, to be written to one file in the order handed over.
class BufferSink {
 public:
  virtual ~BufferSink() = default;
  // Hands the buffer's first size bytes over; the buffer goes back to the pool once they
  // are written. False once any write has failed.
  virtual bool start(std::unique_ptr<char[]> buffer, std::size_t size, BufferPool& pool) = 0;
  // Once every buffer handed over is written, cuts the file back to its first size
  // bytes; false when that cannot be done or any write has failed.
  virtual bool cut_back(std::uint64_t size) = 0;
  // Once every buffer handed over is written, appends the scratch file's first size
  // bytes as the file does (see OutputFile::append_from); false too once any write has
  // failed.
  virtual std::optional<bool> append_from(ScratchFile& scratch, std::uint64_t size) = 0;
  // True where replace_start() can work (see OutputFile::can_rewrite).
  virtual bool can_rewrite() const = 0;
  // Once every buffer handed over is written, replaces the first size bytes of the
  // file, end bytes long, with start (see verilog_hex::replace_start); false too once
  // any write has failed.
  virtual bool replace_start(std::uint64_t end, std::uint64_t size, std::string_view start) = 0;
  // Writes the last bytes after every buffer handed over and closes the file; false when
  // any write or the close failed. Later calls give the same answer.
  virtual bool close(std::string_view last) = 0;
};

// Replaces the first size bytes of a file that can be rewritten, end bytes long, with
// start, moving the bytes after them where the two differ in length; the next write goes
// to the new end. False where any step failed.
bool replace_start(OutputFile& file, std::uint64_t end, std::uint64_t size, std::string_view start);

// Writes each buffer at once, in the caller's time.
std::unique_ptr<BufferSink> write_at_once(std::unique_ptr<OutputFile> file);

}  // namespace verilog_hex
