#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "command_line.hpp"
#include "console.hpp"
#include "number_parse.hpp"
#include "output_format.hpp"

namespace tool_run {

// What both tools' output options choose: the format (-f), a name (-o) and the fill
// byte (-p), as named, checked once the scan is done.
struct OutputChoices {
  const verilog_hex::OutputFormat* format = &verilog_hex::kVerilogHex;  // none: unknown
  std::string format_name;                                              // as named, for its refusal
  std::optional<std::string> name;                                      // as named with -o
  std::uint32_t fill_byte = 0;
};

// A dense format's image without any word.
inline constexpr std::string_view kNoWords = "ERR: The image holds no words.\n";

// The option rows, for tools whose settings keep their choices in `output`; each tool
// gives its letter case, its echo and, for -o, its help line.
template <class Settings>
constexpr Option<Settings> format_option(LetterCase letter_case, const char* echo) {
  return {.letter = 'f',
          .letter_case = letter_case,
          .value_start = "",
          .take =
              [](Settings& s, std::string_view value) {
                s.output.format = verilog_hex::find_output_format(value);
                s.output.format_name = value;
                return std::int32_t{0};
              },
          .echo = echo,
          .help = verilog_hex::kFormatHelp.view(),
          .echo_value = true,
          .value_may_follow = true};
}
template <class Settings>
constexpr Option<Settings> name_option(LetterCase letter_case, const char* echo,
                                       std::string_view help) {
  return {.letter = 'o',
          .letter_case = letter_case,
          .value_start = "",
          .take =
              [](Settings& s, std::string_view value) {
                s.output.name = std::string(value);
                return std::int32_t{0};
              },
          .echo = echo,
          .help = help,
          .echo_value = true,
          .value_may_follow = true};
}
template <class Settings>
constexpr Option<Settings> fill_option(LetterCase letter_case, const char* echo) {
  return {.letter = 'p',
          .letter_case = letter_case,
          .value_start = "",
          .take =
              [](Settings& s, std::string_view value) {
                s.output.fill_byte = verilog_hex::parse_unsigned(value, 16);
                return static_cast<std::int32_t>(s.output.fill_byte);
              },
          .echo = echo,
          .help =
              "\t-p##\t\tDefines the fill byte for words and bytes no input gives (hex, "
              "default 00)\n",
          .value_may_follow = true};
}

// -q: only errors are printed, which the run looks up before it prints anything.
template <class Settings>
constexpr Option<Settings> quiet_option(LetterCase letter_case) {
  return {.letter = 'q',
          .letter_case = letter_case,
          .value_start = "",
          .take = [](Settings&, std::string_view) { return std::int32_t{0}; },
          .echo = nullptr,
          .help = "\t-q\t\tPrints only errors\n"};
}

// The refusal of words of that many bits where the format's records cannot hold them;
// true when it was printed.
bool refuse_word_width(const verilog_hex::OutputFormat& format, std::int32_t bits,
                       platform::Console& console);

// The choices' refusals in their order (format, -o alone, fill byte); true when one was
// printed, no_name being -o's.
bool refuse_output_choices(const OutputChoices& choices, std::string_view no_name,
                           platform::Console& console);

}  // namespace tool_run
