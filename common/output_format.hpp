#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "fixed_text.hpp"

namespace verilog_hex {

// How a word line's address is written.
enum class AddressForm : std::uint8_t {
  none,
  verilog,  // "@", upper-case hexadecimal, TAB
  mif,      // upper-case hexadecimal, " : "
  // Each word an Intel HEX data record whose address is the word's low 16 bits, after
  // an extended linear address record where the high 16 bits change.
  intel_hex,
};

// What a word's data text may hold in a format (as marisk copies slices as written).
enum class DataCharacters : std::uint8_t {
  any,
  hex_or_unknown,  // hexadecimal digits, x X z Z
  hex,
};

// How an image is written: one row of kOutputFormats each. A word line is the lead
// (before every line but the first), the address, the data digits (in binary, four for
// each hexadecimal digit, where binary) and the line end; the header comes first and
// the trailer last. Dense formats hold every word of the memory in order, with no gap.
struct OutputFormat {
  std::string_view name;       // as named after "-f"
  std::string_view extension;  // of the names formed for it
  AddressForm address;
  bool binary;
  bool dense;
  DataCharacters characters;
  std::string_view lead;
  std::string_view line_end;
  std::string_view trailer;
  // The header, from the memory's depth in words and its width in bits (printf formats
  // of those two, in that order, where they name them).
  std::string_view header;
  bool header_names_depth;
  std::uint32_t max_word_bytes = 0;  // 0: any
};

inline constexpr std::array<OutputFormat, 7> kOutputFormats = {{
    {"vh", ".vh", AddressForm::verilog, false, false, DataCharacters::any, "", "\r\n", "", "",
     false},
    {"vb", ".vb", AddressForm::verilog, true, false, DataCharacters::hex_or_unknown, "", "\r\n", "",
     "", false},
    {"coe", ".coe", AddressForm::none, false, true, DataCharacters::hex, ",\r\n", "", ";\r\n",
     "memory_initialization_radix=16;\r\nmemory_initialization_vector=\r\n", false},
    {"mif", ".mif", AddressForm::mif, false, true, DataCharacters::hex, "", ";\r\n", "END;\r\n",
     "DEPTH = %llu;\r\nWIDTH = %d;\r\nADDRESS_RADIX = HEX;\r\nDATA_RADIX = HEX;\r\nCONTENT\r\n"
     "BEGIN\r\n",
     true},
    {"mem", ".mem", AddressForm::none, false, true, DataCharacters::hex_or_unknown, "", "\r\n", "",
     "", false},
    {"mi", ".mi", AddressForm::none, false, true, DataCharacters::hex, "", "\r\n", "",
     "#File_format=Hex\r\n#Address_depth=%llu\r\n#Data_width=%d\r\n", true},
    {"hex", ".hex", AddressForm::intel_hex, false, false, DataCharacters::hex, "", "\r\n",
     ":00000001FF\r\n", "", false, 255},
}};
// A line with an address has no lead: the formatters of such lines leave it out.
static_assert([] {
  for (const OutputFormat& format : kOutputFormats) {
    if (format.address != AddressForm::none && !format.lead.empty()) return false;
  }
  return true;
}());

// The formats' names as a list, as the help and the refusal of an unknown one give them.
inline constexpr auto kFormatList = listed<64>(
    kOutputFormats, [](const OutputFormat& format) { return format.name; }, " or ");
inline constexpr auto kFormatHelp = [] {
  FixedText<128> text;
  text += "\t-f##\t\tDefines the output format: ";
  text += kOutputFormats[0].name;
  text += " (default)";
  text += kFormatList.view().substr(kOutputFormats[0].name.size());
  text += "\n";
  return text;
}();

// The plain VerilogHex image, the default.
inline constexpr const OutputFormat& kVerilogHex = kOutputFormats[0];

// The format of that name, compared exactly; nothing for any other.
const OutputFormat* find_output_format(std::string_view name);

// The format's header for a memory of depth words of width bits.
std::string format_header(const OutputFormat& format, std::uint64_t depth, int width);

namespace detail {
// By character: bit 0 set where hex_or_unknown holds it, bit 1 where hex does.
inline constexpr std::array<std::uint8_t, 256> kHeldCharacters = [] {
  std::array<std::uint8_t, 256> held{};
  for (const unsigned char c : std::string_view("0123456789abcdefABCDEF")) held[c] = 3;
  // Not "?": Verilog's $readmemh and $readmemb refuse it, though it stands for z elsewhere.
  for (const unsigned char c : std::string_view("xXzZ")) held[c] = 1;
  return held;
}();
}  // namespace detail

// True when the format may hold every character of a word's data text.
inline bool format_holds(const OutputFormat& format, std::string_view text) {
  if (format.characters == DataCharacters::any) return true;
  const std::uint8_t need = format.characters == DataCharacters::hex ? 2 : 1;
  std::uint8_t all = need;
  for (const char c : text) all &= detail::kHeldCharacters[static_cast<unsigned char>(c)];
  return all != 0;
}

}  // namespace verilog_hex
