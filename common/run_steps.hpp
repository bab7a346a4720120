#pragma once

#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "console.hpp"
#include "file_system.hpp"
#include "run_status.hpp"
#include "text_reader.hpp"

namespace verilog_hex {

// Runs a tool's steps on its arguments. Where memory runs out, what they made is
// removed as they unwind, and the run ends with a message instead of an abort.
using ToolSteps = int (*)(std::span<const std::string_view> args, Console& console,
                          FileSystem& files);
inline int run_reporting_memory_failures(ToolSteps steps, std::span<const std::string_view> args,
                                         Console& console, FileSystem& files) {
  try {
    return steps(args, console, files);
  } catch (const std::bad_alloc&) {
    console.out("ERR: Not enough memory.\n");
    return kFailureStatus;
  }
}

// Opens the input file as text. A file that cannot be opened, or UTF-16 text, is
// reported on the console and gives nothing.
inline std::optional<TextReader> open_input_text(FileSystem& files, const std::string& name,
                                                 Console& console) {
  auto source = files.open_input(name);
  if (!source) {
    console.out(kFileError);
    return std::nullopt;
  }
  std::optional<TextReader> input(std::in_place, std::move(source));
  if (input->starts_as_utf16()) {
    console.printf("ERR: Input file is UTF-16 text; save it as ASCII or UTF-8: %s\n", name.c_str());
    return std::nullopt;
  }
  return input;
}

}  // namespace verilog_hex
