#include "intel_hex_conversion.hpp"

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
          !in_address_space(record_.address, record_.count)) {
        return lines_.refuse(Stop::not_a_record);
      }
      if (!record_.checksum_right) return lines_.refuse(Stop::wrong_checksum);
      switch (record_.type) {
        case IntelHexRecord::data:
          if (record_.count == 0) break;
          run = {address, {record_.bytes(), record_.count}, lines_.number(), record_.count};
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
  // The record's bytes lie within the address space its base leaves.
  bool in_address_space(std::uint16_t address, std::uint8_t count) const {
    return segment_base_ ? address + count <= 0x10000u : base_ + address + count <= 0x100000000u;
  }

  // A common data record, whole at the text's start, its bytes in the address space;
  // its bytes to out.
  std::optional<DataRecord> common_data_record(std::string_view text, std::uint8_t* out) {
    const auto record = verilog_hex::decode_data_record(text, out);
    if (!record || !in_address_space(record->address, record->count)) return std::nullopt;
    return DataRecord{base_ + record->address, record->count, record->line_size};
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
