// Runs marisk's command lines and compares everything it prints, its exit status and
// the files it leaves: in-process on files in memory, and the built program in a
// temporary folder where real files matter.

#include "marisk_run.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "memory_file_system.hpp"
#include "test_programs.hpp"

namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

const std::string kBanner = "\nmarisk utility.\nversion 1.0 (31.03.08) \n\n";
const std::string kChecked = "\ninput files check\t-\tdone\n";
const std::string kNamed = "\nform file name\t\t-\tdone\n";
const std::string kSplit = "\ndata processing\t\t-\tdone\n";
const std::string kHelp =
    "Splits *.vh file to bank defined *.vh files. \n"
    "\nUSAGE: \n"
    "\tmarisk.exe [option] <input file> [option]\n"
    "\noptions: \n"
    "\t-d##\t\tDefines memory width *.vh. By default =16 \n\t\t\t(valid values 16, 32)\n\n"
    "\t-s##\t\tDefines bank width. By default =16 \n\t\t\t(valid values 8, 16, 32, 64)\n\n"
    "\t-e##\t\tDefines endiannes MSB or LSB. By default BigEndian (MSB)\n\n"
    "\t-f##\t\tDefines the output format: vh (default), vb, coe, mif, mem, mi or hex\n"
    "\t-o##\t\tDefines the bank files' base name (default: formed from the input name)\n"
    "\t-p##\t\tDefines the fill byte for words and bytes no input gives (hex, default 00)\n"
    "\t-n##\t\tDefines the banks' depth in words (every word written, missing ones filled)\n"
    "\t-r##\t\tDefines the depth of one memory chip in words (banks in rows, needs -n)\n"
    "\t-q\t\tPrints only errors\n";

const std::string kInput = "rom_0x100.vh";
const std::string kImage = "@1F\t12AB34CD\r\n\r\n@020\tab\r\n";

// What a run prints when the scan prints scan_messages and all phases finish.
std::string split(const std::string& scan_messages) {
  return kBanner + scan_messages + kChecked + kNamed + kSplit;
}
std::string naming_fails(const std::string& scan_messages, const std::string& error) {
  return kBanner + scan_messages + kChecked + "\nform file name\t\t-\t" + error;
}

std::string splitting_fails(const std::string& scan_messages, const std::string& error) {
  return kBanner + scan_messages + kChecked + kNamed + "\ndata processing\t\t-\t" + error;
}
const std::string kMifHead =
    "DEPTH = 3;\r\nWIDTH = 16;\r\nADDRESS_RADIX = HEX;\r\nDATA_RADIX = HEX;\r\nCONTENT\r\n"
    "BEGIN\r\n";
// A mif bank of that depth and width holding the lines.
std::string mif(int depth, int width, const std::string& lines) {
  return "DEPTH = " + std::to_string(depth) + ";\r\nWIDTH = " + std::to_string(width) +
         ";\r\nADDRESS_RADIX = HEX;\r\nDATA_RADIX = HEX;\r\nCONTENT\r\nBEGIN\r\n" + lines +
         "END;\r\n";
}
// A word line longer than the reader's buffer, then a short one.
const std::string kLongWordLine = "@0\t" + std::string(300000, '7') + "\r\n@1\t3456\r\n";
const std::string kCoeHead = "memory_initialization_radix=16;\r\nmemory_initialization_vector=\r\n";

Files with_input(Files banks, const std::string& image = kImage) {
  banks[kInput] = image;
  return banks;
}

// An image of words wider than a line of 255 characters, at addresses of several lengths,
// and the banks it splits into: slice j of every word is its number in hexadecimal,
// repeated to the slice's width, and the leftmost slice goes to the highest bank.
struct WideSplit {
  std::string image;
  Files banks;
};
WideSplit wide_split(int banks, std::size_t digits, const std::string& base) {
  const std::vector<std::string> fields = {"@0\t", "@00ABC\t", "@12345678\t"};
  WideSplit split;
  std::string data;
  for (int j = 0; j < banks; ++j) {
    char number[8];
    std::snprintf(number, sizeof number, "%X", j % 16);
    data += std::string(digits, number[0]);
  }
  for (const std::string& field : fields) split.image += field + data + "\r\n";
  for (int j = 0; j < banks; ++j) {
    std::string bank;
    const std::string slice = data.substr(static_cast<std::size_t>(j) * digits, digits);
    for (const char* written : {"@0\t", "@ABC\t", "@12345678\t"}) bank += written + slice + "\r\n";
    split.banks[base + "_" + std::to_string(banks - 1 - j) + ".vh"] = bank;
  }
  split.banks = with_input(split.banks, split.image);
  return split;
}
const WideSplit kWide1024 = wide_split(16, 16, "rom_0x1000");
const WideSplit kWide1016 = wide_split(127, 2, "rom_0x7f00");
// Slices wider than the fixed moves of the block path.
const WideSplit kSlices128 = wide_split(2, 32, "rom_0x200");
const WideSplit kSlices256 = wide_split(4, 64, "rom_0x400");

