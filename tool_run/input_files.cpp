#include "input_files.hpp"

#include "file_error.hpp"

namespace tool_run {
namespace {

// The input's bytes, their failures noted under its name; nothing, reported, when it
// cannot be opened.
std::unique_ptr<verilog_hex::InputFile> open_reported(platform::FileSystem& files,
                                                      const std::string& name,
                                                      std::string_view program,
                                                      platform::Console& console) {
  auto source = files.open_input(name);
  if (!source) {
    files.note_failure(name);
    report_file_error(console, program, files);
    return nullptr;
  }
  return platform::noting_failures(files, name, std::move(source));
}

}  // namespace

std::optional<verilog_hex::TextReader> open_text_input(platform::FileSystem& files,
                                                       const std::string& name,
                                                       std::string_view program,
                                                       platform::Console& console) {
  auto source = open_reported(files, name, program, console);
  if (!source) return std::nullopt;
  std::optional<verilog_hex::TextReader> input(std::in_place, std::move(source));
  if (input->starts_as_utf16()) {
    console.printf("ERR: Input file is UTF-16 text; save it as ASCII or UTF-8: %s\n", name.c_str());
    return std::nullopt;
  }
  return input;
}

std::optional<verilog_hex::BlockReader> open_byte_input(platform::FileSystem& files,
                                                        const std::string& name,
                                                        std::string_view program,
                                                        platform::Console& console) {
  auto source = open_reported(files, name, program, console);
  if (!source) return std::nullopt;
  return std::optional<verilog_hex::BlockReader>(std::in_place, std::move(source));
}

}  // namespace tool_run
