#include "tolvane_run.hpp"

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "addressed_input.hpp"
#include "byte_conversion.hpp"
#include "command_line.hpp"
#include "elf_conversion.hpp"
#include "file_error.hpp"
#include "fixed_text.hpp"
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
#include "srecord_conversion.hpp"

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

// What tolvane reads: the option that chooses it, its help line, what a refusal calls
// its records, how it is opened, and how its bytes become words: as runs at their
// addresses (so that -a applies and several inputs make one image), or converted.
struct InputKind {
  std::string_view option;  // empty: the default
  std::string_view help;
  std::string_view records;
  std::optional<Input> (*open)(platform::FileSystem& files, const std::string& name,
                               platform::Console& console);
  std::unique_ptr<AddressedSource> (*source)(Input& input);  // none: not addressed
  verilog_hex::ConversionResult (*convert)(Input& input, ImageWords& words);
  // About how many tenths of a byte of such a file give a byte of the image, which
  // foretells the depth: "0A\n" a byte, a record's two digits and its share of the rest.
  std::uint32_t tenths_per_byte;
  constexpr bool addressed() const { return source != nullptr; }
};

std::optional<Input> open_text(platform::FileSystem& files, const std::string& name,
                               platform::Console& console) {
  return as_input(tool_run::open_text_input(files, name, kProgram, console));
}
std::optional<Input> open_bytes(platform::FileSystem& files, const std::string& name,
                                platform::Console& console) {
  return as_input(tool_run::open_byte_input(files, name, kProgram, console));
}

constexpr std::array<InputKind, 5> kInputKinds = {{
    {.option = "",
     .help = "",
     .records = "",
     .open = open_text,
     .source = nullptr,
     .convert =
         [](Input& input, ImageWords& words) {
           return convert_bytes(std::get<verilog_hex::TextReader>(input), words);
         },
     .tenths_per_byte = 30},
    {.option = "-b",
     .help = "\t-b\t\tDefines binary input (each byte of the file is one data byte)\n",
     .records = "",
     .open = open_bytes,
     .source = nullptr,
     .convert =
         [](Input& input, ImageWords& words) {
           return convert_binary(std::get<verilog_hex::BlockReader>(input), words);
         },
     .tenths_per_byte = 10},
    {.option = "-x",
     .help = "\t-x\t\tDefines Intel HEX input (each record's bytes at its address)\n",
     .records = "Intel HEX line",
     .open = open_text,
     .source =
         [](Input& input) { return intel_hex_source(std::get<verilog_hex::TextReader>(input)); },
     .convert = nullptr,
     .tenths_per_byte = 28},
    {.option = "-e",
     .help = "\t-e\t\tDefines ELF input (each loadable segment at its physical address)\n",
     .records = "ELF segment",
     .open = open_bytes,
     .source =
         [](Input& input) {
           return elf_source(std::get<verilog_hex::BlockReader>(input).source());
         },
     .convert = nullptr,
     .tenths_per_byte = 10},
    {.option = "-s",
     .help = "\t-s\t\tDefines S-record input (each record's bytes at its address)\n",
     .records = "S-record line",
     .open = open_text,
     .source =
         [](Input& input) { return srecord_source(std::get<verilog_hex::TextReader>(input)); },
     .convert = nullptr,
     .tenths_per_byte = 29},
}};

// The addressed kinds' options as a list, joined by last_join: "-x, -e or -s".
template <std::size_t kCapacity>
constexpr auto addressed_options(std::string_view last_join) {
  return verilog_hex::listed<kCapacity>(
      kInputKinds,
      [](const InputKind& kind) { return kind.addressed() ? kind.option : std::string_view(); },
      last_join);
}
constexpr auto kAddressedRefusal = [] {
  verilog_hex::FixedText<96> text;
  text += "ERR: -a needs addressed input (";
  text += addressed_options<64>(" or ").view();
  text += ").\n";
  return text;
}();
constexpr auto kFirstAddressHelp = [] {
  verilog_hex::FixedText<160> text;
  text += "\t-a##\t\tDefines the byte address of the memory's first byte (hex, for ";
  text += addressed_options<64>(" and ").view();
  text += ")\n";
  return text;
}();

constexpr tool_run::LetterCase kExact = tool_run::LetterCase::exact;

