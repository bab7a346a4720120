#include "output_name.hpp"

namespace tolvane {

std::optional<std::string> output_name_for(std::string_view input_name) {
  const std::size_t slash = input_name.find_last_of("/\\");
  const std::size_t file_start = slash == std::string_view::npos ? 0 : slash + 1;
  std::string_view stem = input_name.substr(file_start);
  stem.remove_prefix(std::min(stem.find_first_not_of('.'), stem.size()));
  stem = stem.substr(0, stem.find('.'));
  if (stem.empty()) return std::nullopt;
  std::string name(input_name.substr(0, file_start));
  name += stem;
  name += ".vh";
  return name;
}

}  // namespace tolvane
