#include "byte_conversion.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "general_rules_image.hpp"
#include "memory_streams.hpp"
#include "output_name.hpp"
#include "verilog_hex.hpp"

namespace {

struct ByteCase {
  std::string line;
  std::uint8_t value;
  friend void PrintTo(const ByteCase& c, std::ostream* os) {
    *os << testing::PrintToString(c.line);
  }
};

class ByteLine : public testing::TestWithParam<ByteCase> {};

TEST_P(ByteLine, GivesTheLowByteOfTheHexValue) {
  EXPECT_EQ(converter::parse_byte_line(GetParam().line), GetParam().value)
      << testing::PrintToString(GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ByteLine,
    testing::Values(ByteCase{"3f\n", 0x3F}, ByteCase{"3F", 0x3F}, ByteCase{"0x3F\n", 0x3F},
                    ByteCase{" 3f\n", 0x3F}, ByteCase{"+3f\n", 0x3F}, ByteCase{"1ff\n", 0xFF},
                    ByteCase{"add\n", 0xDD}, ByteCase{"-1\n", 0xFF}, ByteCase{"123456789\n", 0xFF},
                    ByteCase{"\n", 0}, ByteCase{"   \n", 0}, ByteCase{"; note\n", 0},
                    ByteCase{"xyz\n", 0}, ByteCase{"cafe\n", 0xFE}, ByteCase{"0\n", 0},
                    ByteCase{"3g\n", 3}, ByteCase{"g3\n", 0}, ByteCase{"12", 0x12},
                    ByteCase{"1\n", 1}, ByteCase{"ab\t", 0xAB}, ByteCase{"0x\n", 0},
                    ByteCase{"-ffffffff\n", 1}));

struct ConvertCase {
  const char* name;
  std::string input;
  std::uint8_t data_width;
  bool big_endian;
  std::string output;
  bool binary = false;  // every byte of the input is data
  friend void PrintTo(const ConvertCase& c, std::ostream* os) { *os << c.name; }
};

class Conversion : public testing::TestWithParam<ConvertCase> {};

TEST_P(Conversion, WritesOneWordLinePerWord) {
  const ConvertCase& c = GetParam();
  for (const std::size_t capacity : {std::size_t{0}, verilog_hex::TextReader::kDefaultCapacity}) {
    std::string out;
    verilog_hex::ImageWriter output(test::memory_output(out), capacity);
    if (c.binary) {
      verilog_hex::BlockReader input(test::memory_input(c.input), capacity);
      EXPECT_TRUE(test::converts(input, output, c.data_width, c.big_endian));
    } else {
      verilog_hex::TextReader input(test::memory_input(c.input), capacity);
      EXPECT_TRUE(test::converts(input, output, c.data_width, c.big_endian));
    }
    ASSERT_TRUE(output.finish());
    EXPECT_EQ(out, c.output);
  }
}

const std::string kFourBytes = "12\n34\nab\ncd";

// 600 bytes, 0x00 to 0xFF and again, as words of three bytes: words cross the ends of the
// smallest read blocks.
const std::string kBinaryRun = [] {
  std::string bytes;
  for (int i = 0; i < 600; ++i) bytes += static_cast<char>(i & 0xFF);
  return bytes;
}();
std::string image_of_binary_run() {
  std::string image;
  char line[32];
  for (int word = 0; word < 200; ++word) {
    std::snprintf(line, sizeof line, "@%X\t%02X%02X%02X\r\n", word, (3 * word) & 0xFF,
                  (3 * word + 1) & 0xFF, (3 * word + 2) & 0xFF);
    image += line;
  }
  return image;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Conversion,
    testing::Values(
        ConvertCase{"Default", kFourBytes, 16, true, "@0\t1234\r\n@1\tABCD\r\n"},
        ConvertCase{"Little", kFourBytes, 16, false, "@0\t3412\r\n@1\tCDAB\r\n"},
        ConvertCase{"Width32", kFourBytes, 32, true, "@0\t1234ABCD\r\n"},
        ConvertCase{"Width8", kFourBytes, 8, true, "@0\t12\r\n@1\t34\r\n@2\tAB\r\n@3\tCD\r\n"},
        ConvertCase{"Width12IsOneByte", "1\n2\n", 12, true, "@0\t01\r\n@1\t02\r\n"},
        // A UTF-8 byte-order mark counts only at the very start.
        ConvertCase{"MarkThenBytes",
                    "\xEF\xBB\xBF"
                    "3f\r\n4e",
                    16, true, "@0\t3F4E\r\n"},
        ConvertCase{"MarkAlone", "\xEF\xBB\xBF", 16, true, ""},
        ConvertCase{"MarkOnSecondLine",
                    "3f\n\xEF\xBB\xBF"
                    "4e\n",
                    16, true, "@0\t3F00\r\n"},
        ConvertCase{"Width64", "1\n2\n3\n4\n5\n6\n7\n8\n", 64, false, "@0\t0807060504030201\r\n"},
        ConvertCase{"Width248", "ff\n", 248, true, "@0\tFF" + std::string(60, '0') + "\r\n"},
        ConvertCase{"FinalLineEndBeginsNoWord", "12\n34\n", 16, true, "@0\t1234\r\n"},
        ConvertCase{"ShortLastWordPadded", "12\n34\nab\n", 32, true, "@0\t1234AB00\r\n"},
        ConvertCase{"ShortLastWordPaddedLittle", "12\n34\nab", 32, false, "@0\t00AB3412\r\n"},
        ConvertCase{"Empty", "", 32, true, ""},
        ConvertCase{"OnlySub",
                    "\x1a"
                    "12\n",
                    8, true, ""},
        ConvertCase{"CrLfInput", "12\r\n34\r\n", 8, true, "@0\t12\r\n@1\t34\r\n"},
        ConvertCase{"BlankLineIsAZeroByte", "\n\n", 16, true, "@0\t0000\r\n"},
        ConvertCase{"LongLineIsTwoBytes", std::string(254, ' ') + "7f\n", 16, true, "@0\t070F\r\n"},
        // Binary input: every byte is data, the text rules' bytes and a mark too.
        ConvertCase{"BinaryEveryByteIsData", std::string("\xEF\xBB\xBF\r\n\x1a\0\xff", 8), 32, true,
                    "@0\tEFBBBF0D\r\n@1\t0A1A00FF\r\n", true},
        ConvertCase{"BinaryPartialWordBig", "\x01\x02\x03", 32, true, "@0\t01020300\r\n", true},
        ConvertCase{"BinaryPartialWordLittle", "\x01\x02\x03", 32, false, "@0\t00030201\r\n", true},
        ConvertCase{"BinaryEmpty", "", 16, true, "", true},
        ConvertCase{"BinaryWidth40Little", "\x01\x02\x03\x04\x05\x06", 40, false,
                    "@0\t0504030201\r\n@1\t0000000006\r\n", true},
        ConvertCase{"BinaryAcrossBlocks", kBinaryRun, 24, true, image_of_binary_run(), true}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(Conversion, AddressesCountWordsInUpperCaseHex) {
  std::string input;
  std::string expected;
  for (unsigned i = 0; i < 300; ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "%02x\n%02X\n", i & 0xFF, (i * 7) & 0xFF);
    input += line;
    std::snprintf(line, sizeof line, "@%X\t%02X%02X\r\n", i, (i * 7) & 0xFF, i & 0xFF);
    expected += line;
  }
  std::string out;
  verilog_hex::TextReader reader(test::memory_input(input));
  verilog_hex::ImageWriter writer(test::memory_output(out));
  ASSERT_TRUE(test::converts(reader, writer, 16, false));
  ASSERT_TRUE(writer.finish());
  EXPECT_EQ(out, expected);
}

// Runs of common lines are taken in blocks; a line of any other kind, wherever it falls
// in a block or a word, must still be read by the general rules.
TEST(Conversion, AnOddLineAnywhereInARunIsReadByTheGeneralRules) {
  // Among them the characters just outside the digit ranges, a byte with the high bit
  // set, and a NUL.
  for (const std::string& odd :
       {std::string("5\n"), std::string("A5 \n"), std::string("g5\n"), std::string("\xa5\x35\n"),
        std::string("\n"), std::string("0x7\n"), std::string("a5"), std::string("/5\n"),
        std::string(":5\n"), std::string("@5\n"), std::string("G5\n"), std::string("`5\n"),
        std::string("5/\n"), std::string("5:\n"), std::string("5@\n"), std::string("5G\n"),
        std::string("5`\n"), std::string("\xb0\x35\n"), std::string("5\0\n", 3)}) {
    for (std::size_t at = 0; at < 60; ++at) {
      std::vector<std::string> lines(60, "a5\n");
      for (std::size_t i = 0; i < lines.size(); ++i) lines[i][1] = "0123456789abcdef"[i % 16];
      lines[at] = odd;
      if (odd.back() != '\n') lines.resize(at + 1);  // a line without LF ends the input
      std::string input;
      for (const std::string& line : lines) input += line;
      for (const unsigned bytes_per_word : {1u, 2u, 4u, 5u}) {
        for (const bool big_endian : {true, false}) {
          std::string out;
          // Buffers just large enough for the whole input and image: 9,120 runs.
          verilog_hex::TextReader reader(test::memory_input(input), 0);
          verilog_hex::ImageWriter writer(test::memory_output(out), 4096);
          ASSERT_TRUE(test::converts(reader, writer, static_cast<std::uint8_t>(8 * bytes_per_word),
                                     big_endian));
          ASSERT_TRUE(writer.finish());
          ASSERT_EQ(out, test::image_by_general_rules(input, bytes_per_word, big_endian))
              << testing::PrintToString(odd) << " at line " << at << ", " << bytes_per_word
              << " bytes a word, " << (big_endian ? "big" : "little") << " end first";
        }
      }
    }
  }
}

struct NameCase {
  std::string input;
  std::optional<std::string> output;
  friend void PrintTo(const NameCase& c, std::ostream* os) { *os << c.input; }
};

class OutputName : public testing::TestWithParam<NameCase> {};

TEST_P(OutputName, KeepsTheDirectoryAndTakesTheStem) {
  EXPECT_EQ(converter::output_name_for(GetParam().input), GetParam().output) << GetParam().input;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutputName,
    testing::Values(NameCase{"rom.txt", "rom.vh"}, NameCase{"rom", "rom.vh"},
                    NameCase{"a.b.c", "a.vh"}, NameCase{"./rom.txt", "./rom.vh"},
                    NameCase{"..\\dir\\rom.txt", "..\\dir\\rom.vh"},
                    NameCase{"dir.1/rom.txt", "dir.1/rom.vh"}, NameCase{"sub/.x.y", "sub/x.vh"},
                    NameCase{"/abs/..rom", "/abs/rom.vh"}, NameCase{"rom.vh", "rom.vh"},
                    NameCase{"", std::nullopt}, NameCase{"...", std::nullopt},
                    NameCase{"dir/", std::nullopt}, NameCase{"dir/..", std::nullopt},
                    NameCase{"c:\\x\\.", std::nullopt}));

}  // namespace
