#include "intel_hex.hpp"

#include "hex_digits.hpp"
#include "text_reader.hpp"

namespace verilog_hex {
namespace {

// The data bytes types 01 to 05 carry.
constexpr int kFixedDataSize[] = {-1, 0, 2, 4, 2, 4};

}  // namespace

bool parse_intel_hex_record(std::string_view line, IntelHexRecord& record) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  while (!line.empty() && is_blank(line.back())) line.remove_suffix(1);
  if (line.empty() || line[0] != ':') return false;
  const std::string_view digits = line.substr(1);
  // The five fixed bytes and the data bytes the count gives, in pairs of digits.
  if (digits.size() < 10 || digits.size() % 2 != 0) return false;
  const auto byte_at = [&](std::size_t i) {
    return hex_digit_value(digits[2 * i]) << 4 | hex_digit_value(digits[2 * i + 1]);
  };
  const int count = byte_at(0);
  if (count < 0 || digits.size() != 2 * (count + 5u)) return false;
  const int address_high = byte_at(1);
  const int address_low = byte_at(2);
  const int type = byte_at(3);
  const int checksum = byte_at(4 + static_cast<std::size_t>(count));
  // A digit's value is -1 for any other character, which leaves the pair negative.
  int all = count | address_high | address_low | type | checksum;
  unsigned sum = static_cast<unsigned>(count + address_high + address_low + type + checksum);
  for (int i = 0; i < count; ++i) {
    const int value = byte_at(4 + static_cast<std::size_t>(i));
    all |= value;
    sum += static_cast<unsigned>(value);
    record.bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value);
  }
  if (all < 0) return false;
  if (type >= 1 && type <= 5 && count != kFixedDataSize[type]) return false;
  record.count = static_cast<std::uint8_t>(count);
  record.address = static_cast<std::uint16_t>(address_high << 8 | address_low);
  record.type = static_cast<std::uint8_t>(type);
  record.checksum_right = (sum & 0xFF) == 0;
  return true;
}

}  // namespace verilog_hex
