#pragma once

#include <algorithm>
#include <string_view>

namespace verilog_hex {

// A file name taken apart: the folder part up to and with its last separator ("/", or
// "\" as Windows writes it), and the name of the file itself.
struct FileNameParts {
  std::string_view folder;
  std::string_view file;
};

inline FileNameParts split_file_name(std::string_view name) {
  const std::size_t separator = name.find_last_of("/\\");
  const std::size_t file_start = separator == std::string_view::npos ? 0 : separator + 1;
  return {name.substr(0, file_start), name.substr(file_start)};
}

// The part of a name that both tools form output names from: leading dots skipped, then
// up to the next dot ("rom" of "rom.txt", ".rom.txt" and "rom.a.b"); empty when nothing
// is left.
inline std::string_view name_stem(std::string_view name) {
  name.remove_prefix(std::min(name.find_first_not_of('.'), name.size()));
  return name.substr(0, name.find('.'));
}

}  // namespace verilog_hex
