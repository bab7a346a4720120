// Loads the tools' images with $readmemh in Icarus Verilog, in Verilator and, as an FPGA
// flow loads them into block RAM, in Yosys, and compares every word with the words
// computed here from the bytes.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "test_programs.hpp"

namespace {

namespace fs = std::filesystem;

enum class Kind { icarus, verilator, yosys };

const char* kind_name(Kind kind) {
  return kind == Kind::icarus ? "Icarus" : kind == Kind::verilator ? "Verilator" : "Yosys";
}

void PrintTo(Kind kind, std::ostream* os) { *os << kind_name(kind); }

// How a word that the image does not set shows: X in Icarus Verilog and Yosys, 0 in
// two-state Verilator.
std::string unset_word(Kind kind, int width) {
  return std::string(static_cast<std::size_t>(width / 4), kind == Kind::verilator ? '0' : 'x');
}

// The memory's initial contents as synthesis sees them: Yosys reads the image into a
// ROM, and after "proc; memory_collect" the memory cell's INIT holds every word, the
// last word's bits first. In lower-case hex, "x" for a word that is not set.
std::vector<std::string> synthesised_words(int width, const fs::path& image, std::size_t depth) {
  const fs::path dir = image.parent_path();
  test::write_file(dir / "rom.v",
                   "module rom(input [15:0] addr, output [" + std::to_string(width - 1) +
                       ":0] data);\n  reg [" + std::to_string(width - 1) +
                       ":0] mem [0:" + std::to_string(depth - 1) + "];\n  initial $readmemh(\"" +
                       image.string() + "\", mem);\n  assign data = mem[addr];\nendmodule\n");
  const auto run = test::run_program(
      YOSYS_PATH, {"-q", "-p", "read_verilog rom.v; proc; memory_collect; write_json rom.json"},
      dir);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  const std::string json = test::read_file(dir / "rom.json");
  const std::size_t key = json.find("\"INIT\": \"");
  if (key == std::string::npos) {
    ADD_FAILURE() << "no INIT in " << json;
    return {};
  }
  const std::string bits = json.substr(key + 9, json.find('"', key + 9) - (key + 9));
  EXPECT_EQ(bits.size(), depth * static_cast<std::size_t>(width));
  std::vector<std::string> words;
  for (std::size_t i = 0; i < depth && bits.size() == depth * width; ++i) {
    const std::string word = bits.substr((depth - 1 - i) * width, width);
    std::string hex;
    for (std::size_t nibble = 0; nibble < word.size(); nibble += 4) {
      const std::string four = word.substr(nibble, 4);
      if (four.find('x') != std::string::npos) {
        hex += 'x';
        continue;
      }
      hex += "0123456789abcdef"[std::stoi(four, nullptr, 2)];
    }
    words.push_back(hex);
  }
  return words;
}

class Simulator : public testing::TestWithParam<Kind> {
 protected:
  static void TearDownTestSuite() { compiled_.clear(); }

  void SetUp() override {
    const Kind kind = GetParam();
    ASSERT_FALSE(std::string(kind == Kind::icarus      ? IVERILOG_PATH
                             : kind == Kind::verilator ? VERILATOR_PATH
                                                       : YOSYS_PATH)
                     .empty())
        << "the simulator was not found when the build was configured: install the iverilog, "
           "verilator and yosys packages";
  }

