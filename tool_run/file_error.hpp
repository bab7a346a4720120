#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "console.hpp"
#include "file_system.hpp"

namespace tool_run {

// "File I/O error." and, on standard error, which file failed and why, as the file
// system noted it ("PROGRAM: NAME: CAUSE"), then each name the run could not remove.
void report_file_error(platform::Console& console, std::string_view program,
                       const platform::FileSystem& files);

// What a scratch file is called in those messages.
inline constexpr std::string_view kScratchName = "temporary file";

// A scratch file beside the output of that name, its failures noted; nothing, noted,
// when it cannot be made.
std::unique_ptr<verilog_hex::ScratchFile> open_scratch(platform::FileSystem& files,
                                                       const std::string& output);

}  // namespace tool_run
