#include "intel_hex_conversion.hpp"

#include <cstring>
#include <vector>

#include "hex_digits.hpp"
#include "intel_hex.hpp"

namespace converter {
namespace {

using verilog_hex::ConversionResult;
using verilog_hex::IntelHexRecord;
using verilog_hex::Stop;

class IntelHexSource final : public AddressedSource {
 public:
  explicit IntelHexSource(verilog_hex::TextReader& input) : lines_(input, ':') {}

  std::optional<ConversionResult> next(Run& run, std::uint64_t limit) override {
    run = lines_.gather(
        [this](std::string_view text, std::uint8_t* out) { return common_data_record(text, out); },
        room_, limit);
    if (run.whole > 0) return std::nullopt;
    const auto parse = [this](std::string_view line) {
      return verilog_hex::parse_intel_hex_record(line, record_);
    };
    while (const auto record = lines_.next(parse)) {
      if (!*record) return lines_.refuse(Stop::not_a_record);
      const std::uint64_t address = base_ + record_.address;
      if (record_.type == IntelHexRecord::data && record_.count > 0 &&
          (segment_base_ ? record_.address + record_.count > 0x10000u
                         : address + record_.count > 0x100000000u)) {
        return lines_.refuse(Stop::not_a_record);
      }
      if (!record_.checksum_right) return lines_.refuse(Stop::wrong_checksum);
      switch (record_.type) {
        case IntelHexRecord::data:
          if (record_.count == 0) break;
          run = {address, {record_.bytes.data(), record_.count}, lines_.number(), record_.count};
          return std::nullopt;
        case IntelHexRecord::end_of_file:
          return ConversionResult{};
        case IntelHexRecord::segment_address:
          base_ = std::uint64_t{record_.base_value()} << 4;
          segment_base_ = true;
          break;
        case IntelHexRecord::linear_address:
          base_ = std::uint64_t{record_.base_value()} << 16;
          segment_base_ = false;
          break;
        case IntelHexRecord::start_segment:
        case IntelHexRecord::start_linear:
          break;
        default: {
          ConversionResult refused = lines_.refuse(Stop::unknown_record_type);
          refused.item = {verilog_hex::kUpperHexDigits[record_.type >> 4],
                          verilog_hex::kUpperHexDigits[record_.type & 0xF]};
          return refused;
        }
      }
    }
    return verilog_hex::stopped(lines_.failed() ? Stop::read_failed : Stop::done);
  }

 private:
  // A data record of the usual form at the text's start: ":", the digits, LF; its
  // checksum right and its bytes within the address space its base leaves.
  std::optional<DataRecord> common_data_record(std::string_view text, std::uint8_t* out) const {
    if (text.size() < 12 || text[0] != ':') return std::nullopt;
    const int count =
        verilog_hex::hex_digit_value(text[1]) << 4 | verilog_hex::hex_digit_value(text[2]);
    const std::size_t line_size = 2 * static_cast<std::size_t>(count + 5) + 2;
    std::uint8_t raw[255 + 5 + 16];  // count, address, type, data, checksum; the moves' room
    if (count <= 0 || text.size() < line_size || text[line_size - 1] != '\n') return std::nullopt;
    const int sum = verilog_hex::decode_hex_pairs(text.substr(1, line_size - 2), raw);
    if (sum < 0 || (sum & 0xFF) != 0 || raw[3] != IntelHexRecord::data) return std::nullopt;
    const auto size = static_cast<std::uint32_t>(count);
    const unsigned address = raw[1] << 8 | raw[2];
    if (segment_base_ ? address + size > 0x10000u : base_ + address + size > 0x100000000u)
      return std::nullopt;
    copy_record_bytes(out, raw + 4, size);
    return DataRecord{base_ + address, size, line_size};
  }

  RecordLines lines_;
  std::vector<std::uint8_t> room_ = std::vector<std::uint8_t>(64 * 1024);
  IntelHexRecord record_;
  std::uint64_t base_ = 0;
  bool segment_base_ = false;  // a 02 record set the base: a record stays within 64 KiB
};

}  // namespace

std::unique_ptr<AddressedSource> intel_hex_source(verilog_hex::TextReader& input) {
  return std::make_unique<IntelHexSource>(input);
}

ConversionResult convert_intel_hex(verilog_hex::TextReader& input, AddressedBytes& bytes) {
  const std::unique_ptr<AddressedSource> sources[] = {intel_hex_source(input)};
  return place_sources(sources, bytes);
}

}  // namespace converter
