#include "byte_conversion.hpp"

#include <array>

namespace tolvane {
namespace {

constexpr std::array<std::int8_t, 256> make_hex_table() {
  std::array<std::int8_t, 256> table{};
  table.fill(-1);
  for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<std::int8_t>(c - '0');
  for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<std::int8_t>(c - 'a' + 10);
  for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<std::int8_t>(c - 'A' + 10);
  return table;
}
constexpr std::array<std::int8_t, 256> kHexValue = make_hex_table();

}  // namespace

std::uint8_t parse_byte_line(std::string_view line) {
  // Almost every line is two digits and a line end; anything else takes the full parse.
  if (line.size() == 3 ? line[2] == '\n' : line.size() == 2) {
    const int high = kHexValue[static_cast<unsigned char>(line[0])];
    const int low = kHexValue[static_cast<unsigned char>(line[1])];
    if ((high | low) >= 0) return static_cast<std::uint8_t>(high << 4 | low);
  }
  return static_cast<std::uint8_t>(vh::parse_unsigned(line, 16));
}

ConvertStatus convert_bytes(vh::TextReader& input, vh::TextWriter& output, std::uint8_t data_width,
                            bool big_endian) {
  const unsigned bytes_per_word = data_width / 8u;
  std::array<std::uint8_t, 32> word{};
  for (std::uint32_t address = 0;; ++address) {
    const auto first = input.read_line();
    if (!first) break;
    word[0] = parse_byte_line(*first);
    for (unsigned k = 1; k < bytes_per_word; ++k) {
      const auto line = input.read_line();
      word[k] = line ? parse_byte_line(*line) : 0;
    }
    if (input.failed()) return ConvertStatus::read_failed;
    output.write_address(address);
    for (unsigned k = 0; k < bytes_per_word; ++k) {
      output.write_byte(word[big_endian ? k : bytes_per_word - 1 - k]);
    }
    output.write_line_end();
  }
  return input.failed() ? ConvertStatus::read_failed : ConvertStatus::ok;
}

}  // namespace tolvane
