#pragma once

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

}  // namespace verilog_hex
