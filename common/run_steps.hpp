#pragma once

#include <new>
#include <optional>
#include <string>

#include "console.hpp"
#include "file_system.hpp"
#include "text_reader.hpp"

namespace verilog_hex {

// The status of every run that ends on an error.
inline constexpr int kFailureStatus = 2;

// Runs a tool's steps. Where memory runs out, what they made is removed as they unwind,
// and the run ends with a message instead of an abort.
template <typename Steps>
int reporting_memory_failures(Console& console, Steps&& steps) {
  try {
    return steps();
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
    console.out("File I/O error.\n");
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
