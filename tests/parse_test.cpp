#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <string>

#include "hex_digits.hpp"
#include "verilog_hex.hpp"

namespace {

struct NumberCase {
  std::string text;
  unsigned base;  // 0: a count, decimal or hexadecimal after "0x"
  std::uint32_t value;
  friend void PrintTo(const NumberCase& c, std::ostream* os) {
    *os << testing::PrintToString(c.text);
  }
};

class UnsignedParse : public testing::TestWithParam<NumberCase> {};

TEST_P(UnsignedParse, GivesTheValue) {
  const NumberCase& c = GetParam();
  EXPECT_EQ(
      c.base == 0 ? verilog_hex::parse_count(c.text) : verilog_hex::parse_unsigned(c.text, c.base),
      c.value)
      << testing::PrintToString(GetParam().text) << " base " << GetParam().base;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnsignedParse,
    testing::Values(NumberCase{"  ff", 16, 255}, NumberCase{"0x1G", 16, 1},
                    NumberCase{"-1", 16, 0xFFFFFFFF}, NumberCase{"123456789", 16, 0xFFFFFFFF},
                    NumberCase{"-123456789", 16, 0xFFFFFFFF}, NumberCase{"", 16, 0},
                    NumberCase{"zz", 16, 0}, NumberCase{"+7", 16, 7}, NumberCase{"0X1f", 16, 0x1F},
                    NumberCase{"0x", 16, 0}, NumberCase{"0", 16, 0},
                    NumberCase{"-0x10", 16, 0xFFFFFFF0}, NumberCase{"\t\n\v\f\r 12", 16, 0x12},
                    NumberCase{"- 5", 16, 0}, NumberCase{"00000000ffffffff", 16, 0xFFFFFFFF},
                    NumberCase{"100000000", 16, 0xFFFFFFFF}, NumberCase{"0x10", 10, 0},
                    NumberCase{"32", 10, 32}, NumberCase{"4294967295", 10, 0xFFFFFFFF},
                    NumberCase{"4294967296", 10, 0xFFFFFFFF}, NumberCase{"-8", 10, 0xFFFFFFF8},
                    NumberCase{"-4294967295", 10, 1}, NumberCase{"-0xFFFFFFFF", 16, 1},
                    NumberCase{"12ab", 10, 12}, NumberCase{"0x1000", 0, 4096},
                    NumberCase{" +0X1f", 0, 31}, NumberCase{"010", 0, 10},
                    NumberCase{"-0x1", 0, 0xFFFFFFFF}, NumberCase{"0x", 0, 0},
                    NumberCase{"0", 0, 0}, NumberCase{"1x10", 0, 1},
                    NumberCase{std::string("1\0"
                                           "2",
                                           3),
                               16, 1}));

struct WordLineCase {
  std::string line;
  std::optional<std::uint32_t> address;  // empty: the line holds no word
  std::string data;
  friend void PrintTo(const WordLineCase& c, std::ostream* os) {
    *os << testing::PrintToString(c.line);
  }
};

class WordLineParse : public testing::TestWithParam<WordLineCase> {};

TEST_P(WordLineParse, TakesTheLineApart) {
  const auto word = verilog_hex::parse_word_line(GetParam().line);
  ASSERT_EQ(word.has_value(), GetParam().address.has_value())
      << testing::PrintToString(GetParam().line);
  if (word) {
    EXPECT_EQ(word->address, *GetParam().address);
    EXPECT_EQ(word->data, GetParam().data);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WordLineParse,
    testing::Values(
        WordLineCase{"@0010\tAB", 0x10, "AB"}, WordLineCase{"@\tAB", 0, "AB"},
        WordLineCase{"@1f\tab\n", 0x1F, "ab"}, WordLineCase{"\t\t@5\tCD", 5, "CD"},
        WordLineCase{"hello", std::nullopt, ""}, WordLineCase{"@10\t\n", std::nullopt, ""},
        WordLineCase{"@10\t", std::nullopt, ""}, WordLineCase{"@10\t\tAB", 0x10, "\tAB"},
        WordLineCase{"1F\tAB", 0xF, "AB"}, WordLineCase{"X10\tAB", 0x10, "AB"},
        WordLineCase{"hello\tworld", 0xE, "world"}, WordLineCase{"\t\t\n", std::nullopt, ""},
        WordLineCase{"", std::nullopt, ""}, WordLineCase{"\n", std::nullopt, ""},
        WordLineCase{"@ 5\tAB", 0, "AB"}, WordLineCase{"@+5\tAB", 0, "AB"},
        WordLineCase{"@0x5\tAB", 0, "AB"}, WordLineCase{"@123456789\tAB", 0xFFFFFFFF, "AB"},
        WordLineCase{"@00000000A\tAB", 0xA, "AB"}, WordLineCase{"@1\t1 2%s\n", 1, "1 2%s"},
        WordLineCase{std::string("@1\tAB\0CD\n", 9), 1, "AB"},
        WordLineCase{std::string("@1\0\tAB\n", 7), std::nullopt, ""}));

}  // namespace

namespace {

// Every fast path takes its digits from one class; each form of it must agree with the
// plain definition on all 256 byte values.
TEST(HexDigits, EveryFormAgreesOnEveryByte) {
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    const bool digit = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    SCOPED_TRACE(byte);
    EXPECT_EQ(verilog_hex::hex_digit_value(c) >= 0, digit);
    EXPECT_EQ(verilog_hex::parse_digits(std::string_view(&c, 1), 16),
              digit ? std::stoul(std::string(1, c), nullptr, 16) : 0);
    EXPECT_EQ(verilog_hex::parse_digits(std::string_view(&c, 1), 10),
              c >= '0' && c <= '9' ? c - '0' : 0);
#ifdef VH_SSE2_PATHS
    const auto mask = _mm_movemask_epi8(verilog_hex::hex_digit_mask(_mm_set1_epi8(c)));
    EXPECT_EQ(mask, digit ? 0xFFFF : 0);
#endif
    if (digit) {
      char eight[8] = {c, c, c, c, c, c, c, c};
      verilog_hex::upper_case_hex_digits(eight);
      EXPECT_EQ(eight[7], static_cast<char>(std::toupper(byte)));
    }
    // A record's digits, decoded many at a time: the byte at any place of a run of 21
    // pairs (a block of sixteen digits, another, and a tail) decodes or refuses alike.
    std::string pairs = "0123456789abcdefABCDEF00112233445566778899";
    for (std::size_t at = 0; at < pairs.size(); ++at) {
      std::string text = pairs;
      text[at] = c;
      std::uint8_t out[21] = {};
      const bool decoded = verilog_hex::decode_hex_pairs(text, out) >= 0;
      EXPECT_EQ(decoded, digit) << at;
      if (decoded) {
        EXPECT_EQ(out[at / 2], std::stoul(text.substr(at / 2 * 2, 2), nullptr, 16)) << at;
        if (at < 40) {
          EXPECT_EQ(out[20], 0x99);
        }
      }
    }
  }
}

}  // namespace
