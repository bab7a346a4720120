#pragma once

#include <algorithm>
#include <string_view>

namespace verilog_hex {

// How the tools form output names from an input name, the same on every system: the
// folder part runs up to and with the last "/" or "\" (as either system writes it) and
// is kept as it stands; the rest is the file name.
struct NameParts {
  std::string_view folder;
  std::string_view file;
};

inline NameParts name_parts(std::string_view name) {
  const std::size_t separator = name.find_last_of("/\\");
  const std::size_t file_start = separator == std::string_view::npos ? 0 : separator + 1;
  return {name.substr(0, file_start), name.substr(file_start)};
}

// The part of a file name that both tools form output names from: leading dots skipped,
// then up to the next dot ("rom" of "rom.txt", ".rom.txt" and "rom.a.b"); empty when
// nothing is left.
inline std::string_view name_stem(std::string_view name) {
  name.remove_prefix(std::min(name.find_first_not_of('.'), name.size()));
  return name.substr(0, name.find('.'));
}

}  // namespace verilog_hex
