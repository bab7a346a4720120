#include "output_format.hpp"

#include <cstdio>

namespace verilog_hex {

const OutputFormat* find_output_format(std::string_view name) {
  for (const OutputFormat& format : kOutputFormats) {
    if (format.name == name) return &format;
  }
  return nullptr;
}

std::string format_header(const OutputFormat& format, std::uint64_t depth, int width) {
  if (!format.header_names_depth) return std::string(format.header);
  char text[256];
  const std::string pattern(format.header);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"  // the table's own formats
  const int size = std::snprintf(text, sizeof text, pattern.c_str(),
                                 static_cast<unsigned long long>(depth), width);
#pragma GCC diagnostic pop
  return std::string(text, static_cast<std::size_t>(size));
}

}  // namespace verilog_hex
