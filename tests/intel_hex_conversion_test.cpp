// Intel HEX input in memory: which lines are records, where their bytes go, and which
// line a refusal names.

#include "intel_hex_conversion.hpp"

#include <gtest/gtest.h>

#include <string>

#include "memory_streams.hpp"
#include "verilog_hex.hpp"

namespace {

using verilog_hex::Stop;

struct HexCase {
  const char* name;
  std::string input;
  std::string image;  // with 16-bit words, big-endian, no first address
  Stop stop = Stop::done;
  std::uint32_t line = 0;
  std::uint32_t depth = 0;
  friend void PrintTo(const HexCase& c, std::ostream* os) { *os << c.name; }
};

class IntelHex : public testing::TestWithParam<HexCase> {};

TEST_P(IntelHex, PlacesOrRefusesEachLine) {
  const HexCase& c = GetParam();
  // The smallest buffer too, so that records cross refills.
  for (const std::size_t capacity : {std::size_t{0}, verilog_hex::TextReader::kDefaultCapacity}) {
    std::string image;
    verilog_hex::TextReader input(test::memory_input(c.input), capacity);
    verilog_hex::ImageWriter output(test::memory_output(image));
    converter::ImageWords words(output, 2, true, c.depth);
    converter::AddressedBytes bytes(words, 0, false);
    const verilog_hex::ConversionResult result = converter::convert_intel_hex(input, bytes);
    if (result.ok()) words.finish();
    ASSERT_TRUE(output.finish());
    EXPECT_EQ(result.stop, c.stop);
    EXPECT_EQ(result.line, c.line);
    if (result.ok()) {
      EXPECT_EQ(image, c.image);
    }
  }
}

const std::string kBlanks(300000, ' ');

INSTANTIATE_TEST_SUITE_P(
    Cases, IntelHex,
    testing::Values(
        HexCase{"Empty", "", ""},
        HexCase{"EmptyWithADepth", "", "@0\t0000\r\n@1\t0000\r\n", Stop::done, 0, 2},
        HexCase{"NoEndOfFileRecord", ":0100100001EE", "@8\t0100\r\n"},
        HexCase{"NothingReadAfterTheEnd", ":0100100001EE\n:00000001FF\n:zz\n", "@8\t0100\r\n"},
        HexCase{"LowerCaseDigitsAMarkAnd1A", "\xEF\xBB\xBF:0100100001ee\r\n\x1Arubbish",
                "@8\t0100\r\n"},
        // An empty data record places nothing, so it lies below nothing either.
        HexCase{"EmptyDataRecord", ":0100100001EE\n:0000000000\n:00000001FF\n", "@8\t0100\r\n"},
        HexCase{"BlanksAfterARecordPastTheBuffer", ":0100100001EE" + kBlanks + "\n",
                "@8\t0100\r\n"},
        HexCase{"TextPastTheBuffer", ":0100100001EE" + kBlanks + "x\n", "", Stop::not_a_record, 1},
        HexCase{"NoColon", "\n0100100001EE\n", "", Stop::not_a_record, 2},
        HexCase{"LastLineCutShort", ":0100100001EE\n:0100", "", Stop::not_a_record, 2},
        HexCase{"NoHexDigit", ":01001000G1EE\n", "", Stop::not_a_record, 1},
        HexCase{"OddDigits", ":0100100001E\n", "", Stop::not_a_record, 1},
        HexCase{"FewerThanFiveBytes", ":00000001\n", "", Stop::not_a_record, 1},
        HexCase{"CountNotTheLine", ":01000000FF\n", "", Stop::not_a_record, 1},
        HexCase{"BaseOfOneByte", ":0100000200FD\n", "", Stop::not_a_record, 1},
        HexCase{"EndWithData", ":0100000100FE\n", "", Stop::not_a_record, 1},
        // Not a record comes before a wrong checksum.
        HexCase{"PastTheSegment", ":020000021000EC\n:02FFFF00445500\n", "", Stop::not_a_record, 2},
        HexCase{"Past4GiB", ":02000004FFFFFC\n:02FFFF00445567\n", "", Stop::not_a_record, 2},
        HexCase{"AcrossALinearBase", ":02000004000FEB\n:02FFFF00445567\n",
                "@7FFFF\t0044\r\n@80000\t5500\r\n"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
