#include "bank_extraction.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bank_naming.hpp"
#include "memory_streams.hpp"
#include "verilog_hex.hpp"

namespace {

struct NamingCase {
  std::string input;
  std::int32_t bank_count;
  std::optional<std::string> base;
  friend void PrintTo(const NamingCase& c, std::ostream* os) { *os << c.input; }
};

class BaseName : public testing::TestWithParam<NamingCase> {};

TEST_P(BaseName, ScalesTheNameNumber) {
  EXPECT_EQ(splitter::form_base_name(GetParam().input, GetParam().bank_count), GetParam().base)
      << GetParam().input;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BaseName,
    testing::Values(
        NamingCase{"rom_0x2000.vh", 4, "rom_0x8000"}, NamingCase{"ram_0x1F0.vh", 4, "ram_0x7c0"},
        NamingCase{"img_0x100.vh", 2, "img_0x200"}, NamingCase{"img_0x100.vh", 1, "img_0x100"},
        NamingCase{"mem01_0x100.vh", 4, "mem0x4"},
        NamingCase{"dir.1/rom_0x10.vh", 4, "dir.1/rom_0x40"},
        NamingCase{"rom_0x0.vh", 4, "rom_0x0"}, NamingCase{"rom_0X2000.vh", 4, "rom_0x8000"},
        NamingCase{"rom_01000.vh", 4, "rom_0x4000"}, NamingCase{"0rom_0x10.vh", 4, "rom_0x40"},
        NamingCase{"r_0x80000000.vh", 4, "r_0x0"}, NamingCase{"r_0xFFFFFFFF.vh", 2, "r_0xfffffffe"},
        NamingCase{"r_0x123456789.vh", 1, "r_0xffffffff"},
        NamingCase{"rom_0..x10.vh", 4, "rom_0x40"}, NamingCase{"rom_0_x.vh", 4, "rom_0x0"},
        NamingCase{"d0/rom_0x10.vh", 4, "d0/rom_0x40"},
        NamingCase{"x/0rom_0x10.vh", 4, "x/rom_0x40"},
        NamingCase{"..\\a0\\rom_0x10.vh", 2, "..\\a0\\rom_0x20"},
        NamingCase{"rom.vh", 4, std::nullopt}, NamingCase{"0abc.vh", 4, std::nullopt},
        NamingCase{"000", 4, std::nullopt}, NamingCase{"rom_0", 4, std::nullopt},
        NamingCase{"rom_0...", 4, std::nullopt}, NamingCase{"", 4, std::nullopt},
        NamingCase{"dir_0x1/", 4, std::nullopt}, NamingCase{"d0/rom.vh", 4, std::nullopt}));

TEST(BankNames, NumberTheBanksInBothOrders) {
  EXPECT_EQ(splitter::bank_file_name("rom_0x8000", 3), "rom_0x8000_3.vh");
  EXPECT_EQ(splitter::bank_file_name("d/r0x0", 12), "d/r0x0_12.vh");
  const std::vector<std::int32_t> big = {3, 2, 1, 0};
  const std::vector<std::int32_t> little = {0, 1, 2, 3};
  for (std::int32_t j = 0; j < 4; ++j) {
    EXPECT_EQ(splitter::bank_number(j, 4, true), big[static_cast<std::size_t>(j)]);
    EXPECT_EQ(splitter::bank_number(j, 4, false), little[static_cast<std::size_t>(j)]);
  }
}

struct SliceCase {
  const char* name;
  std::string input;
  std::int32_t split_width;
  std::vector<std::string> slices;  // what slice 0, 1, ... write
  verilog_hex::Stop stop = verilog_hex::Stop::done;
  std::uint32_t line = 0;
  std::string item = {};
  friend void PrintTo(const SliceCase& c, std::ostream* os) { *os << c.name; }
};

class Extraction : public testing::TestWithParam<SliceCase> {};

TEST_P(Extraction, WritesEachWordsSlice) {
  const SliceCase& c = GetParam();
  verilog_hex::TextReader input(test::memory_input(c.input), 0);
  const std::int32_t digits = 2 * (c.split_width / 8);
  std::vector<std::string> out(c.slices.size());
  std::vector<std::unique_ptr<verilog_hex::ImageWriter>> writers;
  std::vector<verilog_hex::ImageWriter*> banks;
  for (std::string& bank : out) {
    writers.push_back(std::make_unique<verilog_hex::ImageWriter>(test::memory_output(bank)));
    banks.push_back(writers.back().get());
  }
  // The word as wide as the banks together.
  const std::size_t word_digits =
      (c.slices.size() * static_cast<std::size_t>(c.split_width) + 3) / 4;
  const auto result = splitter::split_words(input, banks, digits, word_digits,
                                            [] { return test::memory_scratch(); });
  EXPECT_EQ(result.stop, c.stop);
  EXPECT_EQ(result.line, c.line);
  EXPECT_EQ(result.item, c.item);
  if (!result.ok()) return;  // the run's outputs are discarded
  for (std::size_t j = 0; j < c.slices.size(); ++j) {
    ASSERT_TRUE(writers[j]->finish());
    EXPECT_EQ(out[j], c.slices[j]) << "slice " << j;
  }
}

std::string repeated(const std::string& text, int count) {
  std::string all;
  for (int i = 0; i < count; ++i) all += text;
  return all;
}

// Word lines of the given addresses and data texts, as a bank is written.
std::string word_lines(std::uint32_t first, std::size_t count, const std::string& data) {
  std::string lines;
  for (std::uint32_t address = first; address < first + count; ++address) {
    char field[16];
    std::snprintf(field, sizeof field, "@%X\t", address);
    lines += field + data + "\r\n";
  }
  return lines;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Extraction,
    testing::Values(
        SliceCase{"Bytes",
                  "@1F\t12AB34CD",
                  8,
                  {"@1F\t12\r\n", "@1F\tAB\r\n", "@1F\t34\r\n", "@1F\tCD\r\n"}},
        SliceCase{"HalfWords", "@1F\t12AB34CD\n", 16, {"@1F\t12AB\r\n", "@1F\t34CD\r\n"}},
        SliceCase{
            "MarkBeforeAddress", "\xEF\xBB\xBF@10\t12AB\r\n", 8, {"@10\t12\r\n", "@10\tAB\r\n"}},
        SliceCase{"OneBank", "@1F\t12AB34CD\r\n", 16, {"@1F\t12AB\r\n"}},
        SliceCase{"Width12", "@0\t123456", 12, {"@0\t12\r\n", "@0\t34\r\n"}},
        SliceCase{
            "Width64", "@0\t0123456789abcdefAA\n", 64, {"@0\t0123456789abcdef\r\n", "@0\tAA\r\n"}},
        SliceCase{
            "ShortData", "@0\t1234\n", 8, {"@0\t12\r\n", "@0\t34\r\n", "@0\t\r\n", "@0\t\r\n"}},
        SliceCase{"CaseKeptAddressRewritten", "@00A\tff00\n", 8, {"@A\tff\r\n", "@A\t00\r\n"}},
        SliceCase{
            "NoWordLinesSkipped", "\n@1\t\nhello\n\t\n@2\tabcd\n", 8, {"@2\tab\r\n", "@2\tcd\r\n"}},
        SliceCase{"OddCharactersCopied",
                  "@3\t%s 1\t%d\n",
                  8,
                  {"@3\t%s\r\n", "@3\t 1\r\n", "@3\t\t%\r\n", "@3\td\r\n"}},
        SliceCase{"Empty", "", 8, {"", ""}},
        // The address ends at the first character that is no digit.
        SliceCase{"AddressOutsideDigits",
                  "@1/\tAB12\n@1:\tCD34\n@1G\tEF56\n@1`\t7890\n@1g\tabcd\n",
                  8,
                  {"@1\tAB\r\n@1\tCD\r\n@1\tEF\r\n@1\t78\r\n@1\tab\r\n",
                   "@1\t12\r\n@1\t34\r\n@1\t56\r\n@1\t90\r\n@1\tcd\r\n"}},
        SliceCase{"NulEndsTheLine",
                  std::string("@1\tAB\0CD\n@2\tEF12\n", 17),
                  8,
                  {"@1\tAB\r\n@2\tEF\r\n", "@1\t\r\n@2\t12\r\n"}},
        SliceCase{
            "AddressesOfNineDigits",
            "@123456789\tABCD\n@000000001\tABCD\n@0000000010\tEF12\n",
            8,
            {"@FFFFFFFF\tAB\r\n@1\tAB\r\n@10\tEF\r\n", "@FFFFFFFF\tCD\r\n@1\tCD\r\n@10\t12\r\n"}},
        SliceCase{"SubEndsTheImage", "@0\tAB\n\x1a@1\tCD\n", 8, {"@0\tAB\r\n"}},
        // Lines longer than the reader's buffer are read whole, not in pieces of 255.
        SliceCase{"LineLongerThanABlock",
                  "@5\t" + std::string(512, 'a') + std::string(88, 'b') + "\n@6\tCD",
                  2048,
                  {"@5\t" + std::string(512, 'a') + "\r\n@6\tCD\r\n",
                   "@5\t" + std::string(88, 'b') + "\r\n@6\t\r\n"}},
        SliceCase{"LongTabsAndAddressField",
                  std::string(300, '\t') + "@" + std::string(300, '0') + "1F\tABCD\n",
                  8,
                  {"@1F\tAB\r\n", "@1F\tCD\r\n"}},
        SliceCase{"ItemsAfterALongWordLine",
                  "@5\t" + std::string(600, 'a') + "\nCDEF\n",
                  8,
                  {"@5\taa\r\n@6\tCD\r\n", "@5\taa\r\n@6\tEF\r\n"}},
        SliceCase{"NulInALongLine",
                  "@1\t" + std::string(600, 'a') + std::string("\0x\n@2\tCD\n", 9),
                  8,
                  {"@1\taa\r\n@2\tCD\r\n", "@1\taa\r\n@2\t\r\n"}},
        SliceCase{"LongAddressFieldNoTab",
                  "@" + std::string(600, '1') + "\n@2\tCD\n",
                  8,
                  {"@2\tCD\r\n", "@2\t\r\n"}},
        SliceCase{
            "ManyLines",
            "@0\t1122\n@1\t3344\n@FFFFFFFF\t5566",
            8,
            {"@0\t11\r\n@1\t33\r\n@FFFFFFFF\t55\r\n", "@0\t22\r\n@1\t44\r\n@FFFFFFFF\t66\r\n"}},
        // Other lines read as a memory file: the words of a 32-bit memory as objcopy
        // writes them, and a 16-bit one with every kind of item.
        SliceCase{"ItemsAfterAnAddressAlone",
                  "@00000010\nC41E9740 15a34583 \n",
                  8,
                  {"@10\tC4\r\n@11\t15\r\n", "@10\t1E\r\n@11\ta3\r\n", "@10\t97\r\n@11\t45\r\n",
                   "@10\t40\r\n@11\t83\r\n"}},
        SliceCase{"ItemsExtendedAndUnderscoresDropped",
                  "@8 1 x1 _Z_ 0?_F 0000ABCD\t\n",
                  8,
                  {"@8\t00\r\n@9\txx\r\n@A\tZZ\r\n@B\t00\r\n@C\tAB\r\n",
                   "@8\t01\r\n@9\tx1\r\n@A\tZZ\r\n@B\t?F\r\n@C\tCD\r\n"}},
        SliceCase{"CommentsAndAWordLineInOne",
                  "/* header\n@1\t1234\n*/ 5678 // 1111\n// 2222\n/* a */ @20 /* b\n c */ 9ABC\n",
                  8,
                  {"@1\t12\r\n@2\t56\r\n@20\t9A\r\n", "@1\t34\r\n@2\t78\r\n@20\tBC\r\n"}},
        SliceCase{"LinesWithAnythingElseChangeNothing",
                  "@5 1111\n2222 ; note\n@9 hello /*\nAB@10\n@10x\n@\n@_\n_\n1/2\n*/\n3333\n",
                  8,
                  {"@5\t11\r\n@6\t33\r\n", "@5\t11\r\n@6\t33\r\n"}},
        SliceCase{"ASkippedLineStillClosesItsComment",
                  "/* open\nclosed */ hello\n1234\n",
                  8,
                  {"@0\t12\r\n", "@0\t34\r\n"}},
        SliceCase{"AddressesSaturateAndWrap",
                  "@FFFFFFFF\t1234\n5678 @1_0000_0000_0 9ABC DEF0\n",
                  8,
                  {"@FFFFFFFF\t12\r\n@0\t56\r\n@FFFFFFFF\t9A\r\n@0\tDE\r\n",
                   "@FFFFFFFF\t34\r\n@0\t78\r\n@FFFFFFFF\tBC\r\n@0\tF0\r\n"}},
        SliceCase{"NulEndsAnItemLine",
                  std::string("1234 \0 hello\n5678\n", 18),
                  16,
                  {"@0\t1234\r\n@1\t5678\r\n"}},
        SliceCase{"TooWideOnAKeptLine",
                  "1234 0_0001234\n12345 hello\n1_2345 zz\n",
                  8,
                  {"", ""},
                  verilog_hex::Stop::word_too_wide,
                  3,
                  "1_2345"},
        // Lines longer than the reader's buffer: kept, or taken back from the banks.
        SliceCase{"LongLineOfItems",
                  "@10 " + repeated("1_2 ", 400) + "\n",
                  8,
                  {word_lines(0x10, 400, "12")}},
        // Items too wide to form in the block wait in the spool each whole.
        SliceCase{"WideItemsOfAKeptLine",
                  std::string(5000, 'A') + " " + std::string(5000, 'B') + "\n",
                  10000,
                  {"@0\t" + std::string(2500, 'A') + "\r\n@1\t" + std::string(2500, 'B') + "\r\n",
                   "@0\t" + std::string(2500, 'A') + "\r\n@1\t" + std::string(2500, 'B') + "\r\n"}},
        SliceCase{
            "LongLineOfItemsSkipped", repeated("12 ", 1000) + "hello\n34\n", 8, {"@0\t34\r\n"}}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// Word items on a line that never ends, as from "yes 00112233 | tr '\n' ' '".
// A line that never ends: its start, then the unit again and again.
class EndlessLine final : public verilog_hex::InputFile {
 public:
  explicit EndlessLine(std::string start = "", std::string unit = "00112233 ")
      : start_(std::move(start)), unit_(std::move(unit)) {}
  std::ptrdiff_t read(std::span<char> into) override {
    std::size_t count = 0;
    for (; count < into.size() && given_ < start_.size(); ++count) into[count] = start_[given_++];
    const std::size_t units = (into.size() - count) / unit_.size() * unit_.size();
    for (std::size_t i = 0; i < units; ++i) into[count + i] = unit_[i % unit_.size()];
    return static_cast<std::ptrdiff_t>(count + units);
  }

 private:
  std::string start_;
  std::string unit_;
  std::size_t given_ = 0;
};

// However long the line, once its words cannot be held back, the run ends.
TEST(Extraction, AnEndlessLineStopsOnceItsWordsCannotBeWritten) {
  verilog_hex::TextReader input(std::make_unique<EndlessLine>());
  std::string written;
  verilog_hex::ImageWriter bank(test::memory_output(written));
  verilog_hex::ImageWriter* const banks[] = {&bank};
  const auto result = splitter::split_words(input, banks, 8, 8, [] {
    return test::memory_scratch([](std::size_t size) { return size > (1 << 20); });
  });
  EXPECT_EQ(result.stop, verilog_hex::Stop::write_failed);
}

// A word line refused for a character ends too, once the buffer's worth of its text that
// the message quotes is read.
TEST(Extraction, AnEndlessRefusedLineEnds) {
  verilog_hex::TextReader input(std::make_unique<EndlessLine>("@0\t", "x412"));
  std::string written;
  verilog_hex::ImageWriter bank(test::memory_output(written));
  verilog_hex::ImageWriter* const banks[] = {&bank};
  const splitter::BankLayout layout = {
      .digits = 2, .word_digits = 2, .format = &verilog_hex::kOutputFormats[3]};  // mif
  std::uint64_t words = 0;
  const auto result = splitter::split_words(
      input, banks, layout, [] { return test::memory_scratch(); }, words);
  EXPECT_EQ(result.stop, verilog_hex::Stop::not_writable);
  EXPECT_EQ(result.item.size(), input.capacity());
  EXPECT_TRUE(result.item.starts_with("x412x412"));
}

TEST(Extraction, SlicesOfTheDataText) {
  EXPECT_EQ(splitter::data_slice("12AB34CD", 0, 2), "12");
  EXPECT_EQ(splitter::data_slice("12AB34CD", 3, 2), "CD");
  EXPECT_EQ(splitter::data_slice("12AB34CD", 4, 2), "");
  EXPECT_EQ(splitter::data_slice("12AB3", 2, 2), "3");
  EXPECT_EQ(splitter::data_slice("12AB3", 1, 8), "");
}

}  // namespace
