#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "text_writer.hpp"

namespace verilog_hex {

// The file name suffix of a VerilogHex image.
inline constexpr std::string_view kImageSuffix = ".vh";

// A word line's address as it is written: "@", the address in upper-case hexadecimal
// without leading zeros (zero is "0"), TAB. Formed once, it can go to any number of images.
class AddressField {
 public:
  static constexpr std::size_t kMaxSize = 10;  // "@FFFFFFFF" TAB

  explicit AddressField(std::uint32_t address)
      : size_(static_cast<std::size_t>(put(text_, address) - text_)) {}
  // From at most eight hexadecimal digits of either case as read: digits already in
  // the written form go over as they stand, others are formed from their value.
  static AddressField from_digits(std::string_view digits);

  std::string_view text() const { return {text_, size_}; }

  // Stores the field of the address at out and gives its end. All eight digits are
  // formed at once and stored in one go, so the store may reach kMaxSize bytes past out
  // whatever the field's size.
  static char* put(char* out, std::uint32_t address) {
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

 private:
  AddressField() = default;

  char text_[16];
  std::size_t size_ = 0;
};

// Writes a VerilogHex image: one word line a word, "@" address TAB data CR LF, and
// nothing else. The data text is written as it stands and must hold no LF.
class ImageWriter {
 public:
  explicit ImageWriter(std::unique_ptr<OutputFile> file,
                       std::size_t capacity = TextWriter::kDefaultCapacity)
      : text_(std::move(file), capacity) {}

  [[gnu::always_inline]] void write_word(std::uint32_t address, std::string_view data) {
    const std::size_t size = AddressField::kMaxSize + data.size() + 2;
    if (size > text_.capacity()) return write_long_word(AddressField(address), data);
    char* out = AddressField::put(text_.reserve(size), address);
    end_line(out, data);
  }

  [[gnu::always_inline]] void write_word(const AddressField& address, std::string_view data) {
    const std::size_t size = address.text().size() + data.size() + 2;
    if (size > text_.capacity()) return write_long_word(address, data);
    char* out = text_.reserve(size);
    TextWriter::copy_short(out, address.text());
    end_line(out + address.text().size(), data);
  }

  // Flushes and releases the output; false when any write, the flush or the close failed.
  bool finish() { return text_.finish(); }

 private:
  [[gnu::always_inline]] void end_line(char* out, std::string_view data) {
    TextWriter::copy_short(out, data);
    out += data.size();
    *out++ = '\r';
    *out++ = '\n';
    text_.commit(out);
  }
  // A line longer than the buffer goes out in pieces.
  void write_long_word(const AddressField& address, std::string_view data);

  TextWriter text_;
};

}  // namespace verilog_hex
