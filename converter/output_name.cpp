#include "output_name.hpp"

#include "file_name.hpp"
#include "image_writer.hpp"

namespace converter {

std::optional<std::string> output_name_for(std::string_view input_name) {
  const auto [folder, file] = verilog_hex::name_parts(input_name);
  const std::string_view stem = verilog_hex::name_stem(file);
  if (stem.empty()) return std::nullopt;
  std::string name(folder);
  name += stem;
  name += verilog_hex::kImageSuffix;
  return name;
}

}  // namespace converter