  // The testbench for the width. Compiling one (Verilator's above all) takes longer than
  // the loads, and every test runs in a process of its own: each is built once into a
  // cache that every build of the project shares, named after the testbench's text, and
  // put there whole by a rename so that tests running at once never see half of one.
  static std::string testbench(Kind kind, int width) {
    std::string& program = compiled_[{kind, width}];
    if (!program.empty()) return program;
    const std::string bench = test::read_file(TESTBENCH);
    const std::string name = std::string(kind == Kind::icarus ? "icarus" : "verilator") +
                             std::to_string(width) + "-" +
                             std::to_string(std::hash<std::string>{}(bench));
    const fs::path cache = SIMULATOR_CACHE;
    const fs::path dir = cache / name;
    const fs::path built = dir / (kind == Kind::icarus ? "tb.vvp" : "obj/Vreadmem_tb");
    if (!fs::exists(built)) {
      fs::create_directories(cache);
      const fs::path work = cache / (name + ".building." + std::to_string(getpid()));
      fs::remove_all(work);
      fs::create_directory(work);
      const std::string parameter = std::to_string(width);
      const auto compiled =
          kind == Kind::icarus
              ? test::run_program(IVERILOG_PATH,
                                  {"-P", "readmem_tb.W=" + parameter, "-o", "tb.vvp", TESTBENCH},
                                  work)
              : test::run_program(VERILATOR_PATH,
                                  {"--binary", "-Wno-fatal", "-Wno-lint", "-Wno-style",
                                   "--x-assign", "0", "--x-initial", "0", "-GW=" + parameter,
                                   "--top-module", "readmem_tb", "-Mdir", "obj", TESTBENCH},
                                  work);
      EXPECT_EQ(compiled.status, 0) << compiled.out << compiled.err;
      std::error_code taken;  // another test may have put one there first: it is as good
      if (compiled.status == 0) fs::rename(work, dir, taken);
      if (compiled.status != 0 || taken) fs::remove_all(work);
    }
    program = built.string();
    return program;
  }

  // The words $readmemh loads from the image, in lower-case hex; the entry after the
  // last must be unset (X in Icarus Verilog, 0 in two-state Verilator), so it is checked
  // here and not returned.
  static std::vector<std::string> load(int width, const fs::path& image, std::size_t words,
                                       bool binary = false) {
    const Kind kind = GetParam();
    if (kind == Kind::yosys) {
      auto loaded = synthesised_words(width, image, words + 1);
      if (loaded.size() != words + 1) return {};
      EXPECT_EQ(loaded.back(), unset_word(kind, width)) << "a word beyond the image";
      loaded.pop_back();
      return loaded;
    }
    const std::string program = testbench(kind, width);
    std::vector<std::string> plusargs = {"+file=" + image.string(),
                                         "+words=" + std::to_string(words)};
    if (binary) plusargs.push_back("+binary");
    std::vector<std::string> icarus_args = {"-n", program};
    icarus_args.insert(icarus_args.end(), plusargs.begin(), plusargs.end());
    const auto run = kind == Kind::icarus
                         ? test::run_program(VVP_PATH, icarus_args, image.parent_path())
                         : test::run_program(program, plusargs, image.parent_path());
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> loaded;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("W ", 0) == 0) loaded.push_back(line.substr(2));
    }
    EXPECT_EQ(loaded.size(), words + 1) << run.out;
    if (loaded.size() != words + 1) return {};
    EXPECT_EQ(loaded.back(), unset_word(kind, width)) << "a word beyond the image";
    loaded.pop_back();
    return loaded;
  }

  // The words of a kilobit memory put back together from its sixteen 64-bit banks
  // wide_0x10_15.vh (the leftmost slice) to wide_0x10_0.vh.
  static std::vector<std::string> kilobit_words_from_banks(const fs::path& dir, std::size_t words) {
    std::vector<std::string> rebuilt(words);
    for (int slice = 0; slice < 16; ++slice) {
      const auto loaded =
          load(64, dir / ("wide_0x10_" + std::to_string(15 - slice) + ".vh"), words);
      EXPECT_EQ(loaded.size(), words);
      if (loaded.size() != words) return {};
      for (std::size_t i = 0; i < words; ++i) rebuilt[i] += loaded[i];
    }
    return rebuilt;
  }

  static inline std::map<std::pair<Kind, int>, std::string> compiled_;
};

std::vector<unsigned> random_bytes(std::size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<unsigned> bytes(count);
  for (unsigned& byte : bytes) byte = random() & 0xFF;
  return bytes;
}

std::string byte_list(const std::vector<unsigned>& bytes) {
  std::string text;
  char line[8];
  for (const unsigned byte : bytes) {
    std::snprintf(line, sizeof line, "%02x\n", byte);
    text += line;
  }
  return text;
}

// The words of the given width the bytes make, padded with zero bytes, in lower-case hex.
std::vector<std::string> expected_words(std::vector<unsigned> bytes, int width, bool big_endian) {
  const std::size_t per_word = static_cast<std::size_t>(width / 8);
  bytes.resize((bytes.size() + per_word - 1) / per_word * per_word, 0);
  std::vector<std::string> words;
  char digits[4];
  for (std::size_t start = 0; start < bytes.size(); start += per_word) {
    std::string word;
    for (std::size_t k = 0; k < per_word; ++k) {
      std::snprintf(digits, sizeof digits, "%02x",
                    bytes[start + (big_endian ? k : per_word - 1 - k)]);
      word += digits;
    }
    words.push_back(word);
  }
  return words;
}

