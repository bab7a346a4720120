#pragma once

#include <string_view>

namespace tool_run {

// The status of every run that ends on an error.
inline constexpr int kFailureStatus = 2;

// What both tools print when a file cannot be read or written.
inline constexpr std::string_view kFileError = "File I/O error.\n";

}  // namespace tool_run