const Files kByteBanksBig = with_input({{"rom_0x400_3.vh", "@1F\t12\r\n@20\tab\r\n"},
                                        {"rom_0x400_2.vh", "@1F\tAB\r\n@20\t\r\n"},
                                        {"rom_0x400_1.vh", "@1F\t34\r\n@20\t\r\n"},
                                        {"rom_0x400_0.vh", "@1F\tCD\r\n@20\t\r\n"}});
const Files kByteBanksLittle = with_input({{"rom_0x400_0.vh", "@1F\t12\r\n@20\tab\r\n"},
                                           {"rom_0x400_1.vh", "@1F\tAB\r\n@20\t\r\n"},
                                           {"rom_0x400_2.vh", "@1F\t34\r\n@20\t\r\n"},
                                           {"rom_0x400_3.vh", "@1F\tCD\r\n@20\t\r\n"}});
const Files kInputOnly = with_input({});
const std::string kMemoryFile = "/* from another tool */\r\n@10\r\n12345678 9abc_def0 // two\r\n";
const std::string kLongSkipped = [] {
  std::string line;
  for (int i = 0; i < 120000; ++i) line += "12 ";
  return line + "hello\r\n34\r\n";
}();
const std::string kTooWide = "@0\t11223344\r\n1234\r\n123456789 ; skipped\r\n0_123456789\r\n";

struct CliCase {
  const char* name;
  std::vector<std::string> args;
  std::string out;
  int status;
  Files files;
  std::string err = "";
  bool also_as_program = false;  // runs the built program too
  std::string image = kImage;    // the input's bytes
  friend void PrintTo(const CliCase& c, std::ostream* os) { *os << c.name; }
};

Files folder_files(const fs::path& dir) {
  Files files;
  for (const std::string& name : test::list_files(dir)) files[name] = test::read_file(dir / name);
  return files;
}

class MariskRun : public testing::TestWithParam<CliCase> {};

// Every row runs in-process on files in memory; those made by this run the built
// program too.
CliCase as_program(CliCase c) {
  c.also_as_program = true;
  return c;
}

TEST_P(MariskRun, PrintsExitsAndWritesExactly) {
  const CliCase& run = GetParam();
  test::MemoryFileSystem files;
  files.files[kInput] = {run.image};
  test::MemoryConsole console;
  EXPECT_EQ(splitter::run(std::vector<std::string_view>(run.args.begin(), run.args.end()), console,
                          files),
            run.status);
  EXPECT_EQ(console.out_text, run.out);
  EXPECT_EQ(console.err_text, run.err);
  Files left;
  for (const auto& [name, file] : files.files) left[name] = file.bytes;
  EXPECT_EQ(left, run.files);

  if (!run.also_as_program) return;
  test::TempDir dir;
  test::write_file(dir.path() / kInput, run.image);
  const auto result = test::run_program(MARISK_PATH, run.args, dir.path());
  EXPECT_EQ(result.out, run.out);
  EXPECT_EQ(result.err, run.err);
  EXPECT_EQ(result.status, run.status);
  EXPECT_EQ(folder_files(dir.path()), run.files);
}

