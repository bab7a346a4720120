// marisk: spreads a VerilogHex image of wide words over several narrower bank files.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bank_extraction.hpp"
#include "bank_naming.hpp"
#include "console.hpp"
#include "verilog_hex.hpp"

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

void print_help() {
  console::print("Splits *.vh file to bank defined *.vh files. \n");
  console::print("\nUSAGE: \n");
  console::print("\tmarisk.exe [option] <input file> [option]\n");
  console::print("\noptions: \n");
  console::print(
      "\t-d##\t\tDefines memory width *.vh. By default =16 \n\t\t\t(valid values 16, 32)\n\n");
  console::print(
      "\t-s##\t\tDefines bank width. By default =16 \n\t\t\t(valid values 8, 16, 32, 64)\n\n");
  console::print("\t-e##\t\tDefines endiannes MSB or LSB. By default BigEndian (MSB)\n\n");
}

// Fills the settings from the arguments; a value means the run ends with that status.
std::optional<int> scan_arguments(const std::vector<std::string_view>& args, Settings& settings) {
  for (std::size_t position = 1; position <= args.size(); ++position) {
    const std::string_view arg = args[position - 1];
    if (arg.empty() || arg[0] != '-') {
      if (settings.input_position != 0) {
        console::print("ERR: Input file already defined.\n");
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
        console::printf("data_width [%zu]: %d\n", position, settings.data_width);
        break;
      case 's':
        settings.split_width = parse_width(arg.substr(2));
        console::printf("split_width[%zu]: %d\n", position, settings.split_width);
        break;
      case 'e':
        if (value == 'M') {
          settings.big_endian = true;
          console::printf("BigEndian word format[%zu]\n", position);
        } else if (value == 'L') {
          settings.big_endian = false;
          console::printf("LittleEndian word format[%zu]\n", position);
        } else {
          console::printf("ERR: Invalid paremeter [%zu]. \n", position);
        }
        break;
      case 'h':
        print_help();
        return 0;
      default:
        console::printf("ERR: Invalid paremeter [%zu]. \n", position);
    }
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  console::init();
  console::print("\nmarisk utility.\n");
  console::print("version 1.0 (31.03.08) \n\n");
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::fprintf(stderr, "Command line error [%d].\n", argc);
    console::print("ERR: Invalid parameter string.\nType \"ostraly.exe -h\" to get help.\n");
    return 1;
  }

  Settings settings;
  if (const auto status = scan_arguments(args, settings)) return *status;

  console::print("\ninput files check\t-\t");
  if (settings.input_position == 0) {
    console::print("ERR: Input file undefined.\n");
    return kFailure;
  }
  const std::string input_name(args[settings.input_position - 1]);
  auto source = vh::ByteSource::open_file(input_name);
  if (!source) {
    console::print("File I/O error.\n");
    return kFailure;
  }
  console::print("done\n");

  console::print("\nform file name\t\t-\t");
  if (settings.data_width < settings.split_width) settings.split_width = settings.data_width;
  if (settings.split_width < 8) {
    console::printf("ERR: Invalid split_width: %d (at least 8).\n", settings.split_width);
    return kFailure;
  }
  const std::int32_t bank_count = settings.data_width / settings.split_width;
  if (bank_count > kMaxBanks) {
    console::printf("ERR: Too many banks: %d (at most %d).\n", bank_count, kMaxBanks);
    return kFailure;
  }
  const auto base_name = marisk::form_base_name(input_name, bank_count);
  if (!base_name) {
    console::printf("ERR: Cannot form bank file names from \"%s\".\n", input_name.c_str());
    return kFailure;
  }
  for (std::int32_t bank = 0; bank < bank_count; ++bank) {
    const std::string name = marisk::bank_file_name(*base_name, bank);
    if (name == input_name || vh::same_existing_file(name, input_name)) {
      console::printf("ERR: Bank file would replace the input file: %s\n", name.c_str());
      return kFailure;
    }
  }
  console::print("done\n");

  console::print("\ndata processing\t\t-\t");
  vh::TextReader input(std::move(*source));
  if (marisk::write_banks(input, *base_name, bank_count, settings.split_width,
                          settings.big_endian) != marisk::SplitStatus::ok) {
    console::print("File I/O error.\n");
    return kFailure;
  }
  console::print("done\n");
  return 0;
}
