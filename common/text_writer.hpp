#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "background_writer.hpp"

namespace vh {

// Writes text with every line end stored as CR LF, the same bytes on every platform.
// Write errors are remembered and reported by finish(). A full buffer is written in the
// background while the next one fills.
class TextWriter {
 public:
  static constexpr std::size_t kMaxAddressField = 10;  // "@FFFFFFFF" TAB
  static constexpr std::size_t kDefaultCapacity = 256 * 1024;
  static constexpr std::size_t kMinCapacity = kMaxAddressField + 2;

  explicit TextWriter(std::unique_ptr<OutputFile> sink, std::size_t capacity = kDefaultCapacity);
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;
  ~TextWriter();

  // The text verbatim, but each LF stored as CR LF.
  void write_text(std::string_view text);

  // One word line: "@", the address in upper-case hexadecimal without leading zeros, a
  // TAB, the data text as it stands (it must hold no LF) and CR LF.
  [[gnu::always_inline]] void write_word_line(std::uint32_t address, std::string_view data) {
    const std::size_t size = kMaxAddressField + data.size() + 2;
    if (size > capacity_) return write_long_word_line(address, data);
    char* out = put_address(reserve(size), address);
    copy_text(out, data);
    out += data.size();
    *out++ = '\r';
    *out++ = '\n';
    commit(out);
  }

  // The head, the text and CR LF; neither may hold an LF.
  void write_line(std::string_view head, std::string_view text) {
    const std::size_t size = head.size() + text.size() + 2;
    if (size > capacity_) return write_long_line(head, text);
    char* out = reserve(size);
    copy_text(out, head);
    out += head.size();
    copy_text(out, text);
    out += text.size();
    *out++ = '\r';
    *out++ = '\n';
    commit(out);
  }

  // Flushes and releases the output; false when any write, the flush or the close failed.
  bool finish();

 private:
  // All eight digits are formed at once and stored in one go; the store may run past the
  // digits kept, into room that the TAB and the data then take.
  static char* put_address(char* out, std::uint32_t address) {
    *out++ = '@';
    const int digits = address == 0 ? 1 : (std::bit_width(address) + 3) / 4;
    std::uint64_t nibbles = address;  // one nibble a byte, the last digit in the lowest
    nibbles = (nibbles | nibbles << 16) & 0x0000FFFF0000FFFF;
    nibbles = (nibbles | nibbles << 8) & 0x00FF00FF00FF00FF;
    nibbles = (nibbles | nibbles << 4) & 0x0F0F0F0F0F0F0F0F;
    // A nibble of 10 or more carries into bit 4 once 6 is added: it then needs 7 more.
    const std::uint64_t letters = ((nibbles + 0x0606060606060606) >> 4) & 0x0101010101010101;
    std::uint64_t text = nibbles + 0x3030303030303030 + letters * 7;
    // The first digit kept must come first in memory.
    if constexpr (std::endian::native == std::endian::little) {
      text = __builtin_bswap64(text) >> 8 * (8 - digits);
    } else {
      text <<= 8 * (8 - digits);
    }
    std::memcpy(out, &text, 8);
    out += digits;
    *out++ = '\t';
    return out;
  }
  // Short texts, the usual data texts, are copied in two overlapping moves of fixed size
  // rather than by a library call.
  static void copy_text(char* out, std::string_view text) {
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
  char* reserve(std::size_t count) {
    if (capacity_ - used_ < count) flush();
    return buffer_.get() + used_;
  }
  void commit(const char* end) { used_ = static_cast<std::size_t>(end - buffer_.get()); }
  void append(std::string_view bytes);
  void write_long_word_line(std::uint32_t address, std::string_view data);
  void write_long_line(std::string_view head, std::string_view text);
  void flush();

  BackgroundWriter sink_;
  std::unique_ptr<char[]> buffer_;
  std::unique_ptr<char[]> spare_;  // the buffer being written, once there is one
  std::size_t capacity_;
  std::size_t used_ = 0;
  bool failed_ = false;
  bool finished_ = false;
};

}  // namespace vh
