#include "marisk_run.hpp"

#include <cstdint>
#include <optional>
#include <string>

#include "bank_extraction.hpp"
#include "bank_naming.hpp"
#include "verilog_hex.hpp"

namespace splitter {
namespace {

struct Settings {
  std::int32_t data_width = 32;
  std::int32_t split_width = 8;
  bool big_endian = true;
};

constexpr int kFailure = verilog_hex::kFailureStatus;

std::int32_t parse_width(std::string_view text) {
  return static_cast<std::int32_t>(verilog_hex::parse_unsigned(text, 10));
}

constexpr verilog_hex::LetterCase kEither = verilog_hex::LetterCase::either;
constexpr verilog_hex::Option<Settings> kOptions[] = {
    {'d', kEither, "",
     [](Settings& s, std::string_view value) { return s.data_width = parse_width(value); },
     "data_width [%zu]: %d\n"},
    {'s', kEither, "",
     [](Settings& s, std::string_view value) { return s.split_width = parse_width(value); },
     "split_width[%zu]: %d\n"},
    // Only the character after the letter counts, in upper case: "-eMSB" is "-eM".
    {'e', kEither, "M",
     [](Settings& s, std::string_view) { return std::int32_t{s.big_endian = true}; },
     "BigEndian word format[%zu]\n"},
    {'e', kEither, "L",
     [](Settings& s, std::string_view) { return std::int32_t{s.big_endian = false}; },
     "LittleEndian word format[%zu]\n"},
    {'h', kEither, "", nullptr, nullptr},
};

constexpr verilog_hex::CommandLine<Settings> kCommandLine = {
    "\nmarisk utility.\nversion 1.0 (31.03.08) \n\n",
    "Command line error [1].\n",  // the count of arguments with the program name
    "ERR: Invalid parameter string.\nType \"ostraly.exe -h\" to get help.\n",
    1,
    "",
    "",
    kOptions,
    "Splits *.vh file to bank defined *.vh files. \n"
    "\nUSAGE: \n"
    "\tmarisk.exe [option] <input file> [option]\n"
    "\noptions: \n"
    "\t-d##\t\tDefines memory width *.vh. By default =16 \n\t\t\t(valid values 16, 32)\n\n"
    "\t-s##\t\tDefines bank width. By default =16 \n\t\t\t(valid values 8, 16, 32, 64)\n\n"
    "\t-e##\t\tDefines endiannes MSB or LSB. By default BigEndian (MSB)\n\n",
    "ERR: Invalid paremeter [%zu]. \n",
    "ERR: Input file already defined.\n",
    "\ninput files check\t-\t",
};

// A bank's slice index is a signed 8-bit number.
constexpr std::int32_t kMaxBanks = 127;

int split(std::span<const std::string_view> args, verilog_hex::Console& console,
          verilog_hex::FileSystem& files) {
  auto [settings, input_name, status] = verilog_hex::scan_arguments(args, kCommandLine, console);
  if (status) return *status;

  auto input = verilog_hex::open_input_text(files, input_name, console);
  if (!input) return kFailure;
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
  if (write_banks(*input, files, *base_name, bank_count, settings.split_width,
                  settings.big_endian) != SplitStatus::ok) {
    console.out("File I/O error.\n");
    return kFailure;
  }
  console.out("done\n");
  return 0;
}

}  // namespace

int run(std::span<const std::string_view> args, verilog_hex::Console& console,
        verilog_hex::FileSystem& files) {
  return verilog_hex::reporting_memory_failures(console,
                                                [&] { return split(args, console, files); });
}

}  // namespace splitter