TEST_P(Simulator, LoadsConvertedImagesWordForWord) {
  test::TempDir dir;
  for (const int width : {8, 16, 32, 64}) {
    for (const std::size_t count : {std::size_t{3000}, std::size_t{3001}, std::size_t{3003}}) {
      const auto bytes = random_bytes(count, static_cast<unsigned>(count + width));
      test::write_file(dir.path() / "bytes.txt", byte_list(bytes));
      test::write_file(dir.path() / "bytes.bin", std::string(bytes.begin(), bytes.end()));
      for (const bool big_endian : {true, false}) {
        // The same bytes as a binary file, at one width.
        for (const bool binary : {false, true}) {
          if (binary && width != 32) continue;
          SCOPED_TRACE("width " + std::to_string(width) + ", " + std::to_string(count) +
                       " bytes, " + (big_endian ? "-m" : "-l") + (binary ? " -b" : ""));
          const auto run =
              test::run_program(TOLVANE_PATH,
                                {"-d" + std::to_string(width), binary ? "-b" : "-m",
                                 big_endian ? "-m" : "-l", binary ? "bytes.bin" : "bytes.txt"},
                                dir.path());
          ASSERT_EQ(run.status, 0) << run.out;
          const auto expected = expected_words(bytes, width, big_endian);
          EXPECT_EQ(load(width, dir.path() / "bytes.vh", expected.size()), expected);
        }
      }
    }
  }
}

// One word a line without addresses, and the words in binary digits.
TEST_P(Simulator, LoadsMemImagesAndVbImagesWithReadmemb) {
  if (GetParam() == Kind::yosys) GTEST_SKIP() << "the ROM is read with $readmemh only";
  test::TempDir dir;
  const auto bytes = random_bytes(3001, 17);
  test::write_file(dir.path() / "bytes.txt", byte_list(bytes));
  const auto expected = expected_words(bytes, 32, true);
  for (const char* format : {"mem", "vb"}) {
    SCOPED_TRACE(format);
    const auto run = test::run_program(
        TOLVANE_PATH, {"-d32", std::string("-f") + format, "bytes.txt"}, dir.path());
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(load(32, dir.path() / ("bytes." + std::string(format)), expected.size(),
                   format == std::string("vb")),
              expected);
  }
}

TEST_P(Simulator, LoadsSplitBanksThatPutBackTheWords) {
  test::TempDir dir;
  const auto bytes = random_bytes(4002, 11);
  test::write_file(dir.path() / "bytes.txt", byte_list(bytes));
  ASSERT_EQ(test::run_program(TOLVANE_PATH, {"-d32", "bytes.txt"}, dir.path()).status, 0);
  fs::rename(dir.path() / "bytes.vh", dir.path() / "img_0x100.vh");
  const auto words = expected_words(bytes, 32, true);

  for (const int bank_width : {8, 16}) {
    for (const bool big_endian : {true, false}) {
      SCOPED_TRACE(std::to_string(bank_width) + "-bit banks, " + (big_endian ? "-eM" : "-eL"));
      const auto run = test::run_program(
          MARISK_PATH,
          {"-s" + std::to_string(bank_width), big_endian ? "-eM" : "-eL", "img_0x100.vh"},
          dir.path());
      ASSERT_EQ(run.status, 0) << run.out;
      const int banks = 32 / bank_width;
      const std::string base = "img_0x" + std::string(banks == 4 ? "400" : "200");
      std::vector<std::string> rebuilt(words.size());
      for (int slice = 0; slice < banks; ++slice) {
        const int bank = big_endian ? banks - 1 - slice : slice;
        const auto loaded = load(
            bank_width, dir.path() / (base + "_" + std::to_string(bank) + ".vh"), words.size());
        ASSERT_EQ(loaded.size(), words.size());
        for (std::size_t i = 0; i < words.size(); ++i) rebuilt[i] += loaded[i];
      }
      EXPECT_EQ(rebuilt, words);
    }
  }
}

