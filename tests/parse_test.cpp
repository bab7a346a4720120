#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>

#include "hex_digits.hpp"
#include "intel_hex.hpp"
#include "text_reader.hpp"
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
    // pairs (a block of sixteen bytes and an overlapping one), of 11 (blocks of eight)
    // or of 3 (one by one) decodes or refuses alike, and the sum counts each byte once.
    const std::string pairs = "0123456789abcdefABCDEF00112233445566778899";
    for (const std::size_t size : {42, 22, 6}) {
      for (std::size_t at = 0; at < size; ++at) {
        std::string text = pairs.substr(0, size);
        text[at] = c;
        std::uint8_t out[21] = {};
        const int sum = verilog_hex::decode_hex_pairs(text, out);
        EXPECT_EQ(sum >= 0, digit) << size << " " << at;
        if (sum < 0) continue;
        int bytes_sum = 0;
        for (std::size_t k = 0; k < size / 2; ++k) {
          EXPECT_EQ(out[k], std::stoul(text.substr(2 * k, 2), nullptr, 16)) << size << " " << at;
          bytes_sum += out[k];
        }
        EXPECT_EQ(sum, bytes_sum) << size << " " << at;
      }
    }
  }
}

// The common data record, decoded straight from the buffer, must take exactly the
// lines the general parse takes as a data record of at least one byte with its LF
// right after its checksum and its checksum right, and give the same bytes: with any
// character changed at any place, the line alone or followed by more text. A row a
// size: one block or more, its last ending in either half or at its end.
class DataRecordDecode : public testing::TestWithParam<int> {};

TEST_P(DataRecordDecode, TakesWhatTheGeneralParseTakes) {
  const int count = GetParam();
  std::string line = ":";
  unsigned sum = 0;
  const auto put = [&](unsigned byte) {
    sum += byte;
    line += verilog_hex::kUpperHexDigits[byte >> 4 & 0xF];
    line += verilog_hex::kUpperHexDigits[byte & 0xF];
  };
  for (const unsigned byte : {static_cast<unsigned>(count), 0xA5u, 0x5Au, 0u}) put(byte);
  for (int k = 0; k < count; ++k) put(static_cast<unsigned>(k * 37 + 11) & 0xFF);
  put((0x100 - (sum & 0xFF)) & 0xFF);
  line += '\n';
  const std::string next = ":zz" + std::string(600, 'q');
  for (const bool followed : {false, true}) {
    for (std::size_t at = 0; at <= line.size(); ++at) {
      for (const char c : {'/', ':', '@', 'G', '`', 'g', '\xB0', ' ', 'a', '0', '\n'}) {
        std::string text = line + next;
        text[at] = c;
        const std::size_t size =
            followed ? text.size() - 4 * verilog_hex::TextReader::kSlack : line.size();
        std::uint8_t out[256 + 16];
        std::fill(std::begin(out), std::end(out), std::uint8_t{0xEE});
        const auto decoded =
            verilog_hex::decode_data_record(std::string_view(text).substr(0, size), out);
        const std::string_view first = std::string_view(text).substr(0, text.find('\n') + 1);
        verilog_hex::IntelHexRecord record;
        const bool taken = verilog_hex::parse_intel_hex_record(first, record) && record.type == 0 &&
                           record.count > 0 && record.checksum_right &&
                           first.size() == 2 * std::size_t{record.count} + 12 &&
                           first.size() <= size;
        SCOPED_TRACE(testing::Message() << "at " << at << " '" << c << "' followed " << followed);
        ASSERT_EQ(decoded.has_value(), taken);
        if (!taken) continue;
        EXPECT_EQ(decoded->address, record.address);
        EXPECT_EQ(decoded->count, record.count);
        EXPECT_EQ(decoded->line_size, first.size());
        EXPECT_TRUE(std::equal(out, out + record.count, record.bytes()));
        // Nothing is stored past the data's last block of sixteen or the checksum's byte.
        const std::size_t stored = std::max((record.count + 15u) / 16 * 16, record.count + 1u);
        EXPECT_TRUE(
            std::all_of(out + stored, std::end(out), [](std::uint8_t b) { return b == 0xEE; }));
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, DataRecordDecode,
                         testing::Values(1, 3, 4, 11, 12, 16, 19, 20, 27, 28, 251, 255));

}  // namespace
