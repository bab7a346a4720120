#include "srecord_conversion.hpp"

#include <array>
#include <cstring>
#include <vector>

#include "hex_digits.hpp"

namespace converter {
namespace {

using verilog_hex::ConversionResult;
using verilog_hex::Stop;

// The address bytes of each type; S4 has none.
constexpr std::array<std::uint8_t, 10> kAddressSize = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

struct SRecord {
  char type = '0';
  std::uint32_t address = 0;
  std::uint8_t size = 0;  // of its data
  bool checksum_right = false;
  std::array<std::uint8_t, 256> raw{};  // as decoded, from the count to the checksum
  const std::uint8_t* data = nullptr;   // its size data bytes, within raw
};

// The record a line holds (blanks after it and its LF ignored); false when it is none.
bool parse_srecord(std::string_view line, SRecord& record) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  while (!line.empty() && verilog_hex::is_blank(line.back())) line.remove_suffix(1);
  if (line.size() < 2 || line[0] != 'S' || line[1] < '0' || line[1] > '9') return false;
  const std::string_view digits = line.substr(2);
  if (digits.size() < 2 || digits.size() % 2 != 0 || digits.size() > 2 * 256) return false;
  std::uint8_t* const raw = record.raw.data();
  const int sum = verilog_hex::decode_hex_pairs(digits, raw);  // the checksum's too
  if (sum < 0) return false;
  const std::size_t count = raw[0];
  const std::size_t type = static_cast<std::size_t>(line[1] - '0');
  const std::size_t address_size = kAddressSize[type];
  if (digits.size() != 2 * (count + 1) || count < address_size + 1) return false;
  const std::size_t size = count - address_size - 1;
  if (type >= 5 && size > 0) return false;
  std::uint64_t address = 0;
  for (std::size_t i = 1; i <= address_size; ++i) address = address << 8 | raw[i];
  if (address + size > (std::uint64_t{1} << 32)) return false;
  record.data = raw + 1 + address_size;
  record.type = line[1];
  record.address = static_cast<std::uint32_t>(address);
  record.size = static_cast<std::uint8_t>(size);
  record.checksum_right = (sum & 0xFF) == 0xFF;
  return true;
}

class SRecordSource final : public AddressedSource {
 public:
  explicit SRecordSource(verilog_hex::TextReader& input) : lines_(input, 'S') {}

  std::optional<ConversionResult> next(Run& run, std::uint64_t limit) override {
    const std::uint32_t before = lines_.number();
    run = lines_.gather(
        [this](std::string_view text, std::uint8_t* out) { return common_data_record(text, out); },
        room_, limit);
    if (run.whole > 0) {
      data_records_ += lines_.number() - before;
      return std::nullopt;
    }
    const auto parse = [this](std::string_view line) { return parse_srecord(line, record_); };
    while (const auto record = lines_.next(parse)) {
      if (!*record) return lines_.refuse(Stop::not_a_record);
      if (!record_.checksum_right) return lines_.refuse(Stop::wrong_checksum);
      switch (record_.type) {
        case '1':
        case '2':
        case '3':
          ++data_records_;
          if (record_.size == 0) break;
          run = {record_.address, {record_.data, record_.size}, lines_.number(), record_.size};
          return std::nullopt;
        case '4': {
          ConversionResult refused = lines_.refuse(Stop::unknown_record_type);
          refused.item = "4";
          return refused;
        }
        case '5':
        case '6':
          if (record_.address != data_records_) {
            ConversionResult refused = lines_.refuse(Stop::count_mismatch, record_.address);
            refused.limit = data_records_;
            return refused;
          }
          break;
        case '7':
        case '8':
        case '9':
          return ConversionResult{};
        default:  // S0, the header
          break;
      }
    }
    return verilog_hex::stopped(lines_.failed() ? Stop::read_failed : Stop::done);
  }

 private:
  // A data record ("S1", "S2" or "S3") whose line is whole at the text's start, with
  // its LF right after its digits and its checksum right; its bytes to out.
  std::optional<DataRecord> common_data_record(std::string_view text, std::uint8_t* out) {
    if (text.size() < 4 || text[0] != 'S' || text[1] < '1' || text[1] > '3') return std::nullopt;
    const int count =
        verilog_hex::hex_digit_value(text[2]) << 4 | verilog_hex::hex_digit_value(text[3]);
    const std::size_t line_size = 2 * static_cast<std::size_t>(count) + 5;
    if (count < 0 || text.size() < line_size || text[line_size - 1] != '\n' ||
        !parse_srecord(text.substr(0, line_size), record_) || !record_.checksum_right) {
      return std::nullopt;
    }
    std::memcpy(out, record_.data, record_.size);
    return DataRecord{record_.address, record_.size, line_size};
  }

  RecordLines lines_;
  std::vector<std::uint8_t> room_ = std::vector<std::uint8_t>(64 * 1024);
  SRecord record_;
  std::uint32_t data_records_ = 0;
};

}  // namespace

std::unique_ptr<AddressedSource> srecord_source(verilog_hex::TextReader& input) {
  return std::make_unique<SRecordSource>(input);
}

}  // namespace converter
