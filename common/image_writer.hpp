#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>

#include "hex_digits.hpp"
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
      : size_(static_cast<std::size_t>(put(own_, address) - own_)) {}
  // True when a field as read ("@", at most eight hexadecimal digits of either case,
  // TAB, with sixteen bytes readable from its start) is already in the written form.
  static bool in_written_form(std::string_view field) {
    const std::size_t digits = field.size() - 2;
    return digits > 0 && (field[1] != '0' || digits == 1) &&
           (lower_case_hex_letters(field.data() + 1) & ((1u << digits) - 1)) == 0;
  }
  // From a field as read, as above. A field already in the written form is copied from
  // where it was read, which must outlive this; others are formed from their value.
  static AddressField from_field(std::string_view field) {
    if (!in_written_form(field)) {
      std::uint32_t address = 0;
      for (const char c : field.substr(1, field.size() - 2)) {
        address = address << 4 | static_cast<std::uint32_t>(hex_digit_value(c));
      }
      return AddressField(address);
    }
    AddressField copied;
    copied.source_ = field.data();
    copied.size_ = field.size();
    return copied;
  }

  std::string_view text() const { return {source_ != nullptr ? source_ : own_, size_}; }

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

  char own_[16];
  const char* source_ = nullptr;  // the field as read, when it is copied from there
  std::size_t size_ = 0;
};

// A word as read: where its address field stands in the written form (sixteen bytes
// readable from there) and its data text.
struct WordText {
  const char* field;
  const char* data;
  std::uint32_t field_size;
  std::uint32_t data_size;
};

// Writes a VerilogHex image: one word line a word, "@" address TAB data CR LF, and
// nothing else. The data text is written as it stands and must hold no LF.
class ImageWriter {
 public:
  explicit ImageWriter(std::unique_ptr<OutputFile> file,
                       std::size_t capacity = TextWriter::kDefaultCapacity)
      : text_(std::move(file), capacity) {}
  // With buffers from a pool that other writers share.
  ImageWriter(std::unique_ptr<OutputFile> file, std::shared_ptr<BufferPool> pool)
      : text_(std::move(file), std::move(pool)) {}

  [[gnu::always_inline]] void write_word(std::uint32_t address, std::string_view data) {
    const std::size_t size = AddressField::kMaxSize + data.size() + 2;
    if (size > text_.capacity()) return write_long_word(AddressField(address).text(), data);
    char* out = AddressField::put(text_.reserve(size), address);
    end_line(out, data);
  }

  // Words numbered from the address on, count of them, each of data_size digits that
  // put_data(out) stores at out (it may store up to eight bytes more, which the next
  // line then takes); gives the next address. For long runs of words: the buffer is
  // reserved a batch at a time, and only every sixteenth address is formed whole.
  template <class PutData>
  std::uint32_t write_numbered_words(std::uint32_t address, std::size_t count,
                                     std::size_t data_size, PutData put_data) {
    const std::size_t line = AddressField::kMaxSize + data_size + 2;
    const std::size_t most = (text_.capacity() - 8) / line;
    if (most == 0) {  // a buffer too small for a batch: one word at a time
      std::array<char, 256 + 8> digits;
      for (; count > 0; --count) {
        put_data(digits.data());
        write_word(address++, {digits.data(), data_size});
      }
      return address;
    }
    char head[8] = {};  // "@" and the digits before the last one
    std::size_t head_size = 0;
    while (count > 0) {
      const std::size_t batch = count < most ? count : most;
      char* out = text_.reserve(batch * line + 8);
      for (std::size_t i = 0; i < batch; ++i, ++address) {
        if (head_size == 0 || (address & 0xF) == 0) {
          if (address < 16) {
            head[0] = '@';
            head_size = 1;
          } else {
            char field[16];
            head_size = AddressField::put(field, address >> 4) - field - 1;
            std::memcpy(head, field, 8);
          }
        }
        std::memcpy(out, head, 8);
        out += head_size;
        out[0] = kUpperHexDigits[address & 0xF];
        out[1] = '\t';
        put_data(out + 2);
        out += 2 + data_size;
        std::memcpy(out, "\r\n", 2);
        out += 2;
      }
      text_.commit(out);
      count -= batch;
    }
    return address;
  }

  // For each word, a line with its address and the part of its data text that starts at
  // the offset, at most digits long (empty when the text is shorter). Fields and texts
  // may be copied in moves of sixteen bytes, so sixteen bytes must be readable from the
  // start of each field and from the offset in each text that reaches it.
  void write_slices(std::span<const WordText> words, std::size_t offset, std::size_t digits) {
    const std::size_t line = 16 + 16 + 2;  // the most a line's moves store
    if (digits > 16 || text_.capacity() < 32 + line) {
      for (const WordText& word : words) {
        const std::string_view data(word.data, word.data_size);
        write_field_word({word.field, word.field_size},
                         data.size() > offset ? data.substr(offset, digits) : std::string_view());
      }
      return;
    }
    const std::size_t most = (text_.capacity() - 32) / line;
    while (!words.empty()) {
      const std::size_t batch = words.size() < most ? words.size() : most;
      char* out = text_.reserve(batch * line + 32);
      for (const WordText& word : words.first(batch)) {
        std::memcpy(out, word.field, 16);
        out += word.field_size;
        if (word.data_size > offset) {
          const std::size_t rest = word.data_size - offset;
          std::memcpy(out, word.data + offset, 16);
          out += rest < digits ? rest : digits;
        }
        std::memcpy(out, "\r\n", 2);
        out += 2;
      }
      text_.commit(out);
      words = words.subspan(batch);
    }
  }

  // Flushes and releases the output; false when any write, the flush or the close failed.
  bool finish() { return text_.finish(); }

 private:
  [[gnu::always_inline]] void write_field_word(std::string_view field, std::string_view data) {
    const std::size_t size = field.size() + data.size() + 2;
    if (size > text_.capacity()) return write_long_word(field, data);
    char* out = text_.reserve(size);
    TextWriter::copy_short(out, field);
    end_line(out + field.size(), data);
  }
  [[gnu::always_inline]] void end_line(char* out, std::string_view data) {
    TextWriter::copy_short(out, data);
    out += data.size();
    *out++ = '\r';
    *out++ = '\n';
    text_.commit(out);
  }
  // A line longer than the buffer goes out in pieces.
  void write_long_word(std::string_view field, std::string_view data);

  TextWriter text_;
};

}  // namespace verilog_hex
