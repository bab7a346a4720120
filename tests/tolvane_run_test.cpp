// Runs tolvane's command lines and compares everything it prints, its exit status and
// the files it leaves: in-process on files in memory, and the built program in a
// temporary folder where real files matter.

#include "tolvane_run.hpp"

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

const std::string kBanner = "\ntext 2 vh conversion utility.\nversion 1.0.0 (2.09.08) \n\n";
const std::string kScan = "\narguments processing\n";
const std::string kCheck = "done\n\ninput files check\n";
const std::string kDone = "done\n\ninput files processing\ndone\n\nprocessing complete!\n";
// A whole run's end where the crop dropped input, as the line says.
std::string cropped(const std::string& line) {
  return "done\n\ninput files processing\n" + line + "done\n\nprocessing complete!\n";
}
const std::string kHelp =
    "Converts text byte data 2 VerilogHex format\n"
    "\nUSAGE: \n"
    "\ttolvane.exe [option] <input file> [option]\n"
    "\noptions: \n"
    "\t-d##\t\tDefines data_width. By default data_width=16 \n\t\t\t(valid values 8, 16, 32)\n"
    "\t-m\t\tDefines big-endian format (MSB 1st - default)\n"
    "\t-l\t\tDefines little-endian format (LSB 1st)\n"
    "\t-b\t\tDefines binary input (each byte of the file is one data byte)\n"
    "\t-x\t\tDefines Intel HEX input (each record's bytes at its address)\n"
    "\t-e\t\tDefines ELF input (each loadable segment at its physical address)\n"
    "\t-s\t\tDefines S-record input (each record's bytes at its address)\n"
    "\t-a##\t\tDefines the byte address of the memory's first byte (hex, for -x, -e and "
    "-s)\n"
    "\t-n##\t\tDefines the memory depth in words (every word written, missing ones as 0)\n"
    "\t-f##\t\tDefines the output format: vh (default), vb, coe, mif, mem, mi or hex\n"
    "\t-o##\t\tDefines the output file name (default: the input's stem and the format's "
    "extension)\n"
    "\t-p##\t\tDefines the fill byte for words and bytes no input gives (hex, default 00)\n"
    "\t-c\t\tDrops input bytes outside the memory instead of refusing them\n"
    "\t-q\t\tPrints only errors\n";
const std::string kRom = "12\n34\nab\ncd";
// Intel HEX: three bytes from address 1, six from 0x10, the end.
const std::string kHex = ":03000100AABBCCCB\n:06001000010203040506D5\n:00000001FF\n";
// Under 04 bases 0x8000 and 0x8001, a 05 record between, then text after the end.
const std::string kHexBases =
    ":0200000480007A\r\n:020002001122C9 \t\r\n\n:040000058000000176\n:02000004800179\n"
    ":0100000033CC\n:00000001FF\ngarbage\n";
// Under a 02 base of 0x1000: two bytes at 0x1FFFE, then a 03 record.
const std::string kHexSegment = ":020000021000EC\n:02FFFE00445568\n:0400000300000000F9\n";

// A little-endian 32-bit ELF file whose program header table holds a loadable segment
// for each entry: its physical address, its bytes (after the table) and the size its
// header gives them, where that is another.
struct ElfSegment {
  std::uint32_t address;
  std::string bytes;
  std::uint32_t size = 0xFFFFFFFF;
};
std::string elf32(const std::vector<ElfSegment>& segments) {
  const auto put = [](std::string& to, std::size_t at, std::uint32_t value, int bytes) {
    for (int k = 0; k < bytes; ++k) to[at + k] = static_cast<char>(value >> (8 * k));
  };
  std::string file(52 + 32 * segments.size(), '\0');
  file.replace(0, 6,
               "\x7F"
               "ELF\x01\x01");
  put(file, 0x1C, 52, 4);
  put(file, 0x2A, 32, 2);
  put(file, 0x2C, static_cast<std::uint32_t>(segments.size()), 2);
  for (std::size_t i = 0; i < segments.size(); ++i) {
    const ElfSegment& segment = segments[i];
    const std::size_t entry = 52 + 32 * i;
    put(file, entry, 1, 4);
    put(file, entry + 4, static_cast<std::uint32_t>(file.size()), 4);
    put(file, entry + 8, segment.address + 0x1000, 4);  // run from RAM, loaded from ROM
    put(file, entry + 12, segment.address, 4);
    const auto size = segment.size != 0xFFFFFFFF ? segment.size
                                                 : static_cast<std::uint32_t>(segment.bytes.size());
    put(file, entry + 16, size, 4);
    put(file, entry + 20, size + 8, 4);  // more in memory than in the file
    file += segment.bytes;
  }
  return file;
}
// A little-endian 64-bit ELF file with its program header table and one loadable
// segment's bytes at the offsets given, each past the file's end where so large.
std::string elf64(std::uint64_t table, std::uint64_t offset) {
  const auto put = [](std::string& to, std::size_t at, std::uint64_t value, int bytes) {
    for (int k = 0; k < bytes; ++k) to[at + k] = static_cast<char>(value >> (8 * k));
  };
  std::string file(64 + 56, '\0');
  file.replace(0, 6,
               "\x7F"
               "ELF\x02\x01");
  put(file, 0x20, table, 8);
  put(file, 0x36, 56, 2);
  put(file, 0x38, 1, 2);
  put(file, 64, 1, 4);
  put(file, 64 + 8, offset, 8);
  put(file, 64 + 32, 2, 8);
  return file + "\x11\x22";
}
const std::string kElf = elf32({{0x10, "\xAA\xBB"}, {0x0, "\x11\x22\x33\x44"}});
const std::string kElfProcessing = "done\n\ninput files processing\n";

// What a run prints when the scan prints scan_messages and the check ends with ending.
std::string printed(const std::string& scan_messages, const std::string& ending) {
  return kBanner + kScan + scan_messages + kCheck + ending;
}

struct CliCase {
  const char* name;
  std::vector<std::string> args;
  std::string out;
  int status;
  std::vector<std::string> files;  // the folder's files afterwards; rom.txt is there before
  std::string vh;                  // the output's bytes, when it is among the files
  bool also_as_program = false;    // runs the built program too
  std::string input = kRom;        // rom.txt's bytes
  std::string err = "";            // what goes to standard error
  std::map<std::string, std::string> others = {};  // more input files and their bytes
  friend void PrintTo(const CliCase& c, std::ostream* os) { *os << c.name; }
};

class TolvaneRun : public testing::TestWithParam<CliCase> {};

// Every row runs in-process on files in memory; those made by this run the built
// program too.
CliCase as_program(CliCase c) {
  c.also_as_program = true;
  return c;
}

CliCase reading(std::string input, CliCase c) {
  c.input = std::move(input);
  return c;
}

CliCase erring(std::string err, CliCase c) {
  c.err = std::move(err);
  return c;
}

CliCase with_inputs(std::map<std::string, std::string> others, CliCase c) {
  c.others = std::move(others);
  return c;
}

