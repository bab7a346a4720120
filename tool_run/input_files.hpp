#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "block_reader.hpp"
#include "console.hpp"
#include "file_system.hpp"
#include "text_reader.hpp"

namespace tool_run {

// Opens the input file as text, its failures noted under its name. A file that cannot
// be opened, or UTF-16 text, is reported on the console (as the program) and gives
// nothing.
std::optional<verilog_hex::TextReader> open_text_input(platform::FileSystem& files,
                                                       const std::string& name,
                                                       std::string_view program,
                                                       platform::Console& console);

// Opens the input file as plain bytes, every one of them data, as open_text_input does.
std::optional<verilog_hex::BlockReader> open_byte_input(platform::FileSystem& files,
                                                        const std::string& name,
                                                        std::string_view program,
                                                        platform::Console& console);

}  // namespace tool_run
