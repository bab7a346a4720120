#include "output_name.hpp"

#include "file_name.hpp"

namespace converter {

std::optional<std::string> output_name_for(std::string_view input_name,
                                           std::string_view extension) {
  const auto [folder, file] = verilog_hex::name_parts(input_name);
  const std::string_view stem = verilog_hex::name_stem(file);
  if (stem.empty()) return std::nullopt;
  std::string name(folder);
  name += stem;
  name += extension;
  return name;
}

}  // namespace converter
