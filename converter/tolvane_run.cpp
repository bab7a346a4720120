#include "tolvane_run.hpp"

#include <cstdint>
#include <optional>
#include <string>

#include "background_writer.hpp"
#include "byte_conversion.hpp"
#include "command_line.hpp"
#include "input_files.hpp"
#include "number_parse.hpp"
#include "output_batch.hpp"
#include "output_name.hpp"
#include "run_status.hpp"
#include "same_file.hpp"
#include "tool_run.hpp"

namespace converter {
namespace {

struct Settings {
  std::uint8_t data_width = 16;
  bool big_endian = true;
  bool binary = false;  // every byte of the input is a data byte
};

constexpr int kFailure = platform::kFailureStatus;

constexpr platform::LetterCase kExact = platform::LetterCase::exact;
constexpr platform::Option<Settings> kOptions[] = {
    {.letter = 'd',
     .letter_case = kExact,
     .value_start = "",
     // Decimal, wrapping past 32 bits, then cut to 8 bits: "-d264" is 8, as scripts use it.
     .take = [](Settings& s, std::string_view value) -> std::int32_t {
       s.data_width = static_cast<std::uint8_t>(
           verilog_hex::parse_unsigned(value, 10, verilog_hex::Overflow::wraps));
       return s.data_width;
     },
     .echo = "data_width [%zu]: %d\n"},
    {.letter = 'h', .letter_case = kExact, .value_start = "", .take = nullptr, .echo = nullptr},
    {.letter = 'l',
     .letter_case = kExact,
     .value_start = "",
     .take = [](Settings& s, std::string_view) { return std::int32_t{s.big_endian = false}; },
     .echo = nullptr},
    {.letter = 'm',
     .letter_case = kExact,
     .value_start = "",
     .take = [](Settings& s, std::string_view) { return std::int32_t{s.big_endian = true}; },
     .echo = nullptr},
    {.letter = 'b',
     .letter_case = kExact,
     .value_start = "",
     .take = [](Settings& s, std::string_view) { return std::int32_t{s.binary = true}; },
     .echo = nullptr},
};

// Kept verbatim on purpose, as users and scripts know them: the other program name in
// the no-arguments message ("quendle.exe"), the help's "By default data_width=16" and
// "(valid values 8, 16, 32)", and the misspelling "paremeter".
constexpr platform::CommandLine<Settings> kCommandLine = {
    .banner = "\ntext 2 vh conversion utility.\nversion 1.0.0 (2.09.08) \n\n",
    .no_arguments_error = "",
    .no_arguments = "ERR: Invalid parameter string.\nType \"quendle.exe -h\" to get help.\n",
    .no_arguments_status = 0,
    .scan_opening = "\narguments processing\n",
    .scan_closing = "done\n",
    .options = kOptions,
    .help =
        "Converts text byte data 2 VerilogHex format\n"
        "\nUSAGE: \n"
        "\ttolvane.exe [option] <input file> [option]\n"
        "\noptions: \n"
        "\t-d##\t\tDefines data_width. By default data_width=16 \n\t\t\t(valid values 8, 16, "
        "32)\n"
        "\t-m\t\tDefines big-endian format (MSB 1st - default)\n"
        "\t-l\t\tDefines little-endian format (LSB 1st)\n"
        "\t-b\t\tDefines binary input (each byte of the file is one data byte)\n",
    .invalid_option = "ERR: Invalid paremeter [%zu]: \n",
    .second_input = "ERR: Input file already defined [%zu]: %s\n",
    .input_check = "\ninput files check\n",
};

int convert(std::span<const std::string_view> args, platform::Console& console,
            platform::FileSystem& files) {
  auto [settings, input_name, status] = platform::scan_arguments(args, kCommandLine, console);
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
  // A byte list as text, or a binary image as it stands.
  std::optional<verilog_hex::TextReader> byte_list;
  std::optional<verilog_hex::BlockReader> binary;
  if (settings.binary) {
    binary = platform::open_byte_input(files, input_name, console);
    if (!binary) return kFailure;
  } else {
    byte_list = platform::open_text_input(files, input_name, console);
    if (!byte_list) return kFailure;
  }
  if (*output_name == input_name || platform::same_file(files, *output_name, input_name)) {
    console.printf("ERR: Output file would replace the input file: %s\n", output_name->c_str());
    return kFailure;
  }
  platform::OutputBatch outputs(files);
  auto sink = outputs.open(*output_name);
  if (!sink) {
    console.out(platform::kFileError);
    return kFailure;
  }
  console.out("done\n");

  console.out("\ninput files processing\n");
  verilog_hex::ImageWriter output(platform::write_in_background(std::move(sink)));
  const ConvertStatus converted =
      binary ? convert_binary(*binary, output, settings.data_width, settings.big_endian)
             : convert_bytes(*byte_list, output, settings.data_width, settings.big_endian);
  // The output gets its name only once it is whole; otherwise an old file stays as it was.
  if (!output.finish() || converted != ConvertStatus::ok || !outputs.commit()) {
    console.out(platform::kFileError);
    return kFailure;
  }
  console.out("done\n");
  console.out("\nprocessing complete!\n");
  return 0;
}

}  // namespace

int run(std::span<const std::string_view> args, platform::Console& console,
        platform::FileSystem& files) {
  return platform::run_reporting_memory_failures(convert, args, console, files);
}

}  // namespace converter
