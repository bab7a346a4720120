#include "number_parse.hpp"

#include <optional>

#include "hex_digits.hpp"

namespace verilog_hex {
namespace {

constexpr std::uint32_t kOverflow = 0xFFFFFFFF;

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The digits' value; nothing when it does not fit in 32 bits and overflow saturates.
std::optional<std::uint32_t> accumulate(std::string_view text, unsigned base, Overflow overflow) {
  std::uint64_t value = 0;
  for (const char c : text) {
    // In base 10 or 16 a letter beyond F ends the number as surely as one beyond 9.
    const int digit = hex_digit_value(c);
    if (digit < 0 || static_cast<unsigned>(digit) >= base) break;
    value = value * base + static_cast<unsigned>(digit);
    if (value > kOverflow) {
      if (overflow == Overflow::saturates) return std::nullopt;
      value &= kOverflow;
    }
  }
  return static_cast<std::uint32_t>(value);
}

// Where the digits or the "0x" before them begin: past white space and a sign.
std::size_t number_start(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && is_space(text[i])) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  return i;
}

bool hex_prefix_at(std::string_view text, std::size_t i) {
  return i + 1 < text.size() && text[i] == '0' && (text[i + 1] | 0x20) == 'x';
}

}  // namespace

std::uint32_t parse_digits(std::string_view text, unsigned base) {
  return accumulate(text, base, Overflow::saturates).value_or(kOverflow);
}

std::uint32_t parse_unsigned(std::string_view text, unsigned base, Overflow overflow) {
  std::size_t i = number_start(text);
  const bool negative = i > 0 && text[i - 1] == '-';
  if (base == 16 && hex_prefix_at(text, i)) i += 2;
  const auto value = accumulate(text.substr(i), base, overflow);
  if (!value) return kOverflow;
  return negative ? 0u - *value : *value;
}

std::uint32_t parse_count(std::string_view text) {
  return parse_unsigned(text, hex_prefix_at(text, number_start(text)) ? 16 : 10);
}

}  // namespace verilog_hex
