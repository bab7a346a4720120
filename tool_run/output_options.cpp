#include "output_options.hpp"

namespace tool_run {

bool refuse_output_choices(const OutputChoices& choices, std::string_view no_name,
                           platform::Console& console) {
  if (choices.format == nullptr) {
    console.printf("ERR: Unknown output format: \"%s\" (vh, vb, coe, mif, mem or mi).\n",
                   choices.format_name.c_str());
  } else if (choices.name && choices.name->empty()) {
    console.out(no_name);
  } else if (choices.fill_byte > 0xFF) {
    console.printf("ERR: Invalid fill byte: 0x%X (at most 0xFF).\n", choices.fill_byte);
  } else {
    return false;
  }
  return true;
}

}  // namespace tool_run
