#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "console.hpp"

namespace tool_run {

// The options both tools take for their outputs: their help lines and refusals.
inline constexpr std::string_view kFormatHelp =
    "\t-f##\t\tDefines the output format: vh (default), vb, coe, mif, mem or mi\n";
inline constexpr std::string_view kFillHelp =
    "\t-p##\t\tDefines the fill byte for words and bytes no input gives (hex, default 00)\n";
// A dense format's image without any word.
inline constexpr std::string_view kNoWords = "ERR: The image holds no words.\n";

void refuse_unknown_format(platform::Console& console, const std::string& name);
void refuse_fill_byte(platform::Console& console, std::uint32_t fill_byte);

}  // namespace tool_run
