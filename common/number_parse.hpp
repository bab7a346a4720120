#pragma once

#include <cstdint>
#include <string_view>

namespace verilog_hex {

// The value of the digits at the start of the text in base 10 or 16 (letters of either
// case count from 10), stopping at the first other character. More than fits in 32 bits
// gives 0xFFFFFFFF; no digit gives 0.
std::uint32_t parse_digits(std::string_view text, unsigned base);

// Text to a 32-bit unsigned value in base 10 or 16: leading white space is skipped, a
// "+" or "-" may follow, then (base 16 only) a "0x" or "0X" prefix, then the digits.
// Text after the number is ignored and text that is no number gives 0. A value too
// large for 32 bits gives 0xFFFFFFFF whatever the sign; otherwise "-" negates it
// modulo 2^32.
std::uint32_t parse_unsigned(std::string_view text, unsigned base);

}  // namespace verilog_hex
