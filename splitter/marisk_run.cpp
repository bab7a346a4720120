#include "marisk_run.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bank_extraction.hpp"
#include "bank_naming.hpp"
#include "command_line.hpp"
#include "file_error.hpp"
#include "formatted_image.hpp"
#include "input_files.hpp"
#include "memory_boundary.hpp"
#include "number_parse.hpp"
#include "output_batch.hpp"
#include "output_options.hpp"
#include "run_status.hpp"
#include "same_file.hpp"

namespace splitter {
namespace {

struct Settings {
  std::int32_t data_width = 32;
  std::int32_t split_width = 8;
  bool big_endian = true;
  tool_run::OutputChoices output;  // -f, -o and -p
  std::uint32_t depth = 0;         // of every bank, in words; 0: as many as the input gives
  std::uint32_t row_depth = 0;     // of one chip, the banks in rows; 0: one row
};

constexpr int kFailure = tool_run::kFailureStatus;
constexpr std::string_view kProgram = "marisk";

// Decimal, saturating past 32 bits: "-d4294967296" is -1, refused as a width.
std::int32_t parse_width(std::string_view text) {
  return static_cast<std::int32_t>(
      verilog_hex::parse_unsigned(text, 10, verilog_hex::Overflow::saturates));
}

constexpr tool_run::LetterCase kEither = tool_run::LetterCase::either;
constexpr tool_run::Option<Settings> kOptions[] = {
    {.letter = 'd',
     .letter_case = kEither,
     .value_start = "",
     .take = [](Settings& s, std::string_view value) { return s.data_width = parse_width(value); },
     .echo = "data_width [%zu]: %d\n",
     .help =
         "\t-d##\t\tDefines memory width *.vh. By default =16 \n\t\t\t(valid values 16, 32)\n\n"},
    {.letter = 's',
     .letter_case = kEither,
     .value_start = "",
     .take = [](Settings& s, std::string_view value) { return s.split_width = parse_width(value); },
     .echo = "split_width[%zu]: %d\n",
     .help =
         "\t-s##\t\tDefines bank width. By default =16 \n\t\t\t(valid values 8, 16, 32, 64)\n\n"},
    // Only the character after the letter counts, in upper case: "-eMSB" is "-eM".
    {.letter = 'e',
     .letter_case = kEither,
     .value_start = "M",
     .take = [](Settings& s, std::string_view) { return std::int32_t{s.big_endian = true}; },
     .echo = "BigEndian word format[%zu]\n",
     .help = "\t-e##\t\tDefines endiannes MSB or LSB. By default BigEndian (MSB)\n\n"},
    {.letter = 'e',
     .letter_case = kEither,
     .value_start = "L",
     .take = [](Settings& s, std::string_view) { return std::int32_t{s.big_endian = false}; },
     .echo = "LittleEndian word format[%zu]\n"},
    tool_run::format_option<Settings>(kEither, "output_format[%zu]: %s\n"),
    tool_run::name_option<Settings>(kEither, "output_base[%zu]: %s\n",
                                    "\t-o##\t\tDefines the bank files' base name (default: "
                                    "formed from the input name)\n"),
    tool_run::fill_option<Settings>(kEither, "fill_byte[%zu]: 0x%.2X\n"),
    {.letter = 'n',
     .letter_case = kEither,
     .value_start = "",
     .take =
         [](Settings& s, std::string_view value) {
           s.depth = verilog_hex::parse_count(value);
           return static_cast<std::int32_t>(s.depth);
         },
     .echo = "memory_depth[%zu]: %u\n",
     .help = "\t-n##\t\tDefines the banks' depth in words (every word written, missing ones "
             "filled)\n",
     .value_may_follow = true},
    {.letter = 'r',
     .letter_case = kEither,
     .value_start = "",
     .take =
         [](Settings& s, std::string_view value) {
           s.row_depth = verilog_hex::parse_count(value);
           return static_cast<std::int32_t>(s.row_depth);
         },
     .echo = "row_depth[%zu]: %u\n",
     .help = "\t-r##\t\tDefines the depth of one memory chip in words (banks in rows, needs "
             "-n)\n",
     .value_may_follow = true},
    {.letter = 'h', .letter_case = kEither, .value_start = "", .take = nullptr, .echo = nullptr},
    tool_run::quiet_option<Settings>(kEither),
};

// Kept verbatim on purpose, as users and scripts know them: the help's defaults of 16
// (the run's are 32 and 8), and the misspellings "paremeter" and "endiannes".
constexpr tool_run::CommandLine<Settings> kCommandLine = {
    .banner = "\nmarisk utility.\nversion 1.0 (31.03.08) \n\n",
    .no_arguments_error = "Command line error [1].\n",  // the count with the program name
    .no_arguments = "ERR: Invalid parameter string.\nType \"marisk -h\" to get help.\n",
    .no_arguments_status = 1,
    .scan_opening = "",
    .scan_closing = "",
    .options = kOptions,
    .help =
        "Splits *.vh file to bank defined *.vh files. \n"
        "\nUSAGE: \n"
        "\tmarisk.exe [option] <input file> [option]\n"
        "\noptions: \n",
    .invalid_option = "ERR: Invalid paremeter [%zu]. \n",
    .second_input = "ERR: Input file already defined.\n",
    .input_check = "\ninput files check\t-\t",
};

// A bank's slice index is a signed 8-bit number.
constexpr std::int32_t kMaxBanks = 127;

// The output buffers of all banks together take at most this many bytes.
constexpr std::size_t kOutputBudget = 4 << 20;

// The rows of banks: one, or as many as chips of the row depth the memory takes.
std::uint64_t row_count(const Settings& settings) {
  if (settings.row_depth == 0) return 1;
  return (std::uint64_t{settings.depth} + settings.row_depth - 1) / settings.row_depth;
}

// Every bank file's name, row after row, each row's banks from slice 0 (the leftmost).
std::vector<std::string> bank_names(std::string_view base_name, const Settings& settings,
                                    std::int32_t bank_count) {
  std::vector<std::string> names;
  const std::uint64_t rows = row_count(settings);
  for (std::uint64_t row = 0; row < rows; ++row) {
    const std::string row_base = settings.row_depth == 0
                                     ? std::string(base_name)
                                     : std::string(base_name) + "_" + std::to_string(row);
    for (std::int32_t slice = 0; slice < bank_count; ++slice) {
      names.push_back(bank_file_name(row_base, bank_number(slice, bank_count, settings.big_endian),
                                     settings.output.format->extension));
    }
  }
  return names;
}

// Writes every bank file in one pass over the input. They get their names together once
// all are written; a bank file that cannot be opened or written, an input that cannot
// be read or a word too wide leaves every file as it was. split_width must be at least 8
// and bank_count at least 1. The input's size in bytes foretells the depth: a word a line.
verilog_hex::ConversionResult write_banks(verilog_hex::TextReader& input, std::uint64_t input_size,
                                          platform::FileSystem& files, std::string_view base_name,
                                          const Settings& settings, std::int32_t bank_count) {
  using verilog_hex::Stop;
  platform::OutputBatch outputs(files);
  std::vector<verilog_hex::ImageWriter*> banks;
  const std::size_t word_digits = (static_cast<std::size_t>(settings.data_width) + 3) / 4;
  const std::uint64_t likely_depth = input_size / (word_digits + 1);
  // A buffer filling and one on its way to the disk for every bank of a row, all within
  // one budget: the banks of a row fill at the same pace, so they hand their buffers
  // over together, and rows of chips are written one after the other, a row's banks
  // giving their buffers back as the next begins. (Word lines that wait for their
  // header go to a scratch file in place of the bank, which then takes a buffer only
  // once they are written.)
  const std::vector<std::string> names = bank_names(base_name, settings, bank_count);
  const std::size_t buffers = 2 * static_cast<std::size_t>(bank_count);
  const auto pool = std::make_shared<verilog_hex::BufferPool>(
      std::min(verilog_hex::TextWriter::kDefaultCapacity, kOutputBudget / buffers), buffers);
  const verilog_hex::OutputFormat& format = *settings.output.format;
  const std::int32_t digits = 2 * (settings.split_width / 8);
  std::vector<std::unique_ptr<tool_run::FormattedImage>> images;
  for (std::size_t k = 0; k < names.size(); ++k) {
    verilog_hex::ImageWriter* bank = outputs.open_image(names[k], pool);
    if (bank == nullptr) return verilog_hex::stopped(Stop::write_failed);
    // A row holds a chip's words, the last row what is left of the depth.
    const std::uint64_t row = k / static_cast<std::size_t>(bank_count);
    const std::uint64_t depth =
        settings.row_depth == 0
            ? settings.depth
            : std::min<std::uint64_t>(settings.row_depth,
                                      settings.depth - row * settings.row_depth);
    images.push_back(tool_run::FormattedImage::open(files, names[k], *bank, format, depth,
                                                    likely_depth, 4 * digits, pool));
    if (!images.back()) return verilog_hex::stopped(Stop::write_failed);
    banks.push_back(&images.back()->words());
  }
  // A word item's data text has a digit for every four bits of the word, the last in part.
  const BankLayout layout = {.digits = digits,
                             .word_digits = word_digits,
                             .format = &format,
                             .depth = settings.depth,
                             .fill_byte = static_cast<std::uint8_t>(settings.output.fill_byte),
                             .row_depth = settings.row_depth};
  std::uint64_t words_written = 0;
  verilog_hex::ConversionResult result = split_words(
      input, banks, layout, [&] { return tool_run::open_scratch(files, names.front()); },
      words_written);
  if (!result.ok()) return result;
  for (const auto& image : images) {
    if (!image->finish(words_written)) return verilog_hex::stopped(Stop::write_failed);
  }
  images.clear();  // their scratch writers' buffers back to the pool
  // The banks get their names together, and only when every one is whole.
  if (!outputs.commit()) return verilog_hex::stopped(Stop::write_failed);
  return result;
}

// The run's one place for why the split stopped.
void report(const verilog_hex::ConversionResult& result, const Settings& settings,
            std::int32_t bank_count, platform::Console& console, platform::FileSystem& files) {
  using verilog_hex::Stop;
  switch (result.stop) {
    case Stop::word_too_wide:
      return console.printf("ERR: Line %u: word %s is wider than data_width %d.\n", result.line,
                            result.item.c_str(), settings.data_width);
    case Stop::not_above:
      return console.printf("ERR: Line %u: word 0x%X does not lie above the word before it.\n",
                            result.line, result.value);
    case Stop::past_depth:
      return console.printf("ERR: Line %u: word 0x%X lies past the memory's last word 0x%X.\n",
                            result.line, result.value, result.limit);
    case Stop::too_few_digits:
      return console.printf("ERR: Line %u: data %s holds fewer than %d digits.\n", result.line,
                            result.item.c_str(), bank_count * 2 * (settings.split_width / 8));
    case Stop::not_writable:
      return console.printf("ERR: Line %u: data %s cannot be written as %s.\n", result.line,
                            result.item.c_str(), std::string(settings.output.format->name).c_str());
    case Stop::no_words:
      return console.out(tool_run::kNoWords);
    default:
      return tool_run::report_file_error(console, kProgram, files);
  }
}

int split(std::span<const std::string_view> args, platform::Console& console,
          platform::FileSystem& files) {
  auto scan = tool_run::scan_arguments(args, kCommandLine, console);
  auto& [settings, input_name, status, inputs] = scan;
  if (status) return *status;

  auto input = tool_run::open_text_input(files, input_name, kProgram, console);
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
  if (tool_run::refuse_output_choices(settings.output, "ERR: -o needs a base name.\n", console) ||
      tool_run::refuse_word_width(*settings.output.format, settings.split_width, console)) {
    return kFailure;
  }
  if (settings.row_depth != 0 && settings.depth == 0) {
    console.out("ERR: -r needs the memory depth (-n).\n");
    return kFailure;
  }
  if (row_count(settings) * static_cast<std::uint64_t>(bank_count) > kMaxBanks) {
    console.printf("ERR: Too many banks: %lld (at most %d).\n",
                   static_cast<long long>(row_count(settings) * bank_count), kMaxBanks);
    return kFailure;
  }
  const auto base_name =
      settings.output.name ? settings.output.name : form_base_name(input_name, bank_count);
  if (!base_name) {
    console.printf("ERR: Cannot form bank file names from \"%s\".\n", input_name.c_str());
    return kFailure;
  }
  for (const std::string& name : bank_names(*base_name, settings, bank_count)) {
    if (name == input_name || platform::same_file(files, name, input_name)) {
      console.printf("ERR: Bank file would replace the input file: %s\n", name.c_str());
      return kFailure;
    }
  }
  console.out("done\n");

  console.out("\ndata processing\t\t-\t");
  const auto result =
      write_banks(*input, files.status(input_name).size, files, *base_name, settings, bank_count);
  if (!result.ok()) {
    report(result, settings, bank_count, console, files);
    return kFailure;
  }
  console.out("done\n");
  return 0;
}

}  // namespace

int run(std::span<const std::string_view> args, platform::Console& console,
        platform::FileSystem& files) {
  tool_run::QuietConsole quiet(console);
  const bool asks_quiet = tool_run::names_option<Settings>(args, kOptions, 'q');
  return tool_run::run_reporting_memory_failures(split, args, asks_quiet ? quiet : console, files);
}

}  // namespace splitter
