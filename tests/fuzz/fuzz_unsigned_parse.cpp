// The unsigned parse never fails, and reads back any value written in the forms it takes.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "verilog_hex.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const unsigned base : {10u, 16u}) {
    const std::uint32_t value = verilog_hex::parse_unsigned(text, base);
    // Text after the number never changes it.
    const std::size_t cut = text.find_first_of("gG;");
    if (cut != std::string_view::npos && base == 16 &&
        verilog_hex::parse_unsigned(text.substr(0, cut), 16) != value) {
      std::abort();
    }
  }
  if (size >= 5) {
    std::uint32_t value;
    std::memcpy(&value, data, sizeof value);
    char written[32];
    const char* const forms[] = {"%x", "%X", "0x%x", " +%u", "\t%u", "-%u"};
    const unsigned form = data[4] % 6;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"  // forms from the table above
    std::snprintf(written, sizeof written, forms[form], value);
#pragma GCC diagnostic pop
    const std::uint32_t expected = form == 5 ? 0u - value : value;
    if (verilog_hex::parse_unsigned(written, form < 3 ? 16 : 10) != expected) std::abort();
  }
  return 0;
}
