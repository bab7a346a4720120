#include "output_name.hpp"

#include <algorithm>

#include "verilog_hex.hpp"

namespace converter {

std::optional<std::string> output_name_for(std::string_view input_name) {
  const auto [folder, file] = verilog_hex::split_file_name(input_name);
  std::string_view stem = file;
  stem.remove_prefix(std::min(stem.find_first_not_of('.'), stem.size()));
  stem = stem.substr(0, stem.find('.'));
  if (stem.empty()) return std::nullopt;
  std::string name(folder);
  name += stem;
  name += verilog_hex::kImageSuffix;
  return name;
}

}  // namespace converter
