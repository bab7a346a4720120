#include "tolvane_run.hpp"

#include <cstdint>
#include <optional>
#include <string>

#include "byte_conversion.hpp"
#include "output_name.hpp"
#include "verilog_hex.hpp"

namespace tolvane {
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

void print_help(vh::Console& console) {
  console.out("Converts text byte data 2 VerilogHex format\n");
  console.out("\nUSAGE: \n");
  console.out("\ttolvane.exe [option] <input file> [option]\n");
  console.out("\noptions: \n");
  console.out(
      "\t-d##\t\tDefines data_width. By default data_width=16 \n\t\t\t(valid values 8, 16, 32)\n");
  console.out("\t-m\t\tDefines big-endian format (MSB 1st - default)\n");
  console.out("\t-l\t\tDefines little-endian format (LSB 1st)\n");
}

// Fills the settings from the arguments; a value means the run ends with that status.
std::optional<int> scan_arguments(std::span<const std::string_view> args, Settings& settings,
                                  vh::Console& console) {
  for (std::size_t position = 1; position <= args.size(); ++position) {
    const std::string_view arg = args[position - 1];
    if (arg.empty() || arg[0] != '-') {
      if (settings.input_position != 0) {
        console.printf("ERR: Input file already defined [%zu]: %s\n", settings.input_position,
                       std::string(args[settings.input_position - 1]).c_str());
        return kFailure;
      }
      settings.input_position = position;
      continue;
    }
    switch (arg.size() > 1 ? arg[1] : '\0') {
      case 'd':
        settings.data_width = static_cast<std::uint8_t>(parse_signed_decimal(arg.substr(2)));
        console.printf("data_width [%zu]: %d\n", position, settings.data_width);
        break;
      case 'h':
        print_help(console);
        return 0;
      case 'l':
        settings.big_endian = false;
        break;
      case 'm':
        settings.big_endian = true;
        break;
      default:
        console.printf("ERR: Invalid paremeter [%zu]: \n", position);
    }
  }
  return std::nullopt;
}

}  // namespace

int run(std::span<const std::string_view> args, vh::Console& console, vh::FileSystem& files) {
  console.out("\ntext 2 vh conversion utility.\n");
  console.out("version 1.0.0 (2.09.08) \n\n");
  if (args.empty()) {
    console.out("ERR: Invalid parameter string.\nType \"quendle.exe -h\" to get help.\n");
    return 0;
  }

  console.out("\narguments processing\n");
  Settings settings;
  if (const auto status = scan_arguments(args, settings, console)) return *status;
  console.out("done\n");

  console.out("\ninput files check\n");
  if (settings.input_position == 0) {
    console.out("ERR: Input file undefined.\n");
    return kFailure;
  }
  if (settings.data_width < 8) {
    console.printf("ERR: Invalid data_width: %d (at least 8).\n", settings.data_width);
    return kFailure;
  }
  const std::string input_name(args[settings.input_position - 1]);
  const auto output_name = tolvane::output_name_for(input_name);
  if (!output_name) {
    console.printf("ERR: Cannot form output file name from \"%s\".\n", input_name.c_str());
    return kFailure;
  }
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
  if (*output_name == input_name || files.same_file(*output_name, input_name)) {
    console.printf("ERR: Output file would replace the input file: %s\n", output_name->c_str());
    return kFailure;
  }
  vh::OutputBatch outputs(files);
  auto sink = outputs.open(*output_name);
  if (!sink) {
    console.out("File I/O error.\n");
    return kFailure;
  }
  console.out("done\n");

  console.out("\ninput files processing\n");
  vh::TextWriter output(std::move(sink));
  const ConvertStatus converted =
      convert_bytes(input, output, settings.data_width, settings.big_endian);
  // The output gets its name only once it is whole; otherwise an old file stays as it was.
  if (!output.finish() || converted != ConvertStatus::ok || !outputs.commit()) {
    console.out("File I/O error.\n");
    return kFailure;
  }
  console.out("done\n");
  console.out("\nprocessing complete!\n");
  return 0;
}

}  // namespace tolvane