const std::string kSplitWidth0 = "ERR: Invalid split_width: 0 (at least 8).\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, MariskRun,
    testing::Values(as_program(CliCase{
                        "NoArguments",
                        {},
                        kBanner +
                            "ERR: Invalid parameter string.\nType \"marisk -h\" to get help.\n",
                        1,
                        kInputOnly,
                        "Command line error [1].\n"}),
                    as_program(CliCase{"Defaults", {kInput}, split(""), 0, kByteBanksBig}),
                    CliCase{"LittleEndian",
                            {"-eL", kInput},
                            split("LittleEndian word format[1]\n"),
                            0,
                            kByteBanksLittle},
                    CliCase{"LongEndianWords",
                            {kInput, "-eLSB", "-eMSB"},
                            split("LittleEndian word format[2]\nBigEndian word format[3]\n"),
                            0,
                            kByteBanksBig},
                    CliCase{
                        "UpperCaseLetters",
                        {"-D32", "-S8", "-EL", kInput},
                        split(
                            "data_width [1]: 32\nsplit_width[2]: 8\nLittleEndian word format[3]\n"),
                        0,
                        kByteBanksLittle},
                    CliCase{"LowerCaseOrderRefused",
                            {"-el", "-em", "-e", kInput},
                            split("ERR: Invalid paremeter [1]. \nERR: Invalid paremeter [2]. "
                                  "\nERR: Invalid "
                                  "paremeter [3]. \n"),
                            0,
                            kByteBanksBig},
                    CliCase{"UnknownOptions",
                            {"-", "-x", kInput, "-dd"},
                            naming_fails("ERR: Invalid paremeter [1]. \nERR: Invalid paremeter "
                                         "[2]. \ndata_width [4]: 0\n",
                                         kSplitWidth0),
                            2,
                            kInputOnly},
                    CliCase{"HalfWords",
                            {"-s16", kInput},
                            split("split_width[1]: 16\n"),
                            0,
                            with_input({{"rom_0x200_1.vh", "@1F\t12AB\r\n@20\tab\r\n"},
                                        {"rom_0x200_0.vh", "@1F\t34CD\r\n@20\t\r\n"}})},
                    CliCase{"SplitLoweredToData",
                            {"-d16", "-s32", kInput},
                            split("data_width [1]: 16\nsplit_width[2]: 32\n"),
                            0,
                            with_input({{"rom_0x100_0.vh", "@1F\t12AB\r\n@20\tab\r\n"}})},
                    CliCase{"Width12",
                            {"-s12", "-d24", kInput},
                            split("split_width[1]: 12\ndata_width [2]: 24\n"),
                            0,
                            with_input({{"rom_0x200_1.vh", "@1F\t12\r\n@20\tab\r\n"},
                                        {"rom_0x200_0.vh", "@1F\tAB\r\n@20\t\r\n"}})},
                    as_program(CliCase{"Help",
                                       {kInput, "-d16", "-Hx", "a", "b"},
                                       kBanner + "data_width [2]: 16\n" + kHelp,
                                       0,
                                       kInputOnly}),
                    // Values after a space; "0x" makes -n and -r hexadecimal; -Q in either case.
                    CliCase{.name = "ValuesAfterASpaceQuietly",
                            .args = {"-n", "0x4", "-R", "0X2", "-o", "ram", "-Q", "-f", "mem",
                                     "-d16", kInput},
                            .out = "",
                            .status = 0,
                            .files = with_input({{"ram_0_1.mem", "11\r\n00\r\n"},
                                                 {"ram_0_0.mem", "22\r\n00\r\n"},
                                                 {"ram_1_1.mem", "00\r\n00\r\n"},
                                                 {"ram_1_0.mem", "00\r\n00\r\n"}},
                                                "@0\t1122\r\n"),
                            .image = "@0\t1122\r\n"},
                    as_program(CliCase{
                        "SecondInput",
                        {kInput, "-s16", "other_0x1.vh"},
                        kBanner + "split_width[2]: 16\nERR: Input file already defined.\n",
                        2,
                        kInputOnly}),
                    CliCase{"NoInput",
                            {"-s16"},
                            kBanner + "split_width[1]: 16\n\ninput files check\t-\tERR: Input file "
                                      "undefined.\n",
                            2,
                            kInputOnly},
                    as_program(CliCase{"MissingInput",
                                       {"in_0x10.vh"},
                                       kBanner + "\ninput files check\t-\tFile I/O error.\n",
                                       2,
                                       kInputOnly,
                                       "marisk: in_0x10.vh: No such file or directory\n"}),
                    CliCase{"DirectoryInput",
                            {"."},
                            kBanner + "\ninput files check\t-\tFile I/O error.\n",
                            2,
                            kInputOnly,
                            "marisk: .: Is a directory\n"},
                    CliCase{"SplitWidthZero",
                            {"-s0", kInput},
                            naming_fails("split_width[1]: 0\n", kSplitWidth0),
                            2,
                            kInputOnly},
                    CliCase{"SplitWidthFour",
                            {"-s4", kInput},
                            naming_fails("split_width[1]: 4\n",
                                         "ERR: Invalid split_width: 4 (at least 8).\n"),
                            2,
                            kInputOnly},
                    CliCase{"DataWidthFour",
                            {"-d4", kInput},
                            naming_fails("data_width [1]: 4\n",
                                         "ERR: Invalid split_width: 4 (at least 8).\n"),
                            2,
                            kInputOnly},
                    CliCase{"DataWidthZero",
                            {"-d0", kInput},
                            naming_fails("data_width [1]: 0\n", kSplitWidth0),
                            2,
                            kInputOnly},
                    CliCase{"DataWidthNoNumber",
                            {"-dx", kInput},
                            naming_fails("data_width [1]: 0\n", kSplitWidth0),
                            2,
                            kInputOnly},
                    CliCase{"DataWidthBare",
                            {"-d", kInput},
                            naming_fails("data_width [1]: 0\n", kSplitWidth0),
                            2,
                            kInputOnly},
                    CliCase{"NegativeSplit",
                            {"-s-16", kInput},
                            naming_fails("split_width[1]: -16\n",
                                         "ERR: Invalid split_width: -16 (at least 8).\n"),
                            2,
                            kInputOnly},
                    CliCase{"NegativeData",
                            {"-d-8", kInput},
                            naming_fails("data_width [1]: -8\n",
                                         "ERR: Invalid split_width: -8 (at least 8).\n"),
                            2,
                            kInputOnly},
                    CliCase{"HugeWidth",
                            {"-d4294967296", kInput},
                            naming_fails("data_width [1]: -1\n",
                                         "ERR: Invalid split_width: -1 (at least 8).\n"),
                            2,
                            kInputOnly},
                    // Unlike tolvane's, marisk's widths saturate past 32 bits: 2^32 + 8 is -1.
                    CliCase{"HugeWidthSaturates",
                            {"-d4294967304", kInput},
                            naming_fails("data_width [1]: -1\n",
                                         "ERR: Invalid split_width: -1 (at least 8).\n"),
                            2,
                            kInputOnly},
                    CliCase{"Width96",
                            {"-d96", "-s48", kInput},
                            split("data_width [1]: 96\nsplit_width[2]: 48\n"),
                            0,
                            with_input({{"rom_0x200_1.vh", "@1F\t12AB34CD\r\n@20\tab\r\n"},
                                        {"rom_0x200_0.vh", "@1F\t\r\n@20\t\r\n"}})},
                    // Word lines longer than 255 characters are read whole.
                    as_program(CliCase{.name = "Wide1024BitsIn64BitBanks",
                                       .args = {"-d1024", "-s64", kInput},
                                       .out = split("data_width [1]: 1024\nsplit_width[2]: 64\n"),
                                       .status = 0,
                                       .files = kWide1024.banks,
                                       .image = kWide1024.image}),
                    CliCase{.name = "Wide1016BitsIn127Banks",
                            .args = {"-d1016", kInput},
                            .out = split("data_width [1]: 1016\n"),
                            .status = 0,
                            .files = kWide1016.banks,
                            .image = kWide1016.image},
                    CliCase{.name = "Slices128Bits",
                            .args = {"-d256", "-s128", kInput},
                            .out = split("data_width [1]: 256\nsplit_width[2]: 128\n"),
                            .status = 0,
                            .files = kSlices128.banks,
                            .image = kSlices128.image},
                    as_program(CliCase{.name = "Slices256Bits",
                                       .args = {"-d1024", "-s256", kInput},
                                       .out = split("data_width [1]: 1024\nsplit_width[2]: 256\n"),
                                       .status = 0,
                                       .files = kSlices256.banks,
                                       .image = kSlices256.image}),
                    CliCase{
                        "TooManyBanks",
                        {"-d1024", "-s8", kInput},
                        naming_fails("data_width [1]: 1024\nsplit_width[2]: 8\n",
                                     "ERR: Too many banks: 128 (at most 127).\n"),
                        2,
                        kInputOnly},
                    CliCase{"MostBanks",
                            {"-d1016", kInput},
                            split("data_width [1]: 1016\n"),
                            0,
                            [] {
                              Files files = kInputOnly;
                              for (int bank = 0; bank < 127; ++bank) {
                                const std::string slice = bank == 126   ? "12"
                                                          : bank == 125 ? "AB"
                                                          : bank == 124 ? "34"
                                                          : bank == 123 ? "CD"
                                                                        : "";
                                files["rom_0x7f00_" + std::to_string(bank) + ".vh"] =
                                    "@1F\t" + slice + "\r\n@20\t" + (bank == 126 ? "ab" : "") +
                                    "\r\n";
                              }
                              return files;
                            }()},
                    // A memory file another tool wrote: items several a line, with comments.
                    as_program(CliCase{
                        .name = "ItemsOfAMemoryFile",
                        .args = {kInput},
                        .out = split(""),
                        .status = 0,
                        .files = with_input({{"rom_0x400_3.vh", "@10\t12\r\n@11\t9a\r\n"},
                                             {"rom_0x400_2.vh", "@10\t34\r\n@11\tbc\r\n"},
                                             {"rom_0x400_1.vh", "@10\t56\r\n@11\tde\r\n"},
                                             {"rom_0x400_0.vh", "@10\t78\r\n@11\tf0\r\n"}},
                                            kMemoryFile),
                        .image = kMemoryFile}),
                    as_program(CliCase{
                        .name = "WordTooWide",
                        .args = {kInput},
                        .out = kBanner + kChecked + kNamed +
                               "\ndata processing\t\t-\tERR: Line 4: word 0_123456789 is wider "
                               "than data_width 32.\n",
                        .status = 2,
                        .files = with_input({}, kTooWide),
                        .image = kTooWide}),
                    // Its words fill more than a bank's buffer before the line is judged and
                    // skipped.
                    as_program(CliCase{
                        .name = "LongLineSkippedAfterItsWordsWentOut",
                        .args = {"-d8", kInput},
                        .out = split("data_width [1]: 8\n"),
                        .status = 0,
                        .files = with_input({{"rom_0x100_0.vh", "@0\t34\r\n"}}, kLongSkipped),
                        .image = kLongSkipped})),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// Output formats, names, fill bytes, depths and rows of banks.
