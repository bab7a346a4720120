#include "image_words.hpp"

#include <bit>
#include <cstring>

#include "hex_digits.hpp"
#include "numbered_words.hpp"

namespace converter {
namespace {

// The digits of a word of kBytes bytes (at most four), in the order they are written,
// as the bytes of a number in memory: eight of them, the word's first.
template <unsigned kBytes>
std::uint64_t register_word_digits(const char* bytes, bool big_endian) {
  std::uint32_t value = 0;
  for (unsigned k = 0; k < kBytes; ++k) {
    const unsigned place = big_endian ? k : kBytes - 1 - k;  // 0: written first
    value |= std::uint32_t{static_cast<unsigned char>(bytes[k])} << (8 * (3 - place));
  }
  return verilog_hex::eight_hex_digits(value);
}

// Words of up to four bytes: all the digits of a word go out in one store of eight bytes.
template <unsigned kBytes>
std::uint32_t write_register_words(verilog_hex::ImageWriter& output, std::uint32_t address,
                                   const char* bytes, std::size_t count, bool big_endian) {
  constexpr std::size_t kDigits = 2 * kBytes;
  return verilog_hex::write_numbered_words(
      output, address, count, kDigits, 8 - kDigits, [&](char* out) {
        const std::uint64_t digits = register_word_digits<kBytes>(bytes, big_endian);
        std::memcpy(out, &digits, 8);
        bytes += kBytes;
      });
}

}  // namespace

std::optional<verilog_hex::ConversionResult> ImageWords::past_depth(std::uint64_t first,
                                                                    std::uint64_t last) const {
  if (depth_ == 0 || last < depth_) return std::nullopt;
  verilog_hex::ConversionResult refused;
  refused.stop = verilog_hex::Stop::past_last_word;
  refused.value = static_cast<std::uint32_t>(first > depth_ ? first : depth_);
  refused.limit = depth_ - 1;
  return refused;
}

std::optional<verilog_hex::ConversionResult> ImageWords::take(std::uint64_t address,
                                                              std::uint64_t count) {
  if (output_.failed()) return verilog_hex::stopped(verilog_hex::Stop::write_failed);
  if (count > 0) {
    if (auto refused = past_depth(address, address + count - 1)) return refused;
  }
  if ((depth_ != 0 || dense_) && address > next_) {
    verilog_hex::write_fill_words(output_, static_cast<std::uint32_t>(next_),
                                  static_cast<std::size_t>(address - next_), bytes_per_word_,
                                  fill_);
  }
  next_ = address + count;
  return std::nullopt;
}

std::optional<verilog_hex::ConversionResult> ImageWords::write(std::uint64_t address,
                                                               const char* bytes,
                                                               std::size_t count) {
  if (auto refused = take(address, count)) return refused;
  const auto first = static_cast<std::uint32_t>(address);
  switch (bytes_per_word_) {
    case 1:
      write_register_words<1>(output_, first, bytes, count, big_endian_);
      break;
    case 2:
      write_register_words<2>(output_, first, bytes, count, big_endian_);
      break;
    case 4:
      write_register_words<4>(output_, first, bytes, count, big_endian_);
      break;
    default:
      verilog_hex::write_byte_words(output_, first, count, bytes_per_word_, big_endian_,
                                    [&](char* out) {
                                      const auto value = static_cast<unsigned char>(*bytes++);
                                      out[0] = verilog_hex::kUpperHexDigits[value >> 4];
                                      out[1] = verilog_hex::kUpperHexDigits[value & 0xF];
                                    });
  }
  return std::nullopt;
}

}  // namespace converter
