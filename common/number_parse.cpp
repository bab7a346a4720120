#include "number_parse.hpp"

#include <optional>

namespace vh {
namespace {

constexpr std::uint32_t kOverflow = 0xFFFFFFFF;

unsigned digit_value(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'z') return static_cast<unsigned>(c - 'a') + 10;
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned>(c - 'A') + 10;
  return 36;
}

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The digits' value, or nothing when it does not fit in 32 bits.
std::optional<std::uint32_t> accumulate(std::string_view text, unsigned base) {
  std::uint64_t value = 0;
  for (const char c : text) {
    const unsigned digit = digit_value(c);
    if (digit >= base) break;
    value = value * base + digit;
    if (value > kOverflow) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

}  // namespace

std::uint32_t parse_digits(std::string_view text, unsigned base) {
  return accumulate(text, base).value_or(kOverflow);
}

std::uint32_t parse_unsigned(std::string_view text, unsigned base) {
  std::size_t i = 0;
  while (i < text.size() && is_space(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (base == 16 && i + 1 < text.size() && text[i] == '0' && (text[i + 1] | 0x20) == 'x') {
    i += 2;
  }
  const auto value = accumulate(text.substr(i), base);
  if (!value) return kOverflow;
  return negative ? 0u - *value : *value;
}

}  // namespace vh