INSTANTIATE_TEST_SUITE_P(
    Formats, MariskRun,
    testing::Values(
        as_program(CliCase{
            .name = "MifNamedWithADepthAndFill",
            .args = {"-s16", "-fmif", "-n3", "-pAB", "-oout", kInput},
            .out = split("split_width[1]: 16\noutput_format[2]: mif\nmemory_depth[3]: "
                         "3\nfill_byte[4]: 0xAB\noutput_base[5]: out\n"),
            .status = 0,
            .files = with_input({{"out_1.mif", kMifHead + "0 : ABAB;\r\n1 : 12ab;\r\n2 : "
                                                          "ABAB;\r\nEND;\r\n"},
                                 {"out_0.mif", kMifHead + "0 : ABAB;\r\n1 : 34CD;\r\n2 : "
                                                          "ABAB;\r\nEND;\r\n"}},
                                "@1\t12ab34CD\r\n"),
            .image = "@1\t12ab34CD\r\n"}),
        // Word items, the gap before the last filled, an unknown item's fill kept.
        CliCase{
            .name = "MemOfItems",
            .args = {"-d8", "-fmem", kInput},
            .out = split("data_width [1]: 8\noutput_format[2]: mem\n"),
            .status = 0,
            .files = with_input({{"rom_0x100_0.mem", "01\r\n00\r\n00\r\nzz\r\n"}}, "1 @3 z\r\n"),
            .image = "1 @3 z\r\n"},
        CliCase{.name = "VbOfUnknowns",
                .args = {"-d8", "-fvb", kInput},
                .out = split("data_width [1]: 8\noutput_format[2]: vb\n"),
                .status = 0,
                .files = with_input({{"rom_0x100_0.vb", "@0\t0001xxxx\r\n"}}, "@0\t1x\r\n"),
                .image = "@0\t1x\r\n"},
        // A refused item on a skipped line does not count.
        // Verilog's $readmemb and $readmemh refuse "?", which vh keeps.
        CliCase{.name = "VbRefusesAQuestionMark",
                .args = {"-d8", "-fvb", kInput},
                .out = splitting_fails("data_width [1]: 8\noutput_format[2]: vb\n",
                                       "ERR: Line 1: data 1? cannot be written as vb.\n"),
                .status = 2,
                .files = with_input({}, "@0\t1?\r\n"),
                .image = "@0\t1?\r\n"},
        CliCase{.name = "CoeAfterASkippedLine",
                .args = {"-d8", "-fcoe", kInput},
                .out = split("data_width [1]: 8\noutput_format[2]: coe\n"),
                .status = 0,
                .files = with_input({{"rom_0x100_0.coe", kCoeHead + "34;\r\n"}},
                                    "12 zz hello\r\n34\r\n"),
                .image = "12 zz hello\r\n34\r\n"},
        CliCase{.name = "CoeAddressesMustRise",
                .args = {"-fcoe", kInput},
                .out = splitting_fails("output_format[1]: coe\n",
                                       "ERR: Line 2: word 0x1 does not lie above the word before "
                                       "it.\n"),
                .status = 2,
                .files = with_input({}, "@1\t11223344\r\n@1\t55667788\r\n"),
                .image = "@1\t11223344\r\n@1\t55667788\r\n"},
        CliCase{.name = "DepthPassed",
                .args = {"-n2", kInput},
                .out = splitting_fails("memory_depth[1]: 2\n",
                                       "ERR: Line 1: word 0x1F lies past the memory's last word "
                                       "0x1.\n"),
                .status = 2,
                .files = kInputOnly},
        // A word line that the general parse reads (TABs first) is checked too.
        CliCase{.name = "MemTooFewDigits",
                .args = {"-fmem", kInput},
                .out = splitting_fails("output_format[1]: mem\n",
                                       "ERR: Line 2: data ab holds fewer than 8 digits.\n"),
                .status = 2,
                .files = with_input({}, "@0\t11223344\r\n\t@1\tab\r\n"),
                .image = "@0\t11223344\r\n\t@1\tab\r\n"},
        CliCase{.name = "MifCannotHoldX",
                .args = {"-fmif", kInput},
                .out = splitting_fails("output_format[1]: mif\n",
                                       "ERR: Line 1: data 1234x678 cannot be written as mif.\n"),
                .status = 2,
                .files = with_input({}, "@0\t1234x678\r\n"),
                .image = "@0\t1234x678\r\n"},
        // A last line without a line end is read in pieces: the message quotes its whole
        // data text, and its digits are counted before its characters are checked.
        CliCase{.name = "MifCannotHoldALastLinesCharacter",
                .args = {"-d16", "-s8", "-fmif", kInput},
                .out = splitting_fails("data_width [1]: 16\nsplit_width[2]: 8\noutput_format[3]: "
                                       "mif\n",
                                       "ERR: Line 1: data AB_D12345 cannot be written as mif.\n"),
                .status = 2,
                .files = with_input({}, "@0\tAB_D12345\x1A@1\t00"),
                .image = "@0\tAB_D12345\x1A@1\t00"},
        CliCase{.name = "MemLastLineTooFewDigitsBeforeItsCharacters",
                .args = {"-d32", "-s8", "-fmem", kInput},
                .out = splitting_fails("data_width [1]: 32\nsplit_width[2]: 8\noutput_format[3]: "
                                       "mem\n",
                                       "ERR: Line 1: data ABCD12  holds fewer than 8 digits.\n"),
                .status = 2,
                .files = with_input({}, "@0\tABCD12 "),
                .image = "@0\tABCD12 "},
        // A record a word, digits in upper case; only hexadecimal digits.
        CliCase{.name = "HexBanks",
                .args = {"-s16", "-fhex", kInput},
                .out = split("split_width[1]: 16\noutput_format[2]: hex\n"),
                .status = 0,
                .files = with_input({{"rom_0x200_1.hex", ":0200010012AB40\r\n:00000001FF\r\n"},
                                     {"rom_0x200_0.hex", ":0200010034CDFC\r\n:00000001FF\r\n"}},
                                    "@1\t12ab34CD\r\n"),
                .image = "@1\t12ab34CD\r\n"},
        // Items of a memory file, whose words go to the banks in pieces.
        CliCase{.name = "HexBanksOfItems",
                .args = {"-d8", "-fhex", kInput},
                .out = split("data_width [1]: 8\noutput_format[2]: hex\n"),
                .status = 0,
                .files = with_input({{"rom_0x100_0.hex",
                                      ":0100000001FE\r\n:01000300AB51\r\n:00000001FF\r\n"}},
                                    "1 @3 ab\r\n"),
                .image = "1 @3 ab\r\n"},
        CliCase{
            .name = "MiWithoutWords",
            .args = {"-fmi", kInput},
            .out = splitting_fails("output_format[1]: mi\n", "ERR: The image holds no words.\n"),
            .status = 2,
            .files = with_input({}, "// none\r\n"),
            .image = "// none\r\n"},
        CliCase{.name = "Unknown",
                .args = {kInput, "-f"},
                .out = naming_fails("output_format[2]: \n",
                                    "ERR: Unknown output format: \"\" (vh, "
                                    "vb, coe, mif, mem, mi or hex).\n"),
                .status = 2,
                .files = kInputOnly},
        // Word A in row A / 2 at A mod 2; the last row holds what is left of the depth.
        CliCase{.name = "BanksInRows",
                .args = {"-d16", "-n5", "-r2", "-oram", kInput},
                .out = split("data_width [1]: 16\nmemory_depth[2]: 5\nrow_depth[3]: "
                             "2\noutput_base[4]: ram\n"),
                .status = 0,
                .files = with_input({{"ram_0_1.vh", "@0\t11\r\n@1\t00\r\n"},
                                     {"ram_0_0.vh", "@0\t22\r\n@1\t00\r\n"},
                                     {"ram_1_1.vh", "@0\t00\r\n@1\t33\r\n"},
                                     {"ram_1_0.vh", "@0\t00\r\n@1\t44\r\n"},
                                     {"ram_2_1.vh", "@0\t00\r\n"},
                                     {"ram_2_0.vh", "@0\t00\r\n"}},
                                    "@0\t1122\r\n@3\t3344\r\n"),
                .image = "@0\t1122\r\n@3\t3344\r\n"},
        // A depth that is no multiple of the rows': the last row holds what is left.
        CliCase{.name = "MifBanksInRowsOfAnUnevenDepth",
                .args = {"-d16", "-s8", "-fmif", "-n6", "-r4", "-orr", kInput},
                .out = split("data_width [1]: 16\nsplit_width[2]: 8\noutput_format[3]: "
                             "mif\nmemory_depth[4]: 6\nrow_depth[5]: 4\noutput_base[6]: rr\n"),
                .status = 0,
                .files = with_input({{"rr_0_1.mif", mif(4, 8,
                                                        "0 : 11;\r\n1 : 00;\r\n2 : "
                                                        "00;\r\n3 : 00;\r\n")},
                                     {"rr_0_0.mif", mif(4, 8,
                                                        "0 : 22;\r\n1 : 00;\r\n2 : "
                                                        "00;\r\n3 : 00;\r\n")},
                                     {"rr_1_1.mif", mif(2, 8, "0 : 00;\r\n1 : 33;\r\n")},
                                     {"rr_1_0.mif", mif(2, 8, "0 : 00;\r\n1 : 44;\r\n")}},
                                    "@0\t1122\r\n@5\t3344\r\n"),
                .image = "@0\t1122\r\n@5\t3344\r\n"},
        // More rows than the banks have buffers: each row's banks, their headers and
        // trailers too, give theirs back as the next row's begin.
        CliCase{.name = "MifBanksInMoreRowsThanBuffers",
                .args = {"-d16", "-s8", "-fmif", "-n6", "-r2", "-orr", kInput},
                .out = split("data_width [1]: 16\nsplit_width[2]: 8\noutput_format[3]: "
                             "mif\nmemory_depth[4]: 6\nrow_depth[5]: 2\noutput_base[6]: rr\n"),
                .status = 0,
                .files = with_input({{"rr_0_1.mif", mif(2, 8, "0 : 11;\r\n1 : 00;\r\n")},
                                     {"rr_0_0.mif", mif(2, 8, "0 : 22;\r\n1 : 00;\r\n")},
                                     {"rr_1_1.mif", mif(2, 8, "0 : 00;\r\n1 : 00;\r\n")},
                                     {"rr_1_0.mif", mif(2, 8, "0 : 00;\r\n1 : 00;\r\n")},
                                     {"rr_2_1.mif", mif(2, 8, "0 : 00;\r\n1 : 33;\r\n")},
                                     {"rr_2_0.mif", mif(2, 8, "0 : 00;\r\n1 : 44;\r\n")}},
                                    "@0\t1122\r\n@5\t3344\r\n"),
                .image = "@0\t1122\r\n@5\t3344\r\n"},
        // Read in pieces: each bank's line has its address lead once, no TAB.
        CliCase{.name = "MifOfAWordLineLongerThanTheReadersBuffer",
                .args = {"-d16", "-s8", "-fmif", kInput},
                .out = split("data_width [1]: 16\nsplit_width[2]: 8\noutput_format[3]: mif\n"),
                .status = 0,
                .files = with_input({{"rom_0x200_1.mif", mif(2, 8, "0 : 77;\r\n1 : 34;\r\n")},
                                     {"rom_0x200_0.mif", mif(2, 8, "0 : 77;\r\n1 : 56;\r\n")}},
                                    kLongWordLine),
                .image = kLongWordLine},
        // Each bank line's address is the word line's field as written in mif: no leading
        // zeros.
        CliCase{.name = "MifAddressesInTheirWrittenForm",
                .args = {"-d16", "-s8", "-fmif", kInput},
                .out = split("data_width [1]: 16\nsplit_width[2]: 8\noutput_format[3]: mif\n"),
                .status = 0,
                .files = with_input(
                    {{"rom_0x200_1.mif", mif(3, 8, "0 : AA;\r\n1 : CC;\r\n2 : EE;\r\n")},
                     {"rom_0x200_0.mif", mif(3, 8, "0 : BB;\r\n1 : DD;\r\n2 : FF;\r\n")}},
                    "@00\tAABB\r\n@1\tCCDD\r\n@002\tEEFF"),
                .image = "@00\tAABB\r\n@1\tCCDD\r\n@002\tEEFF"},
        // Slices wider than the fixed moves: each line formed on its own.
        CliCase{.name = "MifOfWideSlices",
                .args = {"-d160", "-s80", "-fmif", kInput},
                .out = split("data_width [1]: 160\nsplit_width[2]: 80\noutput_format[3]: mif\n"),
                .status = 0,
                .files = with_input({{"rom_0x200_1.mif", mif(2, 80,
                                                             "0 : 0123456789ABCDEF0123;\r\n"
                                                             "1 : 1111111111111111111A;\r\n")},
                                     {"rom_0x200_0.mif", mif(2, 80,
                                                             "0 : 456789ABCDEF01234567;\r\n"
                                                             "1 : 2222222222222222222B;\r\n")}},
                                    "@0\t0123456789ABCDEF0123456789ABCDEF01234567\r\n"
                                    "@1\t1111111111111111111A2222222222222222222B\r\n"),
                .image = "@0\t0123456789ABCDEF0123456789ABCDEF01234567\r\n"
                         "@1\t1111111111111111111A2222222222222222222B\r\n"},
        // An x item's fill is x: here it gives every digit the bank takes.
        CliCase{.name = "MifRefusesAnItemsFillOfX",
                .args = {"-d24", "-s16", "-fmif", kInput},
                .out = splitting_fails("data_width [1]: 24\nsplit_width[2]: 16\noutput_format[3]: "
                                       "mif\n",
                                       "ERR: Line 1: data x1 cannot be written as mif.\n"),
                .status = 2,
                .files = with_input({}, "x1\r\n"),
                .image = "x1\r\n"},
        CliCase{.name = "RowsWithoutADepth",
                .args = {"-r2", kInput},
                .out = naming_fails("row_depth[1]: 2\n", "ERR: -r needs the memory depth (-n).\n"),
                .status = 2,
                .files = kInputOnly},
        CliCase{.name = "TooManyBanksInRows",
                .args = {"-n100", "-r3", kInput},
                .out = naming_fails("memory_depth[1]: 100\nrow_depth[2]: 3\n",
                                    "ERR: Too many banks: 136 (at most 127).\n"),
                .status = 2,
                .files = kInputOnly},
        CliCase{.name = "BaseNameMissing",
                .args = {kInput, "-O"},
                .out = naming_fails("output_base[2]: \n", "ERR: -o needs a base name.\n"),
                .status = 2,
                .files = kInputOnly},
        CliCase{.name = "FillByteTooLarge",
                .args = {"-P1FF", kInput},
                .out = naming_fails("fill_byte[1]: 0x1FF\n",
                                    "ERR: Invalid fill byte: 0x1FF (at most 0xFF).\n"),
                .status = 2,
                .files = kInputOnly}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// The input is written under other names and the run looks at the named files only.
struct NamedCase {
  std::string input;
  std::vector<std::string> options;
  std::string error;  // empty: the split succeeds
  std::vector<std::string> banks;
};

TEST(Marisk, NamesBankFilesFromTheInputName) {
  for (const NamedCase& c : {
           NamedCase{"rom.vh", {}, "ERR: Cannot form bank file names from \"rom.vh\".\n", {}},
           NamedCase{"0abc.vh", {}, "ERR: Cannot form bank file names from \"0abc.vh\".\n", {}},
           NamedCase{"000", {}, "ERR: Cannot form bank file names from \"000\".\n", {}},
           NamedCase{"rom_0", {}, "ERR: Cannot form bank file names from \"rom_0\".\n", {}},
           NamedCase{"rom_0...", {}, "ERR: Cannot form bank file names from \"rom_0...\".\n", {}},
           NamedCase{"rom_0x0_1.vh",
                     {"-d16", "-s8"},
                     "ERR: Bank file would replace the input file: rom_0x0_1.vh\n",
                     {}},
           NamedCase{"rom_0x100_0.vh",
                     {"-s32"},
                     "ERR: Bank file would replace the input file: rom_0x100_0.vh\n",
                     {}},
           NamedCase{"./rom_0x100_0.vh",
                     {"-s32"},
                     "ERR: Bank file would replace the input file: ./rom_0x100_0.vh\n",
                     {}},
           NamedCase{"ram_0x1F0.vh", {"-s16"}, "", {"ram_0x3e0_0.vh", "ram_0x3e0_1.vh"}},
           NamedCase{"mem01_0x100.vh",
                     {},
                     "",
                     {"mem0x4_0.vh", "mem0x4_1.vh", "mem0x4_2.vh", "mem0x4_3.vh"}},
           NamedCase{"0rom_0X10.vh", {"-d16"}, "", {"rom_0x20_0.vh", "rom_0x20_1.vh"}},
           NamedCase{
               "r_0x80000000.vh", {}, "", {"r_0x0_0.vh", "r_0x0_1.vh", "r_0x0_2.vh", "r_0x0_3.vh"}},
           NamedCase{"d0/rom_0x10.vh", {"-d16"}, "", {"d0/rom_0x20_0.vh", "d0/rom_0x20_1.vh"}},
           NamedCase{
               "dir.1/rom_0x10.vh", {"-d16"}, "", {"dir.1/rom_0x20_0.vh", "dir.1/rom_0x20_1.vh"}},
           NamedCase{"x/0rom_0x10.vh", {"-d16"}, "", {"x/rom_0x20_0.vh", "x/rom_0x20_1.vh"}},
           // On Linux a back slash is part of the name: these files are in the folder itself.
           NamedCase{"d0\\rom_0x10.vh", {"-d16"}, "", {"d0\\rom_0x20_0.vh", "d0\\rom_0x20_1.vh"}},
           NamedCase{"x\\0rom_0x10.vh", {"-d16"}, "", {"x\\rom_0x20_0.vh", "x\\rom_0x20_1.vh"}},
       }) {
    test::TempDir dir;
    for (const char* sub : {"d0", "dir.1", "x"}) fs::create_directory(dir.path() / sub);
    test::write_file(dir.path() / c.input, kImage);
    std::vector<std::string> args = c.options;
    args.push_back(c.input);
    const auto result = test::run_program(MARISK_PATH, args, dir.path());
    std::string scan;
    for (std::size_t i = 0; i < c.options.size(); ++i) {
      scan += (c.options[i][1] == 'd' ? "data_width [" : "split_width[") + std::to_string(i + 1) +
              "]: " + c.options[i].substr(2) + "\n";
    }
    EXPECT_EQ(result.out, c.error.empty() ? split(scan) : naming_fails(scan, c.error)) << c.input;
    EXPECT_EQ(result.status, c.error.empty() ? 0 : 2) << c.input;
    EXPECT_EQ(test::read_file(dir.path() / c.input), kImage) << c.input;
    std::size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
      files += entry.is_regular_file();
    }
    EXPECT_EQ(files, 1 + c.banks.size()) << c.input;
    for (const std::string& bank : c.banks) EXPECT_TRUE(fs::exists(dir.path() / bank)) << bank;
  }
}

TEST(Marisk, EmptyInputGivesEmptyBankFiles) {
  test::TempDir dir;
  test::write_file(dir.path() / "e_0x1.vh", "");
  const auto result = test::run_program(MARISK_PATH, {"-s16", "e_0x1.vh"}, dir.path());
  EXPECT_EQ(result.out, split("split_width[1]: 16\n"));
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(folder_files(dir.path()),
            (Files{{"e_0x1.vh", ""}, {"e_0x2_0.vh", ""}, {"e_0x2_1.vh", ""}}));
}

TEST(Marisk, ReportsABankFileThatCannotBeOpenedAndWritesNoBank) {
  test::TempDir dir;
  test::write_file(dir.path() / kInput, kImage);
  fs::create_directory(dir.path() / "rom_0x400_2.vh");
  const auto result = test::run_program(MARISK_PATH, {kInput}, dir.path());
  EXPECT_EQ(result.out, kBanner + kChecked + kNamed + "\ndata processing\t\t-\tFile I/O error.\n");
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(folder_files(dir.path()), kInputOnly);
}

TEST(Marisk, ExaminesLongArgumentsWholeAtAnyPosition) {
  test::TempDir dir;
  const std::string folder(200, 'd');
  fs::create_directory(dir.path() / folder);
  const std::string input = folder + "/" + std::string(100, 'n') + "_0x1.vh";
  test::write_file(dir.path() / input, "@0\tABCD\n");
  std::vector<std::string> args(299, "-eM");
  args.push_back(input);
  args.push_back("-s" + std::string(300, ' ') + "16");
  const auto result = test::run_program(MARISK_PATH, args, dir.path());
  std::string scan;
  for (int i = 1; i <= 299; ++i) scan += "BigEndian word format[" + std::to_string(i) + "]\n";
  EXPECT_EQ(result.out, split(scan + "split_width[301]: 16\n"));
  EXPECT_EQ(test::read_file(dir.path() / folder / (std::string(100, 'n') + "_0x2_1.vh")),
            "@0\tABCD\r\n");
}

}  // namespace
