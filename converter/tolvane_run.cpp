#include "tolvane_run.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "byte_conversion.hpp"
#include "command_line.hpp"
#include "elf_conversion.hpp"
#include "file_error.hpp"
#include "formatted_image.hpp"
#include "image_words.hpp"
#include "input_files.hpp"
#include "intel_hex_conversion.hpp"
#include "memory_boundary.hpp"
#include "number_parse.hpp"
#include "output_batch.hpp"
#include "output_name.hpp"
#include "output_options.hpp"
#include "run_status.hpp"
#include "same_file.hpp"

namespace converter {
namespace {

struct Settings {
  // Bits per word as taken: 256 to 4096 whole (and more, to be refused), others cut to 8 bits.
  std::int32_t data_width = 16;
  bool big_endian = true;
  std::size_t input_kind = 0;  // a row of kInputKinds
  bool first_address_given = false;
  std::uint32_t first_address = 0;  // of the memory's first byte
  std::uint32_t depth = 0;          // in words; 0: as many as the input fills
  tool_run::OutputChoices output;   // -f, -o and -p
  bool crop = false;                // input outside the memory dropped instead of refused
};

constexpr int kFailure = tool_run::kFailureStatus;
constexpr std::string_view kProgram = "tolvane";
constexpr std::int32_t kMaxWidth = 4096;

using Input = std::variant<verilog_hex::TextReader, verilog_hex::BlockReader>;

template <class Reader>
std::optional<Input> as_input(std::optional<Reader> reader) {
  if (!reader) return std::nullopt;
  return Input(std::in_place_type<Reader>, std::move(*reader));
}

// What tolvane reads: the letter that chooses it, its help line, whether its bytes come
// with addresses (so that -a applies), how it is opened and how its bytes become words.
struct InputKind {
  char letter;  // none: the default
  std::string_view help;
  bool addressed;
  std::optional<Input> (*open)(platform::FileSystem& files, const std::string& name,
                               platform::Console& console);
  verilog_hex::ConversionResult (*convert)(Input& input, ImageWords& words,
                                           const Settings& settings);
};

constexpr InputKind kByteList = {
    .letter = '\0',
    .help = "",
    .addressed = false,
    .open =
        [](platform::FileSystem& files, const std::string& name, platform::Console& console) {
          return as_input(tool_run::open_text_input(files, name, kProgram, console));
        },
    .convert =
        [](Input& input, ImageWords& words, const Settings&) {
          return convert_bytes(std::get<verilog_hex::TextReader>(input), words);
        }};
constexpr InputKind kBinary = {
    .letter = 'b',
    .help = "\t-b\t\tDefines binary input (each byte of the file is one data byte)\n",
    .addressed = false,
    .open =
        [](platform::FileSystem& files, const std::string& name, platform::Console& console) {
          return as_input(tool_run::open_byte_input(files, name, kProgram, console));
        },
    .convert =
        [](Input& input, ImageWords& words, const Settings&) {
          return convert_binary(std::get<verilog_hex::BlockReader>(input), words);
        }};
constexpr InputKind kIntelHex = {
    .letter = 'x',
    .help = "\t-x\t\tDefines Intel HEX input (each record's bytes at its address)\n",
    .addressed = true,
    .open = kByteList.open,
    .convert = [](Input& input, ImageWords& words, const Settings& settings) {
      AddressedBytes bytes(words, settings.first_address, settings.crop);
      return convert_intel_hex(std::get<verilog_hex::TextReader>(input), bytes);
    }};
constexpr InputKind kElf = {
    .letter = 'e',
    .help = "\t-e\t\tDefines ELF input (each loadable segment at its physical address)\n",
    .addressed = true,
    .open = kBinary.open,
    .convert = [](Input& input, ImageWords& words, const Settings& settings) {
      AddressedBytes bytes(words, settings.first_address, settings.crop);
      return convert_elf(std::get<verilog_hex::BlockReader>(input).source(), bytes);
    }};
constexpr std::array kInputKinds = {kByteList, kBinary, kIntelHex, kElf};

constexpr tool_run::LetterCase kExact = tool_run::LetterCase::exact;

// The option that chooses an input kind: its letter alone, nothing printed, the last
// one named counting.
template <std::size_t kKind>
constexpr tool_run::Option<Settings> input_kind_option() {
  return {.letter = kInputKinds[kKind].letter,
          .letter_case = kExact,
          .value_start = "",
          .take =
              [](Settings& s, std::string_view) {
                s.input_kind = kKind;
                return std::int32_t{0};
              },
          .echo = nullptr,
          .help = kInputKinds[kKind].help};
}

// In the order of the help text; the first input kind is chosen by no option.
template <std::size_t... kKinds>
constexpr auto make_options(std::index_sequence<kKinds...>) {
  return std::array<tool_run::Option<Settings>, 11 + sizeof...(kKinds)>{{
      {.letter = 'd',
       .letter_case = kExact,
       .value_start = "",
       // Decimal, wrapping past 32 bits; below 256 (or negative) cut to 8 bits: "-d264"
       // is 264 but "-d-8" is 248, as scripts use it.
       .take = [](Settings& s, std::string_view value) -> std::int32_t {
         const auto width = static_cast<std::int32_t>(
             verilog_hex::parse_unsigned(value, 10, verilog_hex::Overflow::wraps));
         return s.data_width = width >= 256 ? width : (width & 0xFF);
       },
       .echo = "data_width [%zu]: %d\n",
       .help = "\t-d##\t\tDefines data_width. By default data_width=16 \n\t\t\t(valid values 8, "
               "16, 32)\n"},
      {.letter = 'm',
       .letter_case = kExact,
       .value_start = "",
       .take = [](Settings& s, std::string_view) { return std::int32_t{s.big_endian = true}; },
       .echo = nullptr,
       .help = "\t-m\t\tDefines big-endian format (MSB 1st - default)\n"},
      {.letter = 'l',
       .letter_case = kExact,
       .value_start = "",
       .take = [](Settings& s, std::string_view) { return std::int32_t{s.big_endian = false}; },
       .echo = nullptr,
       .help = "\t-l\t\tDefines little-endian format (LSB 1st)\n"},
      input_kind_option<kKinds + 1>()...,
      {.letter = 'a',
       .letter_case = kExact,
       .value_start = "",
       .take =
           [](Settings& s, std::string_view value) {
             s.first_address_given = true;
             s.first_address = verilog_hex::parse_unsigned(value, 16);
             return static_cast<std::int32_t>(s.first_address);
           },
       .echo = "base_address [%zu]: 0x%X\n",
       .help = "\t-a##\t\tDefines the byte address of the memory's first byte (hex, for -x and "
               "-e)\n",
       .value_may_follow = true},
      {.letter = 'n',
       .letter_case = kExact,
       .value_start = "",
       .take =
           [](Settings& s, std::string_view value) {
             s.depth = verilog_hex::parse_count(value);
             return static_cast<std::int32_t>(s.depth);
           },
       .echo = "memory_depth [%zu]: %u\n",
       .help = "\t-n##\t\tDefines the memory depth in words (every word written, missing ones as "
               "0)\n",
       .value_may_follow = true},
      tool_run::format_option<Settings>(kExact, "output_format [%zu]: %s\n"),
      tool_run::name_option<Settings>(kExact, "output_file [%zu]: %s\n",
                                      "\t-o##\t\tDefines the output file name (default: the "
                                      "input's stem and the format's extension)\n"),
      tool_run::fill_option<Settings>(kExact, "fill_byte [%zu]: 0x%.2X\n"),
      {.letter = 'c',
       .letter_case = kExact,
       .value_start = "",
       .take = [](Settings& s, std::string_view) { return std::int32_t{s.crop = true}; },
       .echo = nullptr,
       .help = "\t-c\t\tDrops input bytes outside the memory instead of refusing them\n"},
      {.letter = 'h', .letter_case = kExact, .value_start = "", .take = nullptr, .echo = nullptr},
      tool_run::quiet_option<Settings>(kExact),
  }};
}
constexpr auto kOptions = make_options(std::make_index_sequence<kInputKinds.size() - 1>());

// Kept verbatim on purpose, as users and scripts know them: the help's "By default
// data_width=16" and "(valid values 8, 16, 32)", and the misspelling "paremeter".
constexpr tool_run::CommandLine<Settings> kCommandLine = {
    .banner = "\ntext 2 vh conversion utility.\nversion 1.0.0 (2.09.08) \n\n",
    .no_arguments_error = "",
    .no_arguments = "ERR: Invalid parameter string.\nType \"tolvane -h\" to get help.\n",
    .no_arguments_status = 0,
    .scan_opening = "\narguments processing\n",
    .scan_closing = "done\n",
    .options = kOptions,
    .help =
        "Converts text byte data 2 VerilogHex format\n"
        "\nUSAGE: \n"
        "\ttolvane.exe [option] <input file> [option]\n"
        "\noptions: \n",
    .invalid_option = "ERR: Invalid paremeter [%zu]: \n",
    .second_input = "ERR: Input file already defined [%zu]: %s\n",
    .input_check = "\ninput files check\n",
};

// The run's one place for why a conversion stopped.
void report(const verilog_hex::ConversionResult& result, const std::string& input_name,
            platform::Console& console, platform::FileSystem& files) {
  using verilog_hex::Stop;
  switch (result.stop) {
    case Stop::not_a_record:
      return console.printf("ERR: Intel HEX line %u: not a record.\n", result.line);
    case Stop::wrong_checksum:
      return console.printf("ERR: Intel HEX line %u: wrong checksum.\n", result.line);
    case Stop::unknown_record_type:
      return console.printf("ERR: Intel HEX line %u: unknown record type %.2X.\n", result.line,
                            result.value);
    case Stop::below_earlier_end:
      return console.printf(
          "ERR: Intel HEX line %u: address 0x%X lies below an earlier record's "
          "end.\n",
          result.line, result.value);
    case Stop::below_first_address:
      return console.printf(
          "ERR: Intel HEX line %u: address 0x%X lies below the memory's first "
          "address.\n",
          result.line, result.value);
    case Stop::past_last_word:
      return console.printf(
          "ERR: The image does not fit the memory: word 0x%X lies past its last word 0x%X.\n",
          result.value, result.limit);
    case Stop::not_elf:
      return console.out("ERR: Not an ELF file.\n");
    case Stop::segment_past_end:
      return console.printf("ERR: ELF segment %u lies past the file's end.\n", result.line);
    case Stop::segment_past_4gib:
      return console.printf("ERR: ELF segment %u lies past 4 GiB.\n", result.line);
    case Stop::segments_overlap:
      return console.printf("ERR: ELF segments %u and %u overlap.\n", result.limit, result.line);
    case Stop::segment_below_first:
      return console.printf(
          "ERR: ELF segment %u: address 0x%X lies below the memory's first address.\n", result.line,
          result.value);
    case Stop::not_positionable:
      files.note_failure(input_name, "ELF input must be a file, not a pipe");
      return tool_run::report_file_error(console, kProgram, files);
    case Stop::done:
    case Stop::read_failed:
    case Stop::write_failed:
    case Stop::word_too_wide:
    case Stop::not_above:
    case Stop::past_depth:
    case Stop::too_few_digits:
    case Stop::not_writable:
    case Stop::no_words:
      return tool_run::report_file_error(console, kProgram, files);
  }
}

int convert(std::span<const std::string_view> args, platform::Console& console,
            platform::FileSystem& files) {
  auto [settings, input_name, status] = tool_run::scan_arguments(args, kCommandLine, console);
  if (status) return *status;

  if (settings.data_width < 8) {
    console.printf("ERR: Invalid data_width: %d (at least 8).\n", settings.data_width);
    return kFailure;
  }
  if (settings.data_width > kMaxWidth) {
    console.printf("ERR: Invalid data_width: %d (at most %d).\n", settings.data_width, kMaxWidth);
    return kFailure;
  }
  if (settings.first_address_given && !kInputKinds[settings.input_kind].addressed) {
    console.out("ERR: -a needs addressed input (-x or -e).\n");
    return kFailure;
  }
  if (tool_run::refuse_output_choices(settings.output, "ERR: -o needs a file name.\n", console)) {
    return kFailure;
  }
  const verilog_hex::OutputFormat& format = *settings.output.format;
  const auto output_name = settings.output.name
                               ? settings.output.name
                               : converter::output_name_for(input_name, format.extension);
  if (!output_name) {
    console.printf("ERR: Cannot form output file name from \"%s\".\n", input_name.c_str());
    return kFailure;
  }
  const InputKind& kind = kInputKinds[settings.input_kind];
  std::optional<Input> input = kind.open(files, input_name, console);
  if (!input) return kFailure;
  if (*output_name == input_name || platform::same_file(files, *output_name, input_name)) {
    console.printf("ERR: Output file would replace the input file: %s\n", output_name->c_str());
    return kFailure;
  }
  platform::OutputBatch outputs(files);
  verilog_hex::ImageWriter* output = outputs.open_image(*output_name);
  if (output == nullptr) {
    tool_run::report_file_error(console, kProgram, files);
    return kFailure;
  }

  const unsigned bytes_per_word = static_cast<unsigned>(settings.data_width) / 8;
  const auto image = tool_run::FormattedImage::open(
      files, *output_name, *output, format, settings.depth, static_cast<int>(8 * bytes_per_word));
  if (!image) {
    tool_run::report_file_error(console, kProgram, files);
    return kFailure;
  }
  console.out("done\n");

  console.out("\ninput files processing\n");
  ImageWords words(image->words(), bytes_per_word, settings.big_endian, settings.depth,
                   static_cast<std::uint8_t>(settings.output.fill_byte), format.dense,
                   settings.crop);
  const verilog_hex::ConversionResult converted = kind.convert(*input, words, settings);
  if (converted.ok()) words.finish();
  if (converted.ok() && words.bytes_given() > 0 && words.bytes_dropped() == words.bytes_given()) {
    console.out("ERR: Every input byte lies outside the memory.\n");
    return kFailure;
  }
  if (converted.ok() && format.dense && words.words_written() == 0) {
    console.out(tool_run::kNoWords);
    return kFailure;
  }
  // The output gets its name only once it is whole; otherwise an old file stays as it was.
  if (!converted.ok() || !image->finish(words.words_written()) || !outputs.commit()) {
    report(converted, input_name, console, files);
    return kFailure;
  }
  if (words.bytes_dropped() > 0) {
    console.printf("cropped: %llu bytes outside the memory\n",
                   static_cast<unsigned long long>(words.bytes_dropped()));
  }
  if (words.cut()) console.printf("cropped: the input past word 0x%X\n", words.depth() - 1);
  console.out("done\n");
  console.out("\nprocessing complete!\n");
  return 0;
}

}  // namespace

int run(std::span<const std::string_view> args, platform::Console& console,
        platform::FileSystem& files) {
  tool_run::QuietConsole quiet(console);
  const bool asks_quiet = tool_run::names_option<Settings>(args, kOptions, 'q');
  return tool_run::run_reporting_memory_failures(convert, args, asks_quiet ? quiet : console,
                                                 files);
}

}  // namespace converter