// A memory a kilobit wide over sixteen 64-bit banks: its word lines hold 256 digits.
TEST_P(Simulator, LoadsBanksOfAKilobitWideMemory) {
  test::TempDir dir;
  const auto words = expected_words(random_bytes(128 * 40, 12), 1024, true);
  std::string image;
  char address[24];
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::snprintf(address, sizeof address, "@%zX\t", i);
    image += address + words[i] + "\r\n";
  }
  test::write_file(dir.path() / "wide_0x1.vh", image);
  const auto run = test::run_program(MARISK_PATH, {"-d1024", "-s64", "wide_0x1.vh"}, dir.path());
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(kilobit_words_from_banks(dir.path(), words.size()), words);
}

// A memory of 2 x 4 chips: two rows of four byte banks, each chip half the depth, put
// back together word for word.
TEST_P(Simulator, LoadsAMemoryOfChipsInRowsAndColumns) {
  test::TempDir dir;
  const auto bytes = random_bytes(4 * 2000, 19);
  test::write_file(dir.path() / "bytes.txt", byte_list(bytes));
  ASSERT_EQ(test::run_program(TOLVANE_PATH, {"-d32", "bytes.txt"}, dir.path()).status, 0);
  const auto run =
      test::run_program(MARISK_PATH, {"-n2000", "-r1000", "-oram", "bytes.vh"}, dir.path());
  ASSERT_EQ(run.status, 0) << run.out;
  std::vector<std::string> rebuilt;
  for (int row = 0; row < 2; ++row) {
    std::vector<std::string> words(1000);
    for (int bank = 3; bank >= 0; --bank) {  // the leftmost byte in bank 3
      const auto loaded =
          load(8, dir.path() / ("ram_" + std::to_string(row) + "_" + std::to_string(bank) + ".vh"),
               1000);
      ASSERT_EQ(loaded.size(), 1000u);
      for (std::size_t i = 0; i < 1000; ++i) words[i] += loaded[i];
    }
    rebuilt.insert(rebuilt.end(), words.begin(), words.end());
  }
  EXPECT_EQ(rebuilt, expected_words(bytes, 32, true));
}

// Banks of an image whose addresses jump: the words between stay unset in every bank.
TEST_P(Simulator, LoadsBanksWithAddressGaps) {
  test::TempDir dir;
  test::write_file(dir.path() / "img_0x100.vh",
                   "@0\t00112233\r\n@1\tDEADBEEF\r\n@5\tCAFEF00D\r\n@8\t01234567\r\n");
  for (const bool big_endian : {true, false}) {
    SCOPED_TRACE(big_endian ? "-eM" : "-eL");
    const auto run = test::run_program(
        MARISK_PATH, {"-s16", big_endian ? "-eM" : "-eL", "img_0x100.vh"}, dir.path());
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string unset = unset_word(GetParam(), 16);
    const std::vector<std::string> high = {"0011", "dead", unset, unset, unset,
                                           "cafe", unset,  unset, "0123"};
    const std::vector<std::string> low = {"2233", "beef", unset, unset, unset,
                                          "f00d", unset,  unset, "4567"};
    EXPECT_EQ(load(16, dir.path() / (big_endian ? "img_0x200_1.vh" : "img_0x200_0.vh"), 9), high);
    EXPECT_EQ(load(16, dir.path() / (big_endian ? "img_0x200_0.vh" : "img_0x200_1.vh"), 9), low);
  }
}

