#include "marisk_run.hpp"

#include <cstdint>
#include <optional>
#include <string>

#include "bank_extraction.hpp"
#include "bank_naming.hpp"
#include "verilog_hex.hpp"

namespace marisk {
namespace {

struct Settings {
  std::int32_t data_width = 32;
  std::int32_t split_width = 8;
  bool big_endian = true;
  std::size_t input_position = 0;  // 1 for the first argument; 0 for none yet
};

constexpr int kFailure = 2;
constexpr std::int32_t kMaxBanks = 127;

std::int32_t parse_width(std::string_view text) {
  return static_cast<std::int32_t>(vh::parse_unsigned(text, 10));
}

void print_help(vh::Console& console) {
  console.out("Splits *.vh file to bank defined *.vh files. \n");
  console.out("\nUSAGE: \n");
  console.out("\tmarisk.exe [option] <input file> [option]\n");
  console.out("\noptions: \n");
  console.out(
      "\t-d##\t\tDefines memory width *.vh. By default =16 \n\t\t\t(valid values 16, 32)\n\n");
  console.out(
      "\t-s##\t\tDefines bank width. By default =16 \n\t\t\t(valid values 8, 16, 32, 64)\n\n");
  console.out("\t-e##\t\tDefines endiannes MSB or LSB. By default BigEndian (MSB)\n\n");
}

// Fills the settings from the arguments; a value means the run ends with that status.
std::optional<int> scan_arguments(std::span<const std::string_view> args, Settings& settings,
                                  vh::Console& console) {
  for (std::size_t position = 1; position <= args.size(); ++position) {
    const std::string_view arg = args[position - 1];
    if (arg.empty() || arg[0] != '-') {
      if (settings.input_position != 0) {
        console.out("ERR: Input file already defined.\n");
        return kFailure;
      }
      settings.input_position = position;
      continue;
    }
    const char letter = arg.size() > 1 ? arg[1] : '\0';
    const char value = arg.size() > 2 ? arg[2] : '\0';
    switch (letter | 0x20) {
      case 'd':
        settings.data_width = parse_width(arg.substr(2));
        console.printf("data_width [%zu]: %d\n", position, settings.data_width);
        break;
      case 's':
        settings.split_width = parse_width(arg.substr(2));
        console.printf("split_width[%zu]: %d\n", position, settings.split_width);
        break;
      case 'e':
        if (value == 'M') {
          settings.big_endian = true;
          console.printf("BigEndian word format[%zu]\n", position);
        } else if (value == 'L') {
          settings.big_endian = false;
          console.printf("LittleEndian word format[%zu]\n", position);
        } else {
          console.printf("ERR: Invalid paremeter [%zu]. \n", position);
        }
        break;
      case 'h':
        print_help(console);
        return 0;
      default:
        console.printf("ERR: Invalid paremeter [%zu]. \n", position);
    }
  }
  return std::nullopt;
}

}  // namespace

int run(std::span<const std::string_view> args, vh::Console& console, vh::FileSystem& files) {
  console.out("\nmarisk utility.\n");
  console.out("version 1.0 (31.03.08) \n\n");
  if (args.empty()) {
    console.err("Command line error [1].\n");  // the count of arguments with the program name
    console.out("ERR: Invalid parameter string.\nType \"ostraly.exe -h\" to get help.\n");
    return 1;
  }

  Settings settings;
  if (const auto status = scan_arguments(args, settings, console)) return *status;

  console.out("\ninput files check\t-\t");
  if (settings.input_position == 0) {
    console.out("ERR: Input file undefined.\n");
    return kFailure;
  }
  const std::string input_name(args[settings.input_position - 1]);
  auto source = files.open_input(input_name);
  if (!source) {
    console.out("File I/O error.\n");
    return kFailure;
  }
  vh::TextReader input(std::move(source));
  if (input.starts_as_utf16()) {
    console.printf("ERR: Input file is UTF-16 text; save it as ASCII or UTF-8: %s\n",
                   input_name.c_str());
    return kFailure;
  }
  console.out("done\n");

  console.out("\nform file name\t\t-\t");
  if (settings.data_width < settings.split_width) settings.split_width = settings.data_width;
  if (settings.split_width < 8) {
    console.printf("ERR: Invalid split_width: %d (at least 8).\n", settings.split_width);
    return kFailure;
  }
  const std::int32_t bank_count = settings.data_width / settings.split_width;
  if (bank_count > kMaxBanks) {
    console.printf("ERR: Too many banks: %d (at most %d).\n", bank_count, kMaxBanks);
    return kFailure;
  }
  const auto base_name = form_base_name(input_name, bank_count);
  if (!base_name) {
    console.printf("ERR: Cannot form bank file names from \"%s\".\n", input_name.c_str());
    return kFailure;
  }
  for (std::int32_t bank = 0; bank < bank_count; ++bank) {
    const std::string name = bank_file_name(*base_name, bank);
    if (name == input_name || files.same_file(name, input_name)) {
      console.printf("ERR: Bank file would replace the input file: %s\n", name.c_str());
      return kFailure;
    }
  }
  console.out("done\n");

  console.out("\ndata processing\t\t-\t");
  if (write_banks(input, files, *base_name, bank_count, settings.split_width,
                  settings.big_endian) != SplitStatus::ok) {
    console.out("File I/O error.\n");
    return kFailure;
  }
  console.out("done\n");
  return 0;
}

}  // namespace marisk
