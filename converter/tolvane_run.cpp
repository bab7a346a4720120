#include "tolvane_run.hpp"

#include <cstdint>
#include <optional>
#include <string>

#include "byte_conversion.hpp"
#include "output_name.hpp"
#include "verilog_hex.hpp"

namespace converter {
namespace {

struct Settings {
  std::uint8_t data_width = 16;
  bool big_endian = true;
};

constexpr int kFailure = verilog_hex::kFailureStatus;

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

constexpr verilog_hex::LetterCase kExact = verilog_hex::LetterCase::exact;
constexpr verilog_hex::Option<Settings> kOptions[] = {
    {'d', kExact, "",
     [](Settings& s, std::string_view value) -> std::int32_t {
       s.data_width = static_cast<std::uint8_t>(parse_signed_decimal(value));
       return s.data_width;
     },
     "data_width [%zu]: %d\n"},
    {'h', kExact, "", nullptr, nullptr},
    {'l', kExact, "",
     [](Settings& s, std::string_view) { return std::int32_t{s.big_endian = false}; }, nullptr},
    {'m', kExact, "",
     [](Settings& s, std::string_view) { return std::int32_t{s.big_endian = true}; }, nullptr},
};

constexpr verilog_hex::CommandLine<Settings> kCommandLine = {
    "\ntext 2 vh conversion utility.\nversion 1.0.0 (2.09.08) \n\n",
    "",
    "ERR: Invalid parameter string.\nType \"quendle.exe -h\" to get help.\n",
    0,
    "\narguments processing\n",
    "done\n",
    kOptions,
    "Converts text byte data 2 VerilogHex format\n"
    "\nUSAGE: \n"
    "\ttolvane.exe [option] <input file> [option]\n"
    "\noptions: \n"
    "\t-d##\t\tDefines data_width. By default data_width=16 \n\t\t\t(valid values 8, 16, 32)\n"
    "\t-m\t\tDefines big-endian format (MSB 1st - default)\n"
    "\t-l\t\tDefines little-endian format (LSB 1st)\n",
    "ERR: Invalid paremeter [%zu]: \n",
    "ERR: Input file already defined [%zu]: %s\n",
    "\ninput files check\n",
};

int convert(std::span<const std::string_view> args, verilog_hex::Console& console,
            verilog_hex::FileSystem& files) {
  auto [settings, input_name, status] = verilog_hex::scan_arguments(args, kCommandLine, console);
  if (status) return *status;

  if (settings.data_width < 8) {
    console.printf("ERR: Invalid data_width: %d (at least 8).\n", settings.data_width);
    return kFailure;
  }
  const auto output_name = converter::output_name_for(input_name);
  if (!output_name) {
    console.printf("ERR: Cannot form output file name from \"%s\".\n", input_name.c_str());
    return kFailure;
  }
  auto input = verilog_hex::open_input_text(files, input_name, console);
  if (!input) return kFailure;
  if (*output_name == input_name || files.same_file(*output_name, input_name)) {
    console.printf("ERR: Output file would replace the input file: %s\n", output_name->c_str());
    return kFailure;
  }
  verilog_hex::OutputBatch outputs(files);
  auto sink = outputs.open(*output_name);
  if (!sink) {
    console.out("File I/O error.\n");
    return kFailure;
  }
  console.out("done\n");

  console.out("\ninput files processing\n");
  verilog_hex::ImageWriter output(std::move(sink));
  const ConvertStatus converted =
      convert_bytes(*input, output, settings.data_width, settings.big_endian);
  // The output gets its name only once it is whole; otherwise an old file stays as it was.
  if (!output.finish() || converted != ConvertStatus::ok || !outputs.commit()) {
    console.out("File I/O error.\n");
    return kFailure;
  }
  console.out("done\n");
  console.out("\nprocessing complete!\n");
  return 0;
}

}  // namespace

int run(std::span<const std::string_view> args, verilog_hex::Console& console,
        verilog_hex::FileSystem& files) {
  return verilog_hex::reporting_memory_failures(console,
                                                [&] { return convert(args, console, files); });
}

}  // namespace converter
