#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "console.hpp"
#include "quiet_console.hpp"
#include "run_status.hpp"

namespace tool_run {

enum class LetterCase { exact, either };

// One option of a tool: "-", its letter and a value written directly after the letter
// or, where the option takes one there, as the next argument.
template <class Settings>
struct Option {
  char letter;
  LetterCase letter_case;
  std::string_view value_start;  // the value must begin with exactly this; "" takes any
  // Takes the value into the settings and gives the number the echo shows. None: the
  // option shows the help text and ends the run with status 0.
  std::int32_t (*take)(Settings&, std::string_view value);
  const char* echo;            // printf format of the position and that number; none: silent
  std::string_view help = "";  // its lines in the help text, in the table's order
  bool echo_value = false;     // the echo shows the value as written (%s), not the number
  // With nothing after the letter, the next argument is the value, whatever it is.
  bool value_may_follow = false;
};

// What a tool's command line accepts and what the tool prints while it reads it.
template <class Settings>
struct CommandLine {
  std::string_view banner;  // printed first, whatever follows
  // Without arguments: what goes to standard error and to standard output, and the status.
  std::string_view no_arguments_error;
  std::string_view no_arguments;
  int no_arguments_status;
  std::string_view scan_opening;  // before the arguments are examined
  std::string_view scan_closing;  // once all were
  std::span<const Option<Settings>> options;
  std::string_view help;         // the help text before the options' lines
  const char* invalid_option;    // printf format of the position; the scan goes on
  const char* second_input;      // printf format of the first input's position and name
  std::string_view input_check;  // opens the check that an input file was named
};

// An argument as the scan reads it: an option with its value, or an input's name.
template <class Settings>
struct Argument {
  std::size_t position;            // of the argument, from 1
  std::string_view text;           // as given; "--help" read as "-h"
  const Option<Settings>* option;  // the row that takes it; none for an input or no row
  std::string_view value;          // the option's
  std::size_t value_position;      // where its echo says the value stands
  bool input() const { return text.empty() || text[0] != '-'; }
};

// The arguments in order, each option with its value: an option is matched by its
// letter and the start of its value, the first row that fits taking it, and one whose
// value may follow takes the next argument where nothing follows its letter.
template <class Settings>
std::vector<Argument<Settings>> read_arguments(std::span<const std::string_view> args,
                                               std::span<const Option<Settings>> options) {
  std::vector<Argument<Settings>> read;
  for (std::size_t position = 1; position <= args.size(); ++position) {
    Argument<Settings> argument{position,
                                args[position - 1] == "--help" ? "-h" : args[position - 1],
                                nullptr,
                                {},
                                position};
    if (!argument.input()) {
      const std::string_view arg = argument.text;
      const char letter = arg.size() > 1 ? arg[1] : '\0';
      argument.value = arg.size() > 2 ? arg.substr(2) : std::string_view();
      for (const Option<Settings>& option : options) {
        const bool letter_fits =
            letter == option.letter ||
            (option.letter_case == LetterCase::either && (letter | 0x20) == (option.letter | 0x20));
        if (letter_fits && argument.value.starts_with(option.value_start)) {
          argument.option = &option;
          break;
        }
      }
      if (argument.option != nullptr && argument.option->value_may_follow && arg.size() == 2 &&
          position < args.size()) {
        argument.value = args[position];
        argument.value_position = ++position;
      }
    }
    read.push_back(argument);
  }
  return read;
}

// True where an argument is the option of that letter (the tool's own letter case).
template <class Settings>
bool names_option(std::span<const std::string_view> args, std::span<const Option<Settings>> options,
                  char letter) {
  for (const Argument<Settings>& argument : read_arguments(args, options)) {
    if (argument.option != nullptr && argument.option->letter == letter) return true;
  }
  return false;
}

template <class Settings>
struct ScanResult {
  Settings settings;                // the defaults, changed by the options
  std::string input;                // the (first) input file's name
  std::optional<int> status;        // the run ends with it
  std::vector<std::string> inputs;  // every input file's name, in order
};

// Prints the banner, examines the arguments from left to right (read_arguments) and
// checks that an input file was named. An argument that does not begin with "-" (nor is
// an option's value) is an input file; where several are not allowed, a second one ends
// the run with status 2, as does none.
// The formats below are entries of each tool's own table, every one of them checked
// byte for byte by the command-line tests.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
template <class Settings>
ScanResult<Settings> scan_arguments(std::span<const std::string_view> args,
                                    const CommandLine<Settings>& command_line,
                                    platform::Console& console, bool several_inputs = false) {
  ScanResult<Settings> scan;
  std::size_t input_position = 0;  // 1 for the first argument; 0 for none yet
  console.out(command_line.banner);
  if (args.empty()) {
    console.err(command_line.no_arguments_error);
    console.out(command_line.no_arguments);
    scan.status = command_line.no_arguments_status;
    return scan;
  }
  console.out(command_line.scan_opening);
  for (const Argument<Settings>& argument : read_arguments(args, command_line.options)) {
    const Option<Settings>* match = argument.option;
    if (argument.input()) {
      scan.inputs.emplace_back(argument.text);
      if (input_position != 0 && !several_inputs) {
        console.printf(command_line.second_input, input_position,
                       std::string(args[input_position - 1]).c_str());
        scan.status = kFailureStatus;
        return scan;
      }
      if (input_position == 0) input_position = argument.position;
    } else if (match == nullptr) {
      console.printf(command_line.invalid_option, argument.position);
    } else if (match->take == nullptr) {
      show_help(console, command_line.help);
      for (const Option<Settings>& option : command_line.options) show_help(console, option.help);
      scan.status = 0;
      return scan;
    } else {
      const std::int32_t shown = match->take(scan.settings, argument.value);
      if (match->echo != nullptr && match->echo_value) {
        console.printf(match->echo, argument.value_position, std::string(argument.value).c_str());
      } else if (match->echo != nullptr) {
        console.printf(match->echo, argument.value_position, shown);
      }
    }
  }
  console.out(command_line.scan_closing);
  console.out(command_line.input_check);
  if (input_position == 0) {
    console.out("ERR: Input file undefined.\n");
    scan.status = kFailureStatus;
  } else {
    scan.input = args[input_position - 1];
  }
  return scan;
}

#pragma GCC diagnostic pop

}  // namespace tool_run