// The option that chooses an input kind: its letter alone, nothing printed, the last
// one named counting.
template <std::size_t kKind>
constexpr tool_run::Option<Settings> input_kind_option() {
  return {.letter = kInputKinds[kKind].option[1],
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
       .help = kFirstAddressHelp.view(),
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

// Text as printf forms it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"  // the formats below
template <typename... Values>
std::string formed(const char* format, Values... values) {
  const int size = std::snprintf(nullptr, 0, format, values...);
  std::string text(static_cast<std::size_t>(size) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, values...);
  text.pop_back();
  return text;
}
#pragma GCC diagnostic pop

// The run's one place for why a conversion stopped. Of several inputs, a refusal about
// one names it first.
void report(const verilog_hex::ConversionResult& result, const InputKind& kind,
            std::span<const std::string> inputs, platform::Console& console,
            platform::FileSystem& files) {
  using verilog_hex::Stop;
  const std::string records(kind.records);
  const char* const name = inputs[result.input].c_str();
  std::string text;
  switch (result.stop) {
    case Stop::not_a_record:
      text = formed("%s %u: not a record.\n", records.c_str(), result.line);
      break;
    case Stop::wrong_checksum:
      text = formed("%s %u: wrong checksum.\n", records.c_str(), result.line);
      break;
    case Stop::unknown_record_type:
      text = formed("%s %u: unknown record type %s.\n", records.c_str(), result.line,
                    result.item.c_str());
      break;
    case Stop::count_mismatch:
      text = formed("%s %u: count %u, but %u data records before it.\n", records.c_str(),
                    result.line, result.value, result.limit);
      break;
    case Stop::below_earlier_end:
      text = formed("%s %u: address 0x%X lies below an earlier record's end.\n", records.c_str(),
                    result.line, result.value);
      break;
    case Stop::below_first_address:
      text = formed("%s %u: address 0x%X lies below the memory's first address.\n", records.c_str(),
                    result.line, result.value);
      break;
    case Stop::not_elf:
      text = "Not an ELF file.\n";
      break;
    case Stop::segment_past_end:
      text = formed("ELF segment %u lies past the file's end.\n", result.line);
      break;
    case Stop::segment_past_4gib:
      text = formed("ELF segment %u lies past 4 GiB.\n", result.line);
      break;
    case Stop::segments_overlap:
      text = formed("ELF segments %u and %u overlap.\n", result.limit, result.line);
      break;
    case Stop::past_last_word:
      return console.printf(
          "ERR: The image does not fit the memory: word 0x%X lies past its last word 0x%X.\n",
          result.value, result.limit);
    case Stop::inputs_overlap:
      return console.printf("ERR: %s and %s overlap at address 0x%X.\n",
                            inputs[result.limit].c_str(), name, result.value);
    case Stop::not_positionable:
      files.note_failure(name, "ELF input must be a file, not a pipe");
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
  console.out(inputs.size() > 1 ? "ERR: " + std::string(name) + ": " + text : "ERR: " + text);
}

// The input kind the arguments name, the last one counting, looked up before the scan so
// that it knows whether several inputs may be named.
std::size_t input_kind_named(std::span<const std::string_view> args);

int convert(std::span<const std::string_view> args, platform::Console& console,
            platform::FileSystem& files) {
  const bool addressed = kInputKinds[input_kind_named(args)].addressed();
  auto [settings, input_name, status, input_names] =
      tool_run::scan_arguments(args, kCommandLine, console, addressed);
  if (status) return *status;

  if (settings.data_width < 8) {
    console.printf("ERR: Invalid data_width: %d (at least 8).\n", settings.data_width);
    return kFailure;
  }
  if (settings.data_width > kMaxWidth) {
    console.printf("ERR: Invalid data_width: %d (at most %d).\n", settings.data_width, kMaxWidth);
    return kFailure;
  }
  if (settings.first_address_given && !kInputKinds[settings.input_kind].addressed()) {
    console.out(kAddressedRefusal.view());
    return kFailure;
  }
  if (tool_run::refuse_output_choices(settings.output, "ERR: -o needs a file name.\n", console) ||
      tool_run::refuse_word_width(*settings.output.format, settings.data_width, console)) {
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
  std::vector<Input> inputs;
  inputs.reserve(input_names.size());  // the sources keep references to them
  for (const std::string& name : input_names) {
    std::optional<Input> input = kind.open(files, name, console);
    if (!input) return kFailure;
    inputs.push_back(std::move(*input));
  }
  for (const std::string& name : input_names) {
    if (*output_name == name || platform::same_file(files, *output_name, name)) {
      console.printf("ERR: Output file would replace the input file: %s\n", output_name->c_str());
      return kFailure;
    }
  }
  platform::OutputBatch outputs(files);
  verilog_hex::ImageWriter* output = outputs.open_image(*output_name);
  if (output == nullptr) {
    tool_run::report_file_error(console, kProgram, files);
    return kFailure;
  }

  const unsigned bytes_per_word = static_cast<unsigned>(settings.data_width) / 8;
  std::uint64_t input_size = 0;
  for (const std::string& name : input_names) input_size += files.status(name).size;
  const std::uint64_t likely_depth = input_size * 10 / kind.tenths_per_byte / bytes_per_word;
  const auto image =
      tool_run::FormattedImage::open(files, *output_name, *output, format, settings.depth,
                                     likely_depth, static_cast<int>(8 * bytes_per_word));
  if (!image) {
    tool_run::report_file_error(console, kProgram, files);
    return kFailure;
  }
  console.out("done\n");

  console.out("\ninput files processing\n");
  ImageWords words(image->words(), bytes_per_word, settings.big_endian, settings.depth,
                   static_cast<std::uint8_t>(settings.output.fill_byte), format.dense,
                   settings.crop);
  verilog_hex::ConversionResult converted;
  if (kind.addressed()) {
    std::vector<std::unique_ptr<AddressedSource>> sources;
    for (Input& input : inputs) sources.push_back(kind.source(input));
    AddressedBytes bytes(words, settings.first_address, settings.crop);
    converted = place_sources(sources, bytes);
  } else {
    converted = kind.convert(inputs.front(), words);
  }
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
    report(converted, kind, input_names, console, files);
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

std::size_t input_kind_named(std::span<const std::string_view> args) {
  std::size_t named = 0;
  for (const auto& argument : tool_run::read_arguments<Settings>(args, kOptions)) {
    for (std::size_t kind = 1; kind < kInputKinds.size(); ++kind) {
      if (argument.option != nullptr && argument.option->letter == kInputKinds[kind].option[1]) {
        named = kind;
      }
    }
  }
  return named;
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
