#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace verilog_hex {

// One word of a VerilogHex file: "@" address TAB data.
struct WordLine {
  std::uint32_t address;
  std::string_view data;  // the hexadecimal digits as written, case kept
};

// Takes a line as the reader hands it out apart. Leading TABs are skipped; the address
// field runs to the next TAB and its first character (the "@") is dropped whatever it
// is; the address is the hexadecimal digits that start the rest. The data text is what
// follows that TAB, without the final LF. A line without that TAB, or with an empty
// data text, holds no word. A NUL byte ends the line.
std::optional<WordLine> parse_word_line(std::string_view line);

}  // namespace verilog_hex
