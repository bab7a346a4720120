#pragma once

#include <optional>
#include <string>

#include "block_reader.hpp"
#include "console.hpp"
#include "file_system.hpp"
#include "text_reader.hpp"

namespace tool_run {

// Opens the input file as text. A file that cannot be opened, or UTF-16 text, is
// reported on the console and gives nothing.
std::optional<verilog_hex::TextReader> open_text_input(platform::FileSystem& files,
                                                       const std::string& name,
                                                       platform::Console& console);

// Opens the input file as plain bytes, every one of them data. A file that cannot be
// opened is reported on the console and gives nothing.
std::optional<verilog_hex::BlockReader> open_byte_input(platform::FileSystem& files,
                                                        const std::string& name,
                                                        platform::Console& console);

}  // namespace tool_run
