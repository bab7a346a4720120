#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "byte_stream.hpp"

namespace vh {

// Writes text with every line end stored as CR LF, the same bytes on every platform.
// Write errors are remembered and reported by finish().
class TextWriter {
 public:
  static constexpr std::size_t kDefaultCapacity = 256 * 1024;
  static constexpr std::size_t kMinCapacity = 32;

  explicit TextWriter(ByteSink sink, std::size_t capacity = kDefaultCapacity);
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;
  ~TextWriter();

  // The text verbatim, but each LF stored as CR LF.
  void write_text(std::string_view text);

  // "@", the address in upper-case hexadecimal without leading zeros, and a TAB.
  void write_address(std::uint32_t address) {
    char* out = reserve(11);
    *out++ = '@';
    int shift = 28;
    while (shift > 0 && (address >> shift) == 0) shift -= 4;
    for (; shift >= 0; shift -= 4) *out++ = kUpperHex[(address >> shift) & 0xF];
    *out++ = '\t';
    commit(out);
  }

  // Two upper-case hexadecimal digits.
  void write_byte(std::uint8_t value) {
    char* out = reserve(2);
    out[0] = kUpperHex[value >> 4];
    out[1] = kUpperHex[value & 0xF];
    commit(out + 2);
  }

  void write_line_end() {
    char* out = reserve(2);
    out[0] = '\r';
    out[1] = '\n';
    commit(out + 2);
  }

  // Flushes and releases the output; false when any write, the flush or the close failed.
  bool finish();

 private:
  static constexpr char kUpperHex[] = "0123456789ABCDEF";

  char* reserve(std::size_t count) {
    if (capacity_ - used_ < count) flush();
    return buffer_.get() + used_;
  }
  void commit(const char* end) { used_ = static_cast<std::size_t>(end - buffer_.get()); }
  void append(std::string_view bytes);
  void flush();

  ByteSink sink_;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_;
  std::size_t used_ = 0;
  bool failed_ = false;
  bool finished_ = false;
};

}  // namespace vh