TEST_P(TolvaneRun, PrintsExitsAndWritesExactly) {
  const CliCase& run = GetParam();
  test::MemoryFileSystem files;
  files.files["rom.txt"] = {run.input};
  for (const auto& [name, bytes] : run.others) files.files[name] = {bytes};
  test::MemoryConsole console;
  EXPECT_EQ(converter::run(std::vector<std::string_view>(run.args.begin(), run.args.end()), console,
                           files),
            run.status);
  EXPECT_EQ(console.out_text, run.out);
  EXPECT_EQ(console.err_text, run.err);
  std::vector<std::string> names;
  for (const auto& [name, file] : files.files) names.push_back(name);
  EXPECT_EQ(names, run.files);
  for (const auto& [name, file] : files.files) {
    if (run.others.contains(name)) {
      EXPECT_EQ(file.bytes, run.others.at(name)) << name;
    } else if (name != "rom.txt") {
      EXPECT_EQ(file.bytes, run.vh) << name;
    }
  }
  EXPECT_EQ(files.files["rom.txt"].bytes, run.input);

  if (!run.also_as_program) return;
  test::TempDir dir;
  test::write_file(dir.path() / "rom.txt", run.input);
  for (const auto& [name, bytes] : run.others) test::write_file(dir.path() / name, bytes);
  const auto result = test::run_program(TOLVANE_PATH, run.args, dir.path());
  EXPECT_EQ(result.out, run.out);
  EXPECT_EQ(result.err, run.err);
  EXPECT_EQ(result.status, run.status);
  EXPECT_EQ(test::list_files(dir.path()), run.files);
  for (const std::string& name : test::list_files(dir.path())) {
    if (run.others.contains(name)) {
      EXPECT_EQ(test::read_file(dir.path() / name), run.others.at(name)) << name;
    } else if (name != "rom.txt") {
      EXPECT_EQ(test::read_file(dir.path() / name), run.vh) << name;
    }
  }
}

// A byte list of count bytes, each its line's number's low bits, "0x5A\r\n" a line or
// one digit and LF ("a\n"), and its 8-bit mif: word lines past the block they are moved
// in where the depth has another number of digits than the input's size foretold.
CliCase moving_mif(const char* name, int count, bool one_digit) {
  std::string input;
  std::string mif =
      "DEPTH = " + std::to_string(count) +
      ";\r\nWIDTH = 8;\r\nADDRESS_RADIX = HEX;\r\nDATA_RADIX = HEX;\r\nCONTENT\r\nBEGIN\r\n";
  char line[24];
  for (int i = 0; i < count; ++i) {
    const int byte = i & (one_digit ? 0xF : 0xFF);
    if (one_digit) {
      std::snprintf(line, sizeof line, "%x\n", byte);
    } else {
      std::snprintf(line, sizeof line, "0x%02X\r\n", byte);
    }
    input += line;
    std::snprintf(line, sizeof line, "%X : %02X;\r\n", i, byte);
    mif += line;
  }
  return as_program(
      reading(input, CliCase{name,
                             {"-d8", "-fmif", "rom.txt"},
                             printed("data_width [1]: 8\noutput_format [2]: mif\n", kDone),
                             0,
                             {"rom.mif", "rom.txt"},
                             mif + "END;\r\n"}));
}

const std::vector<std::string> kInputOnly = {"rom.txt"};
const std::vector<std::string> kBoth = {"rom.txt", "rom.vh"};

