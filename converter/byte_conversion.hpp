#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "block_reader.hpp"
#include "conversion_result.hpp"
#include "image_words.hpp"
#include "text_reader.hpp"

namespace converter {

// A byte list's line is cut after this many characters: a longer one counts as several
// byte lines.
inline constexpr std::size_t kMaxByteLine = 255;

// The byte a byte-list line stands for: the low 8 bits of its hexadecimal value.
std::uint8_t parse_byte_line(std::string_view line);

// Groups the byte lines of the input into words and writes one word line per word,
// addressed 0, 1, 2, ... A word is begun only once its first byte has been read; bytes
// missing at the end of the input are the fill byte.
verilog_hex::ConversionResult convert_bytes(verilog_hex::TextReader& input, ImageWords& words);

// The same grouping for a binary input, every byte of which is one byte of the image.
verilog_hex::ConversionResult convert_binary(verilog_hex::BlockReader& input, ImageWords& words);

}  // namespace converter
