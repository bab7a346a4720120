#include "output_options.hpp"

namespace tool_run {

bool refuse_output_choices(const OutputChoices& choices, std::string_view no_name,
                           platform::Console& console) {
  if (choices.format == nullptr) {
    console.printf("ERR: Unknown output format: \"%s\" (%s).\n", choices.format_name.c_str(),
                   std::string(verilog_hex::kFormatList.view()).c_str());
  } else if (choices.name && choices.name->empty()) {
    console.out(no_name);
  } else if (choices.fill_byte > 0xFF) {
    console.printf("ERR: Invalid fill byte: 0x%X (at most 0xFF).\n", choices.fill_byte);
  } else {
    return false;
  }
  return true;
}

bool refuse_word_width(const verilog_hex::OutputFormat& format, std::int32_t bits,
                       platform::Console& console) {
  if (format.max_word_bytes == 0 || static_cast<std::uint32_t>(bits) / 8 <= format.max_word_bytes) {
    return false;
  }
  console.printf("ERR: Words of %d bits do not fit a %s record (at most %u).\n", bits,
                 std::string(format.name).c_str(), 8 * format.max_word_bytes);
  return true;
}

}  // namespace tool_run
