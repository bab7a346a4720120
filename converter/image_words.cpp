#include "image_words.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "hex_digits.hpp"
#include "numbered_words.hpp"

namespace converter {
namespace {

// The digit pairs of a word of kBytes bytes (at most four) in the opposite order, from
// the eight bytes read where its digits begin; the same on either byte order, as the
// pairs' places are swapped symmetrically.
template <unsigned kBytes>
std::uint64_t reversed_pairs(std::uint64_t text) {
  if constexpr (kBytes == 4) {
    text = text >> 32 | text << 32;
    return (text & 0x0000FFFF0000FFFF) << 16 | (text >> 16 & 0x0000FFFF0000FFFF);
  } else if constexpr (kBytes == 2) {
    return (text & 0xFFFF0000FFFF0000) >> 16 | (text & 0x0000FFFF0000FFFF) << 16;
  }
  return text;
}

// Words of up to four bytes: the digits of a block of them are formed sixteen bytes at
// a time, then each word's go out in one store of eight bytes.
template <unsigned kBytes>
std::uint32_t write_register_words(verilog_hex::ImageWriter& output, std::uint32_t address,
                                   const char* bytes, std::size_t count, bool big_endian) {
  constexpr std::size_t kDigits = 2 * kBytes;
  constexpr std::size_t kBlock = 4096 / kBytes;  // words
  char digits[2 * kBlock * kBytes + 8];
  while (count > 0 && !output.failed()) {
    const std::size_t words = std::min(count, kBlock);
    verilog_hex::put_hex_pairs(reinterpret_cast<const std::uint8_t*>(bytes), words * kBytes,
                               digits);
    const char* from = digits;
    address = verilog_hex::write_numbered_words(output, address, words, kDigits, 8 - kDigits,
                                                [&](char* out) {
                                                  std::uint64_t text;
                                                  std::memcpy(&text, from, 8);
                                                  if (!big_endian)
                                                    text = reversed_pairs<kBytes>(text);
                                                  std::memcpy(out, &text, 8);
                                                  from += kDigits;
                                                });
    bytes += words * kBytes;
    count -= words;
  }
  return address;
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
