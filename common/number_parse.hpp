#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace vh {

namespace detail {
constexpr std::array<std::int8_t, 256> make_hex_digit_values() {
  std::array<std::int8_t, 256> values{};
  values.fill(-1);
  for (int c = '0'; c <= '9'; ++c) values[c] = static_cast<std::int8_t>(c - '0');
  for (int c = 'a'; c <= 'f'; ++c) values[c] = static_cast<std::int8_t>(c - 'a' + 10);
  for (int c = 'A'; c <= 'F'; ++c) values[c] = static_cast<std::int8_t>(c - 'A' + 10);
  return values;
}
}  // namespace detail

// The value of a hexadecimal digit of either case, by byte; -1 for every other byte. For
// the fast paths that take the common lines without the general parse.
inline constexpr std::array<std::int8_t, 256> kHexDigitValue = detail::make_hex_digit_values();

inline int hex_digit_value(char c) { return kHexDigitValue[static_cast<unsigned char>(c)]; }

// The value of the digits at the start of the text in the given base (letters count
// 10 to 35 in either case), stopping at the first other character. More than fits in
// 32 bits gives 0xFFFFFFFF; no digit gives 0.
std::uint32_t parse_digits(std::string_view text, unsigned base);

// Text to a 32-bit unsigned value in base 10 or 16: leading white space is skipped, a
// "+" or "-" may follow, then (base 16 only) a "0x" or "0X" prefix, then the digits.
// Text after the number is ignored and text that is no number gives 0. A value too
// large for 32 bits gives 0xFFFFFFFF whatever the sign; otherwise "-" negates it
// modulo 2^32.
std::uint32_t parse_unsigned(std::string_view text, unsigned base);

}  // namespace vh
