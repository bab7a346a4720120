#pragma once

#include <cstdint>
#include <string_view>

namespace verilog_hex {

// The value of the digits at the start of the text in base 10 or 16 (letters of either
// case count from 10), stopping at the first other character. More than fits in 32 bits
// gives 0xFFFFFFFF; no digit gives 0.
std::uint32_t parse_digits(std::string_view text, unsigned base);

// What a value too large for 32 bits gives. Each tool keeps its own rule, as scripts
// may rely on it: tolvane's -d wraps, marisk's -d and -s and every hexadecimal number
// saturate.
enum class Overflow {
  saturates,  // 0xFFFFFFFF, whatever the sign
  wraps,      // the value modulo 2^32, then negated for "-"
};

// Text to a 32-bit unsigned value in base 10 or 16: leading white space is skipped, a
// "+" or "-" may follow, then (base 16 only) a "0x" or "0X" prefix, then the digits.
// Text after the number is ignored and text that is no number gives 0. "-" negates the
// value modulo 2^32.
std::uint32_t parse_unsigned(std::string_view text, unsigned base,
                             Overflow overflow = Overflow::saturates);

// A count as people write it: decimal, or hexadecimal after "0x" or "0X" (which follow
// the white space and sign parse_unsigned skips): "0x1000" is 4096, "010" is ten.
std::uint32_t parse_count(std::string_view text);

}  // namespace verilog_hex
