#include "output_options.hpp"

namespace tool_run {

void refuse_unknown_format(platform::Console& console, const std::string& name) {
  console.printf("ERR: Unknown output format: \"%s\" (vh, vb, coe, mif, mem or mi).\n",
                 name.c_str());
}

void refuse_fill_byte(platform::Console& console, std::uint32_t fill_byte) {
  console.printf("ERR: Invalid fill byte: 0x%X (at most 0xFF).\n", fill_byte);
}

}  // namespace tool_run
