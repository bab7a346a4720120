#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "byte_streams.hpp"

namespace verilog_hex {

// Reads a file in large blocks into one buffer, from which parsers take runs of bytes
// straight away: fill() as many as they need, then consume() what they took. A filter
// may change each block's fresh bytes in place, as the text rules do.
class BlockReader {
 public:
  static constexpr std::size_t kDefaultCapacity = 256 * 1024;
  // The smallest buffer: a run of this many bytes always fits.
  static constexpr std::size_t kMinCapacity = 256;
  // So that parsers may load in fixed-size steps, this many bytes past the end of what
  // is buffered can be read (their values are unspecified).
  static constexpr std::size_t kSlack = 16;

  // Applied to the fresh bytes of every block: changes them in place and gives how many
  // remain. Setting end_of_input means that nothing after them is to be read.
  using Filter = std::size_t (*)(char* bytes, std::size_t count, bool& end_of_input);

  explicit BlockReader(std::unique_ptr<InputFile> source, std::size_t capacity = kDefaultCapacity,
                       Filter filter = nullptr);

  // The buffered bytes: at least wanted of them (at most the capacity) unless the input
  // ends first, and nothing more is read while that many are buffered. After a read
  // error, what was buffered before it.
  std::string_view fill(std::size_t wanted);
  std::string_view buffered() const { return {buffer_.get() + begin_, end_ - begin_}; }
  void consume(std::size_t count) { begin_ += count; }

  std::size_t capacity() const { return capacity_; }
  // The file itself, for reads at a position.
  InputFile& source() { return *source_; }
  // True once the input has nothing more to give: what is buffered is the rest.
  bool source_done() const { return source_done_; }
  // True once reading the underlying file has failed.
  bool failed() const { return failed_; }

 private:
  std::unique_ptr<InputFile> source_;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_;
  Filter filter_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool source_done_ = false;
  bool failed_ = false;
};

}  // namespace verilog_hex
