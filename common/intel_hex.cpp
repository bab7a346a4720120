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
  if (digits.size() < 10 || digits.size() % 2 != 0 || digits.size() > 2 * (255 + 5)) return false;
  std::uint8_t* const raw = record.raw.data();
  const int sum = decode_hex_pairs(digits, raw);
  if (sum < 0) return false;
  const unsigned count = raw[0];
  if (digits.size() != 2 * (count + 5u)) return false;
  const unsigned type = raw[3];
  if (type >= 1 && type <= 5 && static_cast<int>(count) != kFixedDataSize[type]) return false;
  record.count = static_cast<std::uint8_t>(count);
  record.address = static_cast<std::uint16_t>(raw[1] << 8 | raw[2]);
  record.type = static_cast<std::uint8_t>(type);
  record.checksum_right = (sum & 0xFF) == 0;
  return true;
}

}  // namespace verilog_hex