// Firmware as a compiler's tool chain hands it out: an ELF file with code at 0x8000_0000
// and data at 0x8000_0100, turned into Intel HEX by objcopy, for a RAM whose word 0 is
// the byte at 0x8000_0000. Without a depth the words between stay unset; with one they
// are zero.
TEST_P(Simulator, LoadsFirmwareFromIntelHexWithAGap) {
  test::TempDir dir;
  const auto code = random_bytes(40, 21);
  const auto data = random_bytes(24, 22);
  test::write_file(dir.path() / "code.bin", std::string(code.begin(), code.end()));
  test::write_file(dir.path() / "data.bin", std::string(data.begin(), data.end()));
  for (const std::vector<std::string>& step :
       {std::vector<std::string>{"-I", "binary", "-O", "elf32-i386", "-B", "i386",
                                 "--change-section-address", ".data=0x80000000", "code.bin",
                                 "fw.o"},
        std::vector<std::string>{"--add-section", ".rodata=data.bin", "--set-section-flags",
                                 ".rodata=alloc,load,contents,readonly", "--change-section-address",
                                 ".rodata=0x80000100", "fw.o", "fw.elf"},
        std::vector<std::string>{"-O", "ihex", "fw.elf", "fw.hex"}}) {
    const auto made = test::run_program("/usr/bin/objcopy", step, dir.path());
    ASSERT_EQ(made.status, 0) << made.err;
  }
  const std::vector<std::string> code_words = expected_words(code, 32, true);
  const std::vector<std::string> data_words = expected_words(data, 32, true);
  for (const bool with_depth : {false, true}) {
    SCOPED_TRACE(with_depth ? "-n80" : "no depth");
    const auto run = test::run_program(
        TOLVANE_PATH, {"-x", "-d32", "-a80000000", with_depth ? "-n80" : "-m", "fw.hex"},
        dir.path());
    ASSERT_EQ(run.status, 0) << run.out;
    std::vector<std::string> expected(with_depth ? 80 : 70,
                                      with_depth ? "00000000" : unset_word(GetParam(), 32));
    std::copy(code_words.begin(), code_words.end(), expected.begin());
    std::copy(data_words.begin(), data_words.end(), expected.begin() + 64);
    EXPECT_EQ(load(32, dir.path() / "fw.vh", expected.size()), expected);
  }
}

// tolvane makes a kilobit-wide image of a binary file, and marisk spreads it over
// sixteen 64-bit banks.
TEST_P(Simulator, LoadsBanksOfAKilobitImageTolvaneMade) {
  test::TempDir dir;
  const auto bytes = random_bytes(128 * 20 + 7, 23);
  test::write_file(dir.path() / "wide_0x1.bin", std::string(bytes.begin(), bytes.end()));
  ASSERT_EQ(test::run_program(TOLVANE_PATH, {"-d1024", "-b", "wide_0x1.bin"}, dir.path()).status,
            0);
  const auto words = expected_words(bytes, 1024, true);
  EXPECT_EQ(load(1024, dir.path() / "wide_0x1.vh", words.size()), words);
  ASSERT_EQ(test::run_program(MARISK_PATH, {"-d1024", "-s64", "wide_0x1.vh"}, dir.path()).status,
            0);
  EXPECT_EQ(kilobit_words_from_banks(dir.path(), words.size()), words);
}

// objcopy's memory file of a binary file (an address alone, then four words a line)
// splits into the banks of tolvane's image of the same bytes, which load as its words.
TEST_P(Simulator, LoadsBanksOfObjcopysMemoryFile) {
  test::TempDir dir;
  const auto bytes = random_bytes(4000, 24);
  test::write_file(dir.path() / "img_0x100.bin", std::string(bytes.begin(), bytes.end()));
  const auto made = test::run_program(
      "/usr/bin/objcopy",
      {"-I", "binary", "-O", "verilog", "--verilog-data-width=4", "img_0x100.bin", "mem_0x100.vh"},
      dir.path());
  ASSERT_EQ(made.status, 0) << made.err;
  ASSERT_EQ(test::run_program(TOLVANE_PATH, {"-d32", "-b", "img_0x100.bin"}, dir.path()).status, 0);
  for (const char* image : {"mem_0x100.vh", "img_0x100.vh"}) {
    ASSERT_EQ(test::run_program(MARISK_PATH, {image}, dir.path()).status, 0) << image;
  }
  const auto words = expected_words(bytes, 32, true);
  std::vector<std::string> rebuilt(words.size());
  for (int bank = 3; bank >= 0; --bank) {
    const std::string bank_name = "_0x400_" + std::to_string(bank) + ".vh";
    EXPECT_EQ(test::read_file(dir.path() / ("mem" + bank_name)),
              test::read_file(dir.path() / ("img" + bank_name)));
    const auto loaded = load(8, dir.path() / ("mem" + bank_name), words.size());
    ASSERT_EQ(loaded.size(), words.size());
    for (std::size_t i = 0; i < words.size(); ++i) rebuilt[i] += loaded[i];
  }
  EXPECT_EQ(rebuilt, words);
}

INSTANTIATE_TEST_SUITE_P(Simulators, Simulator,
                         testing::Values(Kind::icarus, Kind::verilator, Kind::yosys),
                         [](const auto& param_info) {
                           return std::string(kind_name(param_info.param));
                         });

}  // namespace
