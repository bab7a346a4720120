// tolvane: converts a byte list (one hexadecimal byte a line) into a VerilogHex file of
// 8-, 16- or 32-bit words.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "byte_conversion.hpp"
#include "console.hpp"
#include "output_name.hpp"
#include "verilog_hex.hpp"

namespace {

struct Settings {
  std::uint8_t data_width = 16;
  bool big_endian = true;
  std::size_t input_position = 0;  // 1 for the first argument; 0 for none yet
};

constexpr int kFailure = 2;

// Decimal with an optional sign, wrapping modulo 2^32; no digits give 0.
std::uint32_t parse_signed_decimal(std::string_view text) {
  std::size_t i = text.find_first_not_of(" \t\n\v\f\r");
  if (i == std::string_view::npos) return 0;
  const bool negative = text[i] == '-';
  if (text[i] == '+' || text[i] == '-') ++i;
  std::uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
  }
  return negative ? 0u - value : value;
}

void print_help() {
  console::print("Converts text byte data 2 VerilogHex format\n");
  console::print("\nUSAGE: \n");
  console::print("\ttolvane.exe [option] <input file> [option]\n");
  console::print("\noptions: \n");
  console::print(
      "\t-d##\t\tDefines data_width. By default data_width=16 \n\t\t\t(valid values 8, 16, 32)\n");
  console::print("\t-m\t\tDefines big-endian format (MSB 1st - default)\n");
  console::print("\t-l\t\tDefines little-endian format (LSB 1st)\n");
}

// Fills the settings from the arguments; a value means the run ends with that status.
std::optional<int> scan_arguments(const std::vector<std::string_view>& args, Settings& settings) {
  for (std::size_t position = 1; position <= args.size(); ++position) {
    const std::string_view arg = args[position - 1];
    if (arg.empty() || arg[0] != '-') {
      if (settings.input_position != 0) {
        console::printf("ERR: Input file already defined [%zu]: %s\n", settings.input_position,
                        std::string(args[settings.input_position - 1]).c_str());
        return kFailure;
      }
      settings.input_position = position;
      continue;
    }
    switch (arg.size() > 1 ? arg[1] : '\0') {
      case 'd':
        settings.data_width = static_cast<std::uint8_t>(parse_signed_decimal(arg.substr(2)));
        console::printf("data_width [%zu]: %d\n", position, settings.data_width);
        break;
      case 'h':
        print_help();
        return 0;
      case 'l':
        settings.big_endian = false;
        break;
      case 'm':
        settings.big_endian = true;
        break;
      default:
        console::printf("ERR: Invalid paremeter [%zu]: \n", position);
    }
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  console::init();
  console::print("\ntext 2 vh conversion utility.\n");
  console::print("version 1.0.0 (2.09.08) \n\n");
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.empty()) {
    console::print("ERR: Invalid parameter string.\nType \"quendle.exe -h\" to get help.\n");
    return 0;
  }

  console::print("\narguments processing\n");
  Settings settings;
  if (const auto status = scan_arguments(args, settings)) return *status;
  console::print("done\n");

  console::print("\ninput files check\n");
  if (settings.input_position == 0) {
    console::print("ERR: Input file undefined.\n");
    return kFailure;
  }
  if (settings.data_width < 8) {
    console::printf("ERR: Invalid data_width: %d (at least 8).\n", settings.data_width);
    return kFailure;
  }
  const std::string input_name(args[settings.input_position - 1]);
  const auto output_name = tolvane::output_name_for(input_name);
  if (!output_name) {
    console::printf("ERR: Cannot form output file name from \"%s\".\n", input_name.c_str());
    return kFailure;
  }
  auto source = vh::ByteSource::open_file(input_name);
  if (!source) {
    console::print("File I/O error.\n");
    return kFailure;
  }
  if (*output_name == input_name || vh::same_existing_file(*output_name, input_name)) {
    console::printf("ERR: Output file would replace the input file: %s\n", output_name->c_str());
    return kFailure;
  }
  auto sink = vh::ByteSink::create_file(*output_name);
  if (!sink) {
    console::print("File I/O error.\n");
    return kFailure;
  }
  console::print("done\n");

  console::print("\ninput files processing\n");
  vh::TextReader input(std::move(*source));
  vh::TextWriter output(std::move(*sink));
  const tolvane::ConvertStatus converted =
      tolvane::convert_bytes(input, output, settings.data_width, settings.big_endian);
  if (!output.finish() || converted != tolvane::ConvertStatus::ok) {
    console::print("File I/O error.\n");
    return kFailure;
  }
  console::print("done\n");
  console::print("\nprocessing complete!\n");
  return 0;
}
