#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>

#include "byte_conversion.hpp"
#include "memory_streams.hpp"
#include "verilog_hex.hpp"

namespace test {

// Converts the whole input into words of data_width / 8 bytes, with no depth; false
// where the conversion stops short.
template <class Reader>
bool converts(Reader& input, verilog_hex::ImageWriter& output, unsigned data_width,
              bool big_endian) {
  converter::ImageWords words(output, data_width / 8, big_endian, 0);
  if constexpr (std::is_same_v<Reader, verilog_hex::BlockReader>) {
    return converter::convert_binary(input, words).ok();
  } else {
    return converter::convert_bytes(input, words).ok();
  }
}

// The image of a byte list by the general rules alone, read line by line: each line's
// byte, grouped into words and padded with zero bytes. What the converter's fast paths
// must agree with.
inline std::string image_by_general_rules(std::string_view byte_list, unsigned bytes_per_word,
                                          bool big_endian) {
  std::string bytes;
  verilog_hex::TextReader lines(test::memory_input(byte_list), 4096);
  while (const auto line = lines.read_line(converter::kMaxByteLine)) {
    bytes += static_cast<char>(converter::parse_byte_line(*line));
  }
  std::string image;
  for (std::size_t first = 0; first < bytes.size(); first += bytes_per_word) {
    char text[24];
    std::snprintf(text, sizeof text, "@%zX\t", first / bytes_per_word);
    image += text;
    for (std::size_t k = 0; k < bytes_per_word; ++k) {
      const std::size_t at = first + (big_endian ? k : bytes_per_word - 1 - k);
      std::snprintf(text, sizeof text, "%02X",
                    at < bytes.size() ? static_cast<std::uint8_t>(bytes[at]) : 0);
      image += text;
    }
    image += "\r\n";
  }
  return image;
}

}  // namespace test
