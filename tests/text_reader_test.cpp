#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "carriage_returns.hpp"
#include "file_system.hpp"
#include "memory_streams.hpp"
#include "verilog_hex.hpp"

namespace {

// Lines as a byte list reads them: cut after 255 characters.
constexpr std::size_t kCut = 255;

struct Read {
  std::string line;  // "<fail>" for a failed read
  bool at_end;
  bool operator==(const Read&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Read& read) {
  return os << testing::PrintToString(read.line) << (read.at_end ? " end" : "");
}

// Reads until the first failed read, noting the flag after each read.
std::vector<Read> read_all(verilog_hex::TextReader& reader) {
  std::vector<Read> reads;
  for (;;) {
    const auto line = reader.read_line(kCut);
    reads.push_back({line ? std::string(*line) : "<fail>", reader.at_end()});
    if (!line) return reads;
  }
}

std::vector<Read> read_all(const std::string& bytes,
                           std::size_t capacity = verilog_hex::TextReader::kDefaultCapacity) {
  verilog_hex::TextReader reader(test::memory_input(bytes), capacity);
  return read_all(reader);
}

struct ReaderCase {
  const char* name;
  std::string input;
  std::vector<Read> reads;
  friend void PrintTo(const ReaderCase& c, std::ostream* os) { *os << c.name; }
};

const std::string k255(255, 'a');

class TextReaderRules : public testing::TestWithParam<ReaderCase> {};

TEST_P(TextReaderRules, HandsOutLinesAndSetsTheFlag) {
  EXPECT_EQ(read_all(GetParam().input), GetParam().reads);
  // The smallest buffer makes every line cross refills.
  EXPECT_EQ(read_all(GetParam().input, 0), GetParam().reads);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextReaderRules,
    testing::Values(
        ReaderCase{"Empty", "", {{"<fail>", true}}},
        ReaderCase{
            "FinalLineEnd", "12\n34\n", {{"12\n", false}, {"34\n", false}, {"<fail>", true}}},
        ReaderCase{"NoFinalLineEnd", "12\n34", {{"12\n", false}, {"34", true}, {"<fail>", true}}},
        ReaderCase{"CrLf", "12\r\n34\r\n", {{"12\n", false}, {"34\n", false}, {"<fail>", true}}},
        ReaderCase{"CrAnywhere", "1\r2\r\r\n\r", {{"12\n", false}, {"<fail>", true}}},
        ReaderCase{"SubEndsInput",
                   "12\n3\x1a"
                   "4\n56\n",
                   {{"12\n", false}, {"3", true}, {"<fail>", true}}},
        ReaderCase{"SubFirst",
                   "\x1a"
                   "12\n",
                   {{"<fail>", true}}},
        ReaderCase{"NulIsAByte",
                   std::string("1\0"
                               "2\n",
                               4),
                   {{std::string("1\0"
                                 "2\n",
                                 4),
                     false},
                    {"<fail>", true}}},
        ReaderCase{"LongLineCut",
                   std::string(300, 'x') + "\n",
                   {{std::string(255, 'x'), false},
                    {std::string(45, 'x') + "\n", false},
                    {"<fail>", true}}},
        ReaderCase{"CutAtTheEnd", k255, {{k255, false}, {"<fail>", true}}},
        ReaderCase{"LineOf254WithLf",
                   std::string(254, 'b') + "\n",
                   {{std::string(254, 'b') + "\n", false}, {"<fail>", true}}},
        ReaderCase{
            "ManyCrsBeforeText", std::string(2000, '\r') + "ab", {{"ab", true}, {"<fail>", true}}},
        ReaderCase{"EmptyLines", "\n\n", {{"\n", false}, {"\n", false}, {"<fail>", true}}},
        ReaderCase{"MarkSkipped",
                   "\xEF\xBB\xBF"
                   "ab\n",
                   {{"ab\n", false}, {"<fail>", true}}},
        ReaderCase{"MarkAlone", "\xEF\xBB\xBF", {{"<fail>", true}}},
        ReaderCase{"MarkLaterKept",
                   "a\n\xEF\xBB\xBF",
                   {{"a\n", false}, {"\xEF\xBB\xBF", true}, {"<fail>", true}}},
        // With the smallest buffer the mark starts the bytes kept at a refill: still data.
        ReaderCase{"MarkAtARefillKept",
                   std::string(254, 'a') + "\n" + std::string(254, 'b') + "\n\xEF\xBB\xBF" + "c\n",
                   {{std::string(254, 'a') + "\n", false},
                    {std::string(254, 'b') + "\n", false},
                    {"\xEF\xBB\xBF"
                     "c\n",
                     false},
                    {"<fail>", true}}},
        ReaderCase{"SubThenMoreThanABuffer",
                   "12\n\x1a" + std::string(600000, 'x'),
                   {{"12\n", false}, {"<fail>", true}}},
        ReaderCase{"HalfAMark", "\xEF\xBB", {{"\xEF\xBB", true}, {"<fail>", true}}}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(TextReader, SmallBuffersReadLikeLargeOnes) {
  std::mt19937 random(7);
  const std::string alphabet = "0123456789abcdef\r\n\n\t @";
  std::string text;
  for (int i = 0; i < 200000; ++i) text += alphabet[random() % alphabet.size()];
  for (int i = 0; i < 20; ++i) text.insert(random() % text.size(), std::string(400, 'z'));
  // Lines of every length up to past two lines' worth, so that long lines start at every
  // offset of the small buffers.
  for (int length = 0; length < 700; ++length) text += std::string(length, 'L') + "\n";
  const auto expected = read_all(text);
  for (const std::size_t capacity : {0, 511, 1000, 4096}) {
    EXPECT_EQ(read_all(text, capacity), expected) << "capacity " << capacity;
  }
}

// The block-wise removal must agree with the plain rule at every length, offset and
// density of CR bytes, including runs of CRs and blocks with none.
TEST(CarriageReturns, DropsEveryCrAndKeepsTheRestInOrder) {
  std::mt19937 random(11);
  for (const unsigned per_hundred : {0u, 3u, 25u, 50u, 97u, 100u}) {
    for (std::size_t length = 0; length < 300; ++length) {
      std::string text(length, '\0');
      for (char& c : text) {
        c = random() % 100 < per_hundred ? '\r' : static_cast<char>(random() % 256);
      }
      std::string expected = text;
      std::erase(expected, '\r');
      std::string buffer = "!" + text;  // an odd start, as within the reader's buffer
      const std::size_t kept = verilog_hex::drop_carriage_returns(buffer.data() + 1, length);
      ASSERT_EQ(buffer.substr(1, kept), expected) << per_hundred << "% CR, length " << length;
    }
  }
}

TEST(TextReader, AByteAfterSubIsNeverRead) {
  verilog_hex::TextReader reader(
      test::memory_input("ab\n\x1a"
                         "cd\n"));
  EXPECT_EQ(read_all(reader), (std::vector<Read>{{"ab\n", false}, {"<fail>", true}}));
}

TEST(RealFileSystem, RefusesMissingInputsAndDirectories) {
  EXPECT_FALSE(platform::real_file_system().open_input("/nonexistent/file.txt"));
  EXPECT_FALSE(platform::real_file_system().open_input("/tmp"));
}

}  // namespace
