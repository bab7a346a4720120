#pragma once

#include <cstdint>
#include <string_view>

#include "block_reader.hpp"
#include "image_writer.hpp"
#include "text_reader.hpp"

namespace converter {

// The byte a byte-list line stands for: the low 8 bits of its hexadecimal value.
std::uint8_t parse_byte_line(std::string_view line);

enum class ConvertStatus { ok, read_failed };

// Groups the byte lines of the input into words of data_width / 8 bytes and writes one
// word line per word, addressed 0, 1, 2, ... A word is begun only once its first byte
// has been read; bytes missing at the end of the input are 0x00. data_width must be at
// least 8.
ConvertStatus convert_bytes(verilog_hex::TextReader& input, verilog_hex::ImageWriter& output,
                            std::uint8_t data_width, bool big_endian);

// The same grouping for a binary input, every byte of which is one byte of the image.
ConvertStatus convert_binary(verilog_hex::BlockReader& input, verilog_hex::ImageWriter& output,
                             std::uint8_t data_width, bool big_endian);

}  // namespace converter