INSTANTIATE_TEST_SUITE_P(
    Cases, TolvaneRun,
    testing::Values(
        as_program(CliCase{"FormatCoeFilled",
                           {"-d32", "-fcoe", "-pFF", "rom.txt"},
                           printed("data_width [1]: 32\noutput_format [2]: coe\nfill_byte [3]: "
                                   "0xFF\n",
                                   kDone),
                           0,
                           {"rom.coe", "rom.txt"},
                           "memory_initialization_radix=16;\r\nmemory_initialization_vector=\r\n"
                           "1234ABCD,\r\nEFFFFFFF;\r\n",
                           false,
                           "12\n34\nab\ncd\nef"}),
        CliCase{"FormatMifNamedWithADepth",
                {"-d16", "-l", "-fmif", "-n4", "-oimage.hex", "rom.txt"},
                printed("data_width [1]: 16\noutput_format [3]: mif\nmemory_depth [4]: "
                        "4\noutput_file [5]: image.hex\n",
                        kDone),
                0,
                {"image.hex", "rom.txt"},
                "DEPTH = 4;\r\nWIDTH = 16;\r\nADDRESS_RADIX = HEX;\r\nDATA_RADIX = "
                "HEX;\r\nCONTENT\r\nBEGIN\r\n0 : 3412;\r\n1 : CDAB;\r\n2 : 0000;\r\n3 : "
                "0000;\r\nEND;\r\n"},
        // The header names the depth only known at the end.
        as_program(CliCase{"FormatMiWaitsForItsDepth",
                           {"-fmi", "rom.txt"},
                           printed("output_format [1]: mi\n", kDone),
                           0,
                           {"rom.mi", "rom.txt"},
                           "#File_format=Hex\r\n#Address_depth=2\r\n#Data_width=16\r\n1234\r\n"
                           "ABCD\r\n"}),
        // "0x5A\r\n" foretells more words than 9000 lines give, "5\n" fewer than 12000.
        moving_mif("FormatMifMovesItsLinesDown", 9000, false),
        moving_mif("FormatMifMovesItsLinesUp", 12000, true),
        // Bytes a record does not give and words no record reaches take the fill byte.
        reading(kHex, CliCase{"FormatMemFillsGaps",
                              {"-x", "-d32", "-fmem", "-p0x5a", "rom.txt"},
                              printed("data_width [2]: 32\noutput_format [3]: mem\nfill_byte "
                                      "[4]: 0x5A\n",
                                      kDone),
                              0,
                              {"rom.mem", "rom.txt"},
                              "5AAABBCC\r\n5A5A5A5A\r\n5A5A5A5A\r\n5A5A5A5A\r\n01020304\r\n"
                              "05065A5A\r\n"}),
        // Word-addressed Intel HEX: a record a word, its address the word's.
        reading(kHex, CliCase{"FormatHexOfWords",
                              {"-x", "-d32", "-fhex", "rom.txt"},
                              printed("data_width [2]: 32\noutput_format [3]: hex\n", kDone),
                              0,
                              {"rom.hex", "rom.txt"},
                              ":0400000000AABBCCCB\r\n:0400040001020304EE\r\n"
                              ":0400050005060000EC\r\n:00000001FF\r\n"}),
        // No 04 record before word 0xFFFF; one exactly at word 0x10000.
        reading(":02FFFF00AABB9B\n",
                CliCase{"FormatHexAcross64KWords",
                        {"-x", "-d8", "-fhex", "rom.txt"},
                        printed("data_width [2]: 8\noutput_format [3]: hex\n", kDone),
                        0,
                        {"rom.hex", "rom.txt"},
                        ":01FFFF00AA57\r\n:020000040001F9\r\n:01000000BB44\r\n:00000001FF\r\n"}),
        CliCase{"FormatHexWordsTooWide",
                {"-d2048", "-fhex", "rom.txt"},
                printed("data_width [1]: 2048\noutput_format [2]: hex\n",
                        "ERR: Words of 2048 bits do not fit a hex record (at most 2040).\n"),
                2,
                kInputOnly,
                ""},
        CliCase{"FormatVb",
                {"-d8", "-fvb", "rom.txt"},
                printed("data_width [1]: 8\noutput_format [2]: vb\n", kDone),
                0,
                {"rom.txt", "rom.vb"},
                "@0\t00010010\r\n@1\t00110100\r\n@2\t10101011\r\n@3\t11001101\r\n"},
        CliCase{"FormatUnknown",
                {"-fVH", "rom.txt"},
                printed("output_format [1]: VH\n",
                        "ERR: Unknown output format: \"VH\" (vh, vb, coe, mif, mem, mi or hex).\n"),
                2,
                kInputOnly,
                ""},
        // Given last, -o has no value to take: its echo stands at its own position.
        CliCase{"OutputNameMissing",
                {"rom.txt", "-o"},
                printed("output_file [2]: \n", "ERR: -o needs a file name.\n"),
                2,
                kInputOnly,
                ""},
        CliCase{
            "FillByteTooLarge",
            {"-p100", "rom.txt"},
            printed("fill_byte [1]: 0x100\n", "ERR: Invalid fill byte: 0x100 (at most 0xFF).\n"),
            2,
            kInputOnly,
            ""},
        reading("", CliCase{"FormatDenseWithoutWords",
                            {"-fcoe", "rom.txt"},
                            printed("output_format [1]: coe\n",
                                    "done\n\ninput files processing\nERR: The image holds no "
                                    "words.\n"),
                            2,
                            kInputOnly,
                            ""}),
        as_program(CliCase{
            "NoArguments",
            {},
            kBanner + "ERR: Invalid parameter string.\nType \"tolvane -h\" to get help.\n",
            0,
            kInputOnly,
            ""}),
        CliCase{"Default", {"rom.txt"}, printed("", kDone), 0, kBoth, "@0\t1234\r\n@1\tABCD\r\n"},
        as_program(CliCase{"Width32",
                           {"-d32", "rom.txt"},
                           printed("data_width [1]: 32\n", kDone),
                           0,
                           kBoth,
                           "@0\t1234ABCD\r\n"}),
        CliCase{"Width8Little",
                {"rom.txt", "-d8", "-l"},
                printed("data_width [2]: 8\n", kDone),
                0,
                kBoth,
                "@0\t12\r\n@1\t34\r\n@2\tAB\r\n@3\tCD\r\n"},
        CliCase{"LittleThenBig",
                {"-l", "-m", "rom.txt"},
                printed("", kDone),
                0,
                kBoth,
                "@0\t1234\r\n@1\tABCD\r\n"},
        CliCase{"LsbActsAsL",
                {"-lsb", "rom.txt"},
                printed("", kDone),
                0,
                kBoth,
                "@0\t3412\r\n@1\tCDAB\r\n"},
        CliCase{"LastWidthCounts",
                {"-d8", "-d32", "rom.txt"},
                printed("data_width [1]: 8\ndata_width [2]: 32\n", kDone),
                0,
                kBoth,
                "@0\t1234ABCD\r\n"},
        CliCase{"WideWidthTakenWhole",
                {"-d264", "rom.txt"},
                printed("data_width [1]: 264\n", kDone),
                0,
                kBoth,
                "@0\t1234ABCD" + std::string(58, '0') + "\r\n"},
        as_program(CliCase{"Width4096",
                           {"-d4096", "-l", "rom.txt"},
                           printed("data_width [1]: 4096\n", kDone),
                           0,
                           kBoth,
                           "@0\t" + std::string(1016, '0') + "CDAB3412\r\n"}),
        CliCase{
            "WidthPast4096",
            {"-d5000", "rom.txt"},
            printed("data_width [1]: 5000\n", "ERR: Invalid data_width: 5000 (at most 4096).\n"),
            2,
            kInputOnly,
            ""},
        // Past 32 bits the value wraps: 2^32 + 8 is 8.
        CliCase{"WidthWrapsPast32Bits",
                {"-d4294967304", "rom.txt"},
                printed("data_width [1]: 8\n", kDone),
                0,
                kBoth,
                "@0\t12\r\n@1\t34\r\n@2\tAB\r\n@3\tCD\r\n"},
        // Every digit counts, 9 too.
        CliCase{"Width96",
                {"-d96", "rom.txt"},
                printed("data_width [1]: 96\n", kDone),
                0,
                kBoth,
                "@0\t1234ABCD0000000000000000\r\n"},
        CliCase{"Width9",
                {"-d9", "rom.txt"},
                printed("data_width [1]: 9\n", kDone),
                0,
                kBoth,
                "@0\t12\r\n@1\t34\r\n@2\tAB\r\n@3\tCD\r\n"},
        CliCase{"NegativeWidth",
                {"-d-8", "-d+ 32", "-d 32", "rom.txt"},
                printed("data_width [1]: 248\ndata_width [2]: 0\ndata_width [3]: 32\n", kDone),
                0,
                kBoth,
                "@0\t1234ABCD\r\n"},
        // "12\n34\nab\ncd" as bytes: its digits and its LF bytes are the data.
        as_program(CliCase{"Binary",
                           {"-d32", "-b", "rom.txt"},
                           printed("data_width [1]: 32\n", kDone),
                           0,
                           kBoth,
                           "@0\t31320A33\r\n@1\t340A6162\r\n@2\t0A636400\r\n"}),
        CliCase{"BinaryLittleLongLetter",
                {"-bin", "-l", "rom.txt"},
                printed("", kDone),
                0,
                kBoth,
                "@0\t3231\r\n@1\t330A\r\n@2\t0A34\r\n@3\t6261\r\n@4\t630A\r\n@5\t0064\r\n"},
        CliCase{"UpperCaseBIsUnknown",
                {"-B", "rom.txt"},
                printed("ERR: Invalid paremeter [1]: \n", kDone),
                0,
                kBoth,
                "@0\t1234\r\n@1\tABCD\r\n"},
        erring("tolvane: missing.bin: No such file or directory\n",
               as_program(CliCase{"BinaryMissingInput",
                                  {"-b", "missing.bin"},
                                  printed("", "File I/O error.\n"),
                                  2,
                                  kInputOnly,
                                  ""})),
        // A value after a space, each echo at the value's position; "0x" makes -n hexadecimal.
        as_program(CliCase{
            "ValuesAfterASpace",
            {"-d32", "-o", "out.coe", "-f", "coe", "-p", "FF", "-n", "0x3", "rom.txt"},
            printed("data_width [1]: 32\noutput_file [3]: out.coe\noutput_format "
                    "[5]: coe\nfill_byte [7]: 0xFF\nmemory_depth [9]: 3\n",
                    kDone),
            0,
            {"out.coe", "rom.txt"},
            "memory_initialization_radix=16;\r\nmemory_initialization_vector=\r\n"
            "1234ABCD,\r\nFFFFFFFF,\r\nFFFFFFFF;\r\n"}),
        // The next argument is the value whatever it is: a file named "-q", and no quiet.
        CliCase{"ValueThatLooksLikeAnOption",
                {"-o", "-q", "rom.txt"},
                printed("output_file [2]: -q\n", kDone),
                0,
                {"-q", "rom.txt"},
                "@0\t1234\r\n@1\tABCD\r\n"},
        // Quiet: only errors, wherever -q stands, and the help where it is asked for.
        CliCase{"QuietRun", {"rom.txt", "-d32", "-q"}, "", 0, kBoth, "@0\t1234ABCD\r\n"},
        CliCase{"QuietRefusal",
                {"-qx", "-y", "-d4", "rom.txt"},
                "ERR: Invalid paremeter [2]: \nERR: Invalid data_width: 4 (at least 8).\n",
                2,
                kInputOnly,
                ""},
        erring(
            "tolvane: missing.txt: No such file or directory\n",
            CliCase{
                "QuietFileError", {"-q", "missing.txt"}, "File I/O error.\n", 2, kInputOnly, ""}),
        CliCase{"QuietHelp", {"-h", "-q"}, kHelp, 0, kInputOnly, ""},
        CliCase{"UnknownOption",
                {"rom.txt", "-y"},
                printed("ERR: Invalid paremeter [2]: \n", kDone),
                0,
                kBoth,
                "@0\t1234\r\n@1\tABCD\r\n"},
        CliCase{"DashAloneAndUpperCase",
                {"-", "-D32", "rom.txt"},
                printed("ERR: Invalid paremeter [1]: \nERR: Invalid paremeter [2]: \n", kDone),
                0,
                kBoth,
                "@0\t1234\r\n@1\tABCD\r\n"},
        as_program(CliCase{"Help",
                           {"-d32", "-h", "rom.txt"},
                           kBanner + kScan + "data_width [1]: 32\n" + kHelp,
                           0,
                           kInputOnly,
                           ""}),
        CliCase{"HelpAfterInput",
                {"missing.txt", "-hx", "a", "b"},
                kBanner + kScan + kHelp,
                0,
                kInputOnly,
                ""},
        as_program(CliCase{
            "LongHelp", {"--help", "rom.txt"}, kBanner + kScan + kHelp, 0, kInputOnly, ""}),
        // Intel HEX: gaps in the byte addresses are gaps in the word addresses, and the
        // bytes of a written word that no record gives are 0x00.
        as_program(reading(kHex, CliCase{"IntelHex",
                                         {"-x", "-d32", "rom.txt"},
                                         printed("data_width [2]: 32\n", kDone),
                                         0,
                                         kBoth,
                                         "@0\t00AABBCC\r\n@4\t01020304\r\n@5\t05060000\r\n"})),
        reading(kHex, CliCase{"IntelHexLittle",
                              {"-xyz", "-d32", "-l", "rom.txt"},
                              printed("data_width [2]: 32\n", kDone),
                              0,
                              kBoth,
                              "@0\tCCBBAA00\r\n@4\t04030201\r\n@5\t00000605\r\n"}),
        reading(kHex, CliCase{"IntelHexDepth",
                              {"-x", "-n12", "rom.txt"},
                              printed("memory_depth [2]: 12\n", kDone),
                              0,
                              kBoth,
                              "@0\t00AA\r\n@1\tBBCC\r\n@2\t0000\r\n@3\t0000\r\n@4\t0000\r\n"
                              "@5\t0000\r\n@6\t0000\r\n@7\t0000\r\n@8\t0102\r\n@9\t0304\r\n"
                              "@A\t0506\r\n@B\t0000\r\n"}),
        // Segments in address order, whatever the table's; cropped below the first address.
        reading(kElf, CliCase{"ElfSegments",
                              {"-e", "-d32", "rom.txt"},
                              printed("data_width [2]: 32\n", kDone),
                              0,
                              kBoth,
                              "@0\t11223344\r\n@4\tAABB0000\r\n"}),
        reading(kElf, CliCase{"ElfCroppedBelowTheFirstAddress",
                              {"-e", "-c", "-a4", "-d32", "-pEE", "rom.txt"},
                              printed("base_address [3]: 0x4\ndata_width [4]: 32\nfill_byte [5]: "
                                      "0xEE\n",
                                      cropped("cropped: 4 bytes outside the memory\n")),
                              0,
                              kBoth,
                              "@3\tAABBEEEE\r\n"}),
        reading(kElf, CliCase{"ElfBelowTheFirstAddress",
                              {"-e", "-a4", "rom.txt"},
                              printed("base_address [2]: 0x4\n",
                                      kElfProcessing + "ERR: ELF segment 1: address 0x0 lies "
                                                       "below the memory's first address.\n"),
                              2,
                              kInputOnly,
                              ""}),
        reading("\x7F"
                "ELF\x03\x01",
                CliCase{"ElfNotOne",
                        {"-e", "rom.txt"},
                        printed("", kElfProcessing + "ERR: Not an ELF file.\n"),
                        2,
                        kInputOnly,
                        ""}),
        reading(elf32({{0x0, "\x11\x22\x33\x44"}, {0x2, "\x55"}}),
                CliCase{"ElfSegmentsOverlap",
                        {"-e", "rom.txt"},
                        printed("", kElfProcessing + "ERR: ELF segments 0 and 1 overlap.\n"),
                        2,
                        kInputOnly,
                        ""}),
        reading(elf32({{0x0, "\x11", 2}}),
                CliCase{"ElfSegmentPastTheFilesEnd",
                        {"-e", "rom.txt"},
                        printed("", kElfProcessing + "ERR: ELF segment 0 lies past the file's "
                                                     "end.\n"),
                        2,
                        kInputOnly,
                        ""}),
        reading(elf32({{0xFFFFFFFE, "\x11\x22\x33"}}),
                CliCase{"ElfSegmentPast4GiB",
                        {"-e", "rom.txt"},
                        printed("", kElfProcessing + "ERR: ELF segment 0 lies past 4 GiB.\n"),
                        2,
                        kInputOnly,
                        ""}),
        reading(elf64(64, 1ULL << 63),
                CliCase{"Elf64SegmentPastEveryFilesEnd",
                        {"-e", "rom.txt"},
                        printed("", kElfProcessing + "ERR: ELF segment 0 lies past the file's "
                                                     "end.\n"),
                        2,
                        kInputOnly,
                        ""}),
        reading(elf64(~0ULL - 55, 120),
                CliCase{"Elf64TablePastEveryFilesEnd",
                        {"-e", "rom.txt"},
                        printed("", kElfProcessing + "ERR: Not an ELF file.\n"),
                        2,
                        kInputOnly,
                        ""}),
        reading(elf64(64, 120), CliCase{"Elf64Segment",
                                        {"-e", "-d8", "rom.txt"},
                                        printed("data_width [2]: 8\n", kDone),
                                        0,
                                        kBoth,
                                        "@0\t11\r\n@1\t22\r\n"}),
        // Segments that touch; one with no bytes in the file (.bss) below -a is ignored.
        reading(elf32({{0x8, "\x55\x66"}, {0x0, "", 0}, {0x6, "\x33\x44"}}),
                CliCase{"ElfSegmentsTouch",
                        {"-e", "-a6", "-d16", "rom.txt"},
                        printed("base_address [2]: 0x6\ndata_width [3]: 16\n", kDone),
                        0,
                        kBoth,
                        "@0\t3344\r\n@1\t5566\r\n"}),
        // A segment and an Intel HEX record across the depth keep their bytes below it.
        reading(elf32({{0x0, "\x11\x22\x33\x44\x55\x66"}}),
                CliCase{"ElfCroppedAtTheDepth",
                        {"-e", "-c", "-d32", "-n1", "rom.txt"},
                        printed("data_width [3]: 32\nmemory_depth [4]: 1\n",
                                cropped("cropped: 2 bytes outside the memory\n")),
                        0,
                        kBoth,
                        "@0\t11223344\r\n"}),
        reading(kHex, CliCase{"IntelHexCroppedAtTheDepth",
                              {"-x", "-c", "-d32", "-n5", "rom.txt"},
                              printed("data_width [3]: 32\nmemory_depth [4]: 5\n",
                                      cropped("cropped: 2 bytes outside the memory\n")),
                              0,
                              kBoth,
                              "@0\t00AABBCC\r\n@1\t00000000\r\n@2\t00000000\r\n@3\t"
                              "00000000\r\n@4\t01020304\r\n"}),
        // Every byte outside: refused before a dense image is found empty.
        reading(kElf, CliCase{"ElfEveryByteCropped",
                              {"-e", "-c", "-a100", "-fmem", "rom.txt"},
                              printed("base_address [3]: 0x100\noutput_format [4]: mem\n",
                                      "done\n\ninput files processing\nERR: Every input byte lies "
                                      "outside the memory.\n"),
                              2,
                              kInputOnly,
                              ""}),
        // A binary input that goes on past the depth, and one that ends at it.
        reading("\x11\x22\x33", CliCase{"BinaryCroppedAtTheDepth",
                                        {"-b", "-c", "-d16", "-n1", "rom.txt"},
                                        printed("data_width [3]: 16\nmemory_depth [4]: 1\n",
                                                cropped("cropped: the input past word 0x0\n")),
                                        0,
                                        kBoth,
                                        "@0\t1122\r\n"}),
        reading("\x11\x22\x33\x44\x55",
                CliCase{"BinaryCroppedWithWordsPastTheDepth",
                        {"-b", "-c", "-d16", "-n1", "rom.txt"},
                        printed("data_width [3]: 16\nmemory_depth [4]: 1\n",
                                cropped("cropped: the input past word 0x0\n")),
                        0,
                        kBoth,
                        "@0\t1122\r\n"}),
        reading("\x11\x22", CliCase{"BinaryEndingAtTheDepth",
                                    {"-b", "-c", "-d16", "-n1", "rom.txt"},
                                    printed("data_width [3]: 16\nmemory_depth [4]: 1\n", kDone),
                                    0,
                                    kBoth,
                                    "@0\t1122\r\n"}),
        reading("1\n2\n3\n4", CliCase{"ByteListEndingAtTheDepth",
                                      {"-c", "-d16", "-n2", "rom.txt"},
                                      printed("data_width [2]: 16\nmemory_depth [3]: 2\n", kDone),
                                      0,
                                      kBoth,
                                      "@0\t0102\r\n@1\t0304\r\n"}),
        // Cropped at the depth: a byte list stops at the first byte past it.
        reading("1\n2\n3\n4\n5\nzz\n",
                CliCase{"ByteListCroppedAtTheDepth",
                        {"-c", "-d16", "-n2", "rom.txt"},
                        printed("data_width [2]: 16\nmemory_depth [3]: 2\n",
                                cropped("cropped: the input past word 0x1\n")),
                        0,
                        kBoth,
                        "@0\t0102\r\n@1\t0304\r\n"}),
        as_program(reading(kHex, CliCase{"IntelHexPastTheDepth",
                                         {"-x", "-n10", "rom.txt"},
                                         printed("memory_depth [2]: 10\n",
                                                 "done\n\ninput files processing\nERR: The image "
                                                 "does not fit the memory: word 0xA lies past its "
                                                 "last word 0x9.\n"),
                                         2,
                                         kInputOnly,
                                         ""})),
        // -a before -x is fine; the last -a counts.
        reading(kHexBases,
                CliCase{"IntelHexLinearBases",
                        {"-a1", "-a0x80000000", "-x", "rom.txt"},
                        printed("base_address [1]: 0x1\nbase_address [2]: 0x80000000\n", kDone),
                        0,
                        kBoth,
                        "@1\t1122\r\n@8000\t3300\r\n"}),
        reading(kHexSegment, CliCase{"IntelHexSegmentBase",
                                     {"-x", "-d8", "rom.txt"},
                                     printed("data_width [2]: 8\n", kDone),
                                     0,
                                     kBoth,
                                     "@1FFFE\t44\r\n@1FFFF\t55\r\n"}),
        reading(kHexBases, CliCase{"IntelHexBelowTheFirstAddress",
                                   {"-x", "-a80000003", "rom.txt"},
                                   printed("base_address [2]: 0x80000003\n",
                                           "done\n\ninput files processing\nERR: Intel HEX line "
                                           "2: address 0x80000002 lies below the memory's first "
                                           "address.\n"),
                                   2,
                                   kInputOnly,
                                   ""}),
        reading(":0100100001EE\n:0100080002F5\n",
                CliCase{"IntelHexBelowAnEarlierEnd",
                        {"-x", "rom.txt"},
                        printed("",
                                "done\n\ninput files processing\nERR: Intel HEX line 2: "
                                "address 0x8 lies below an earlier record's end.\n"),
                        2,
                        kInputOnly,
                        ""}),
        reading(":0100100001EE\n\n:0100080002F4\n",
                CliCase{"IntelHexWrongChecksum",
                        {"-x", "rom.txt"},
                        printed("",
                                "done\n\ninput files processing\nERR: Intel HEX line 3: "
                                "wrong checksum.\n"),
                        2,
                        kInputOnly,
                        ""}),
        reading(":00000006FA\n",
                CliCase{"IntelHexUnknownType",
                        {"-x", "rom.txt"},
                        printed("",
                                "done\n\ninput files processing\nERR: Intel HEX line 1: "
                                "unknown record type 06.\n"),
                        2,
                        kInputOnly,
                        ""}),
        reading(" :00000001FF\n",
                CliCase{"IntelHexBlankBeforeTheColon",
                        {"-x", "rom.txt"},
                        printed("",
                                "done\n\ninput files processing\nERR: Intel HEX line 1: "
                                "not a record.\n"),
                        2,
                        kInputOnly,
                        ""}),
        // S-records: their refusals name their lines as S-record lines.
        reading("S104001001EA\nS401FE\n",
                CliCase{"SRecordOfUnknownType",
                        {"-s", "rom.txt"},
                        printed("",
                                "done\n\ninput files processing\nERR: S-record line 2: "
                                "unknown record type 4.\n"),
                        2,
                        kInputOnly,
                        ""}),
        reading("S104001001EA\nS1030020DC\nS5030003F9\n",
                CliCase{"SRecordCount",
                        {"-s", "rom.txt"},
                        printed("",
                                "done\n\ninput files processing\nERR: S-record line 3: "
                                "count 3, but 2 data records before it.\n"),
                        2,
                        kInputOnly,
                        ""}),
        reading("S104001001EA\n",
                CliCase{"SRecordBelowTheFirstAddress",
                        {"-sx", "-a20", "rom.txt"},
                        printed("base_address [2]: 0x20\n",
                                "done\n\ninput files processing\nERR: S-record line 1: "
                                "address 0x10 lies below the memory's first address.\n"),
                        2,
                        kInputOnly,
                        ""}),
        reading("\nS1", CliCase{"SRecordNotARecord",
                                {"-s", "rom.txt"},
                                printed("",
                                        "done\n\ninput files processing\nERR: S-record line "
                                        "2: not a record.\n"),
                                2,
                                kInputOnly,
                                ""}),
        // Several addressed inputs make one image, read side by side in address order.
        with_inputs({{"b.hex", ":02000400334483\n:02000C007788F3\n"}},
                    reading(":020000001122CB\n:0200080055663B\n",
                            CliCase{"TwoInputsInterleaved",
                                    {"-x", "rom.txt", "b.hex"},
                                    printed("", kDone),
                                    0,
                                    {"b.hex", "rom.txt", "rom.vh"},
                                    "@0\t1122\r\n@2\t3344\r\n@4\t5566\r\n@6\t7788\r\n"})),
        // Records that touch; an input that ends while another goes on.
        with_inputs({{"b.hex", ":02000200CCDD53\n"}, {"c.hex", ":020004001234B4\n"}},
                    reading(":02000000AABB99\n:02001000EEFF01\n",
                            CliCase{"ThreeInputs",
                                    {"b.hex", "-x", "c.hex", "rom.txt", "-orom.vh"},
                                    printed("output_file [5]: rom.vh\n", kDone),
                                    0,
                                    {"b.hex", "c.hex", "rom.txt", "rom.vh"},
                                    "@0\tAABB\r\n@1\tCCDD\r\n@2\t1234\r\n@8\tEEFF\r\n"})),
        with_inputs({{"b.hex", ":0100020044B9\n"}},
                    reading(":0300000011223397\n",
                            CliCase{"InputsOverlapByOneByte",
                                    {"-x", "b.hex", "rom.txt"},
                                    printed("",
                                            "done\n\ninput files processing\nERR: rom.txt and "
                                            "b.hex overlap at address 0x2.\n"),
                                    2,
                                    {"b.hex", "rom.txt"},
                                    ""})),
        // Records are joined only below the other input's next record: the overlap comes
        // before the line that is no record.
        with_inputs({{"b.hex", ":010003007785\n"}},
                    reading(":020000001122CB\n:02000200334485\n:0200040055663F\n:zz\n",
                            CliCase{"OverlapBeforeALaterBadLine",
                                    {"-x", "rom.txt", "b.hex"},
                                    printed("",
                                            "done\n\ninput files processing\nERR: rom.txt and "
                                            "b.hex overlap at address 0x3.\n"),
                                    2,
                                    {"b.hex", "rom.txt"},
                                    ""})),
        with_inputs({{"b.hex", ":02000400334483\n:02000C007788F4\n"}},
                    reading(":020000001122CB\n",
                            CliCase{"RefusalNamesItsInput",
                                    {"-x", "rom.txt", "b.hex"},
                                    printed("",
                                            "done\n\ninput files processing\nERR: b.hex: "
                                            "Intel HEX line 2: wrong checksum.\n"),
                                    2,
                                    {"b.hex", "rom.txt"},
                                    ""})),
        // The kind is looked up past -h: two inputs are no error before the help.
        with_inputs({{"b.hex", ""}}, CliCase{"HelpWithTwoInputs",
                                             {"rom.txt", "b.hex", "-h", "-x"},
                                             kBanner + kScan + kHelp,
                                             0,
                                             {"b.hex", "rom.txt"},
                                             ""}),
        with_inputs({{"b.elf",
                      "\x7F"
                      "ELF"}},
                    reading(kElf, CliCase{"SecondElfNotAnElfFile",
                                          {"-e", "rom.txt", "b.elf"},
                                          printed("",
                                                  "done\n\ninput files processing\nERR: "
                                                  "b.elf: Not an ELF file.\n"),
                                          2,
                                          {"b.elf", "rom.txt"},
                                          ""})),
        // Every input is opened in the check.
        erring("tolvane: missing.hex: No such file or directory\n",
               reading(":020000001122CB\n", CliCase{"SecondInputMissing",
                                                    {"-x", "rom.txt", "missing.hex"},
                                                    printed("", "File I/O error.\n"),
                                                    2,
                                                    kInputOnly,
                                                    ""})),
        with_inputs({{"b.txt", "01\n"}},
                    CliCase{"TwoByteListsStillRefused",
                            {"rom.txt", "b.txt"},
                            kBanner + kScan + "ERR: Input file already defined [1]: rom.txt\n",
                            2,
                            {"b.txt", "rom.txt"},
                            ""}),
        // The last of -b and -x counts.
        reading(kHex, CliCase{"IntelHexAfterBinary",
                              {"-b", "-x", "-d32", "rom.txt"},
                              printed("data_width [3]: 32\n", kDone),
                              0,
                              kBoth,
                              "@0\t00AABBCC\r\n@4\t01020304\r\n@5\t05060000\r\n"}),
        CliCase{"UpperCaseXIsUnknown",
                {"-X", "-d32", "rom.txt"},
                printed("ERR: Invalid paremeter [1]: \ndata_width [2]: 32\n", kDone),
                0,
                kBoth,
                "@0\t1234ABCD\r\n"},
        as_program(CliCase{
            "FirstAddressWithoutIntelHex",
            {"-x", "-a0", "-b", "rom.txt"},
            printed("base_address [2]: 0x0\n", "ERR: -a needs addressed input (-x, -e or -s).\n"),
            2,
            kInputOnly,
            ""}),
        // A depth for byte lists and binary input alike: zeros to its end, or a refusal.
        CliCase{"ByteListDepth",
                {"-n3", "rom.txt"},
                printed("memory_depth [1]: 3\n", kDone),
                0,
                kBoth,
                "@0\t1234\r\n@1\tABCD\r\n@2\t0000\r\n"},
        CliCase{"ByteListPastTheDepth",
                {"-d8", "-n3", "rom.txt"},
                printed("data_width [1]: 8\nmemory_depth [2]: 3\n",
                        "done\n\ninput files processing\nERR: The image does not fit the "
                        "memory: word 0x3 lies past its last word 0x2.\n"),
                2,
                kInputOnly,
                ""},
        CliCase{"BinaryDepth",
                {"-b", "-d32", "-n2", "-n4", "rom.txt"},
                printed("data_width [2]: 32\nmemory_depth [3]: 2\nmemory_depth [4]: 4\n", kDone),
                0,
                kBoth,
                "@0\t31320A33\r\n@1\t340A6162\r\n@2\t0A636400\r\n@3\t00000000\r\n"},
        CliCase{"BinaryPastTheDepth",
                {"-b", "-d32", "-n2", "rom.txt"},
                printed("data_width [2]: 32\nmemory_depth [3]: 2\n",
                        "done\n\ninput files processing\nERR: The image does not fit the "
                        "memory: word 0x2 lies past its last word 0x1.\n"),
                2,
                kInputOnly,
                ""},
        as_program(CliCase{"SecondInput",
                           {"rom.txt", "-l", "other.txt"},
                           kBanner + kScan + "ERR: Input file already defined [1]: rom.txt\n",
                           2,
                           kInputOnly,
                           ""}),
        CliCase{"NoInput",
                {"-d32"},
                printed("data_width [1]: 32\n", "ERR: Input file undefined.\n"),
                2,
                kInputOnly,
                ""},
        erring("tolvane: missing.txt: No such file or directory\n",
               as_program(CliCase{"MissingInput",
                                  {"missing.txt"},
                                  printed("", "File I/O error.\n"),
                                  2,
                                  kInputOnly,
                                  ""})),

        CliCase{"WidthBelow8",
                {"-d4", "rom.txt"},
                printed("data_width [1]: 4\n", "ERR: Invalid data_width: 4 (at least 8).\n"),
                2,
                kInputOnly,
                ""},
        CliCase{"Width256",
                {"-d256", "rom.txt"},
                printed("data_width [1]: 256\n", kDone),
                0,
                kBoth,
                "@0\t1234ABCD" + std::string(56, '0') + "\r\n"},
        // 2^32 - 256 is negative as a signed number: its low 8 bits, 0, count.
        CliCase{"NegativeWideWidthIsCut",
                {"-d4294967040", "rom.txt"},
                printed("data_width [1]: 0\n", "ERR: Invalid data_width: 0 (at least 8).\n"),
                2,
                kInputOnly,
                ""},
        CliCase{"BareWidth",
                {"-d", "rom.txt"},
                printed("data_width [1]: 0\n", "ERR: Invalid data_width: 0 (at least 8).\n"),
                2,
                kInputOnly,
                ""},
        CliCase{"HexWidth",
                {"-d0x20", "rom.txt"},
                printed("data_width [1]: 0\n", "ERR: Invalid data_width: 0 (at least 8).\n"),
                2,
                kInputOnly,
                ""},
        CliCase{"WidthCheckedBeforeOpen",
                {"-d7", "missing"},
                printed("data_width [1]: 7\n", "ERR: Invalid data_width: 7 (at least 8).\n"),
                2,
                kInputOnly,
                ""},
        CliCase{"NoStem",
                {"..."},
                printed("", "ERR: Cannot form output file name from \"...\".\n"),
                2,
                kInputOnly,
                ""},
        CliCase{"EmptyName",
                {""},
                printed("", "ERR: Cannot form output file name from \"\".\n"),
                2,
                kInputOnly,
                ""},
        CliCase{"DirectoryInput",
                {"."},
                printed("", "ERR: Cannot form output file name from \".\".\n"),
                2,
                kInputOnly,
                ""}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// A compiler's bare-metal firmware: code in ROM at 0x0800_0000, data and zeros (more in
// memory than in the file) in RAM at 0x2000_0000. Its ELF file gives the image that
// objcopy's Intel HEX of it gives, each cut out of the whole with -c.
TEST(Tolvane, ReadsACompilersElfFileAsObjcopysIntelHexOfIt) {
  test::TempDir dir;
  test::write_file(dir.path() / "fw.c",
                   "const unsigned table[4] = {0x11223344, 0x55667788, 0x99aabbcc, 1};\n"
                   "unsigned counter = 7;\nunsigned zeros[16];\n"
                   "void _start(void) { counter += table[1] + zeros[2]; for (;;) {} }\n");
  test::write_file(dir.path() / "fw.ld",
                   "MEMORY { ROM : ORIGIN = 0x08000000, LENGTH = 64K\n"
                   "  RAM : ORIGIN = 0x20000000, LENGTH = 16K }\n"
                   "SECTIONS { .text : { *(.text*) *(.rodata*) } > ROM\n"
                   "  .data : { *(.data*) } > RAM  .bss : { *(.bss*) *(COMMON) } > RAM }\n");
  const auto built = test::run_program(
      "/bin/sh",
      {"-c",
       "aarch64-linux-gnu-gcc -O1 -nostdlib -ffreestanding -fno-pic -static "
       "-Wl,--build-id=none -T fw.ld -o fw.elf fw.c && objcopy -O ihex fw.elf fw.hex"},
      dir.path());
  ASSERT_EQ(built.status, 0) << built.err;
  for (const std::string memory : {"-a8000000", "-a20000000"}) {
    for (const char* kind : {"-e", "-x"}) {
      const std::string input = kind == std::string("-e") ? "fw.elf" : "fw.hex";
      const auto run = test::run_program(
          TOLVANE_PATH, {kind, "-d32", "-c", "-n256", memory, input, "-o" + input + ".vh"},
          dir.path());
      ASSERT_EQ(run.status, 0) << run.out;
    }
    EXPECT_EQ(test::read_file(dir.path() / "fw.elf.vh"), test::read_file(dir.path() / "fw.hex.vh"))
        << memory;
    EXPECT_NE(test::read_file(dir.path() / "fw.elf.vh").find("@0\t"), std::string::npos) << memory;
  }
}

// S-records as the general tools write them, at 16-, 24- and 32-bit addresses and with
// a count, give the image of the same bytes as binary input.
TEST(Tolvane, ReadsSRecordsAsTheGeneralToolsWriteThem) {
  test::TempDir dir;
  std::string bytes;
  for (int i = 0; i < 3000; ++i) bytes += static_cast<char>(i * 13 + i / 7);
  test::write_file(dir.path() / "fw.bin", bytes);
  ASSERT_EQ(test::run_program(TOLVANE_PATH, {"-b", "-d8", "fw.bin"}, dir.path()).status, 0);
  const std::string binary = test::read_file(dir.path() / "fw.vh");
  struct Case {
    std::string command;
    std::string first_address;
    char count_type;  // the count record it holds, or 0
  };
  for (const Case& c : {
           Case{"objcopy -I binary -O srec --change-addresses=0x1200 fw.bin fw.srec", "-a1200", 0},
           Case{"objcopy -I binary -O srec --change-addresses=0x123400 fw.bin fw.srec", "-a123400",
                0},
           Case{"objcopy -I binary -O srec --change-addresses=0x12345600 fw.bin fw.srec",
                "-a12345600", 0},
           Case{"srec_cat fw.bin -binary -offset 0x1200 -o fw.srec -address-length=2", "-a1200",
                '5'},
       }) {
    SCOPED_TRACE(c.command);
    const auto made = test::run_program("/bin/sh", {"-c", c.command}, dir.path());
    ASSERT_EQ(made.status, 0) << made.err;
    if (c.count_type != 0) {
      EXPECT_NE(test::read_file(dir.path() / "fw.srec").find(std::string("\nS") + c.count_type),
                std::string::npos);
    }
    const auto run = test::run_program(
        TOLVANE_PATH, {"-s", "-q", "-d8", c.first_address, "fw.srec", "-o", "s.vh"}, dir.path());
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(test::read_file(dir.path() / "s.vh"), binary);
  }
}

// Intel HEX of bytes (-d8) across 64 KiB, as objcopy reads it back.
TEST(Tolvane, WritesIntelHexThatObjcopyReadsBack) {
  test::TempDir dir;
  std::string bytes;
  for (int i = 0; i < 70000; ++i) bytes += static_cast<char>(i * 7 + i / 251);
  test::write_file(dir.path() / "fw.bin", bytes);
  ASSERT_EQ(test::run_program(TOLVANE_PATH, {"-b", "-d8", "-fhex", "fw.bin"}, dir.path()).status,
            0);
  const auto read_back = test::run_program(
      "/usr/bin/objcopy", {"-I", "ihex", "-O", "binary", "fw.hex", "back.bin"}, dir.path());
  ASSERT_EQ(read_back.status, 0) << read_back.err;
  EXPECT_EQ(test::read_file(dir.path() / "back.bin"), bytes);
}

TEST(Tolvane, RefusesToReplaceItsInput) {
  test::TempDir dir;
  const std::string image = "@0\t1234\r\n";
  test::write_file(dir.path() / "rom.vh", image);
  fs::create_directory(dir.path() / "sub");
  for (const std::string name : {"rom.vh", "./rom.vh", "sub/../rom.vh"}) {
    const auto result = test::run_program(TOLVANE_PATH, {name}, dir.path());
    EXPECT_EQ(result.out,
              printed("", "ERR: Output file would replace the input file: " + name + "\n"));
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(test::read_file(dir.path() / "rom.vh"), image);
  }
  // The same file under a second name, through a link.
  fs::create_symlink("rom.vh", dir.path() / "link.txt");
  fs::create_symlink("rom.vh", dir.path() / "link.vh");
  const auto result = test::run_program(TOLVANE_PATH, {"link.txt"}, dir.path());
  EXPECT_EQ(result.out, printed("", "ERR: Output file would replace the input file: link.vh\n"));
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(test::read_file(dir.path() / "rom.vh"), image);
}

TEST(Tolvane, WritesNextToTheInput) {
  struct Case {
    std::string input;
    std::string output;
  };
  // A back slash is an ordinary character of a Linux name: "proj\rom.txt" is a file in
  // the current folder, and so is its output.
  for (const Case& c :
       {Case{"./rom.txt", "rom.vh"}, Case{"sub/.x.y", "sub/x.vh"},
        Case{"dir.1/rom.txt", "dir.1/rom.vh"}, Case{"a.b.c", "a.vh"}, Case{"rom", "rom.vh"},
        Case{"proj\\rom.txt", "proj\\rom.vh"}, Case{"..\\dir\\rom.txt", "..\\dir\\rom.vh"},
        Case{"sub/a\\.b.txt", "sub/a\\b.vh"}}) {
    test::TempDir dir;
    fs::create_directory(dir.path() / "sub");
    fs::create_directory(dir.path() / "dir.1");
    test::write_file(dir.path() / c.input, "ff\n");
    const auto result = test::run_program(TOLVANE_PATH, {"-d8", c.input}, dir.path());
    EXPECT_EQ(result.out, printed("data_width [1]: 8\n", kDone)) << c.input;
    EXPECT_EQ(test::read_file(dir.path() / c.output), "@0\tFF\r\n") << c.input;
    std::size_t files = 0;  // the input and the output, nothing hidden left
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
      files += entry.is_regular_file();
    }
    EXPECT_EQ(files, 2u) << c.input;
  }
}

TEST(Tolvane, EmptyInputGivesAnEmptyImage) {
  test::TempDir dir;
  test::write_file(dir.path() / "e.txt", "");
  // A last argument that reads as a byte must not reach the output.
  const auto result = test::run_program(TOLVANE_PATH, {"e.txt", "-mff"}, dir.path());
  EXPECT_EQ(result.out, printed("", kDone));
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(test::read_file(dir.path() / "e.vh"), "");
}

TEST(Tolvane, RefusesADirectoryAsInput) {
  test::TempDir dir;
  fs::create_directory(dir.path() / "data.txt");
  const auto result = test::run_program(TOLVANE_PATH, {"data.txt"}, dir.path());
  EXPECT_EQ(result.out, printed("", "File I/O error.\n"));
  EXPECT_EQ(result.status, 2);
  EXPECT_FALSE(fs::exists(dir.path() / "data.vh"));
}

TEST(Tolvane, ReportsAFullDiskInsteadOfDone) {
  test::TempDir dir;
  test::write_file(dir.path() / "rom.txt", kRom);
  fs::create_symlink("/dev/full", dir.path() / "rom.vh");
  const auto result = test::run_program(TOLVANE_PATH, {"rom.txt"}, dir.path());
  EXPECT_EQ(result.out, printed("", "done\n\ninput files processing\nFile I/O error.\n"));
  EXPECT_EQ(result.status, 2);
}

TEST(Tolvane, ExaminesLongArgumentsWholeAtAnyPosition) {
  test::TempDir dir;
  const std::string folder(200, 'd');
  std::string long_name = folder;  // in steps, which g++'s bounds check reads right
  long_name += '/';
  long_name.append(100, 'n');
  long_name += ".txt";
  fs::create_directory(dir.path() / folder);
  test::write_file(dir.path() / long_name, "1\n");
  std::vector<std::string> args(299, "-m");
  args.push_back(long_name);
  args.push_back("-y");
  std::string width = "-d";  // in steps, which g++'s bounds check reads right
  width.append(400, ' ');
  width += '8';
  args.push_back(width);
  auto result = test::run_program(TOLVANE_PATH, args, dir.path());
  EXPECT_EQ(result.out, printed("ERR: Invalid paremeter [301]: \ndata_width [302]: 8\n", kDone));
  std::string image_name(100, 'n');  // in steps, which g++'s bounds check reads right
  image_name += ".vh";
  EXPECT_EQ(test::read_file(dir.path() / folder / image_name), "@0\t01\r\n");

  args.push_back("second");
  result = test::run_program(TOLVANE_PATH, args, dir.path());
  EXPECT_EQ(result.out, kBanner + kScan + "ERR: Invalid paremeter [301]: \ndata_width [302]: 8\n" +
                            "ERR: Input file already defined [300]: " + long_name + "\n");
  EXPECT_EQ(result.status, 2);
}

}  // namespace
