#include "intel_hex_conversion.hpp"

#include "intel_hex.hpp"

namespace converter {
namespace {

using verilog_hex::ConversionResult;
using verilog_hex::IntelHexRecord;
using verilog_hex::Stop;

}  // namespace

ConversionResult convert_intel_hex(verilog_hex::TextReader& input, AddressedBytes& bytes) {
  IntelHexRecord parsed_record;
  std::uint64_t base = 0;
  bool segment_base = false;  // a 02 record set the base: a record stays within 64 KiB
  std::uint32_t line_number = 0;
  while (const auto line = input.read_whole_line()) {
    ++line_number;
    if (bytes.failed()) return verilog_hex::stopped(Stop::write_failed);
    const auto refuse = [&](Stop stop, std::uint32_t value = 0) {
      return verilog_hex::stopped(stop, line_number, value);
    };
    const bool blank = (*line)[0] != ':' && verilog_hex::is_blank_line(*line);
    const bool parsed = !blank && verilog_hex::parse_intel_hex_record(*line, parsed_record);
    const bool whole = line->back() == '\n' || input.at_end() || input.rest_of_line_is_blank();
    if (blank && whole) continue;
    if (!parsed || !whole) return refuse(Stop::not_a_record);
    const IntelHexRecord* const record = &parsed_record;
    const std::uint64_t address = base + record->address;
    if (record->type == IntelHexRecord::data && record->count > 0 &&
        (segment_base ? record->address + record->count > 0x10000u
                      : address + record->count > 0x100000000u)) {
      return refuse(Stop::not_a_record);
    }
    if (!record->checksum_right) return refuse(Stop::wrong_checksum);
    switch (record->type) {
      case IntelHexRecord::data:
        if (auto refused = bytes.place(address, record->bytes.data(), record->count)) {
          refused->line = line_number;
          return *refused;
        }
        break;
      case IntelHexRecord::end_of_file:
        bytes.finish();
        return {};
      case IntelHexRecord::segment_address:
        base = std::uint64_t{record->base_value()} << 4;
        segment_base = true;
        break;
      case IntelHexRecord::linear_address:
        base = std::uint64_t{record->base_value()} << 16;
        segment_base = false;
        break;
      case IntelHexRecord::start_segment:
      case IntelHexRecord::start_linear:
        break;
      default:
        return refuse(Stop::unknown_record_type, record->type);
    }
  }
  if (input.failed()) return verilog_hex::stopped(Stop::read_failed);
  bytes.finish();
  return {};
}

}  // namespace converter
