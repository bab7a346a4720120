#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace converter {

// The output name for an input name: the directory part as it stands, then the file
// name's stem (leading "." skipped, up to the next ".") and the extension. Empty when
// the stem is empty.
std::optional<std::string> output_name_for(std::string_view input_name,
                                           std::string_view extension = ".vh");

}  // namespace converter
