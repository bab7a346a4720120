// S-record input in memory: which lines are records, where their bytes go, and which line
// a refusal names, in the order the checks are made.

#include "srecord_conversion.hpp"

#include <gtest/gtest.h>

#include <string>

#include "memory_streams.hpp"
#include "verilog_hex.hpp"

namespace {

using verilog_hex::Stop;

struct SRecordCase {
  const char* name;
  std::string input;
  std::string image;  // with 16-bit words, big-endian, no first address
  Stop stop = Stop::done;
  std::uint32_t line = 0;
  friend void PrintTo(const SRecordCase& c, std::ostream* os) { *os << c.name; }
};

class SRecords : public testing::TestWithParam<SRecordCase> {};

TEST_P(SRecords, PlacesOrRefusesEachLine) {
  const SRecordCase& c = GetParam();
  // The smallest buffer too, so that records cross refills.
  for (const std::size_t capacity : {std::size_t{0}, verilog_hex::TextReader::kDefaultCapacity}) {
    std::string image;
    verilog_hex::TextReader input(test::memory_input(c.input), capacity);
    verilog_hex::ImageWriter output(test::memory_output(image));
    converter::ImageWords words(output, 2, true, 0);
    converter::AddressedBytes bytes(words, 0, false);
    const std::unique_ptr<converter::AddressedSource> sources[] = {
        converter::srecord_source(input)};
    const verilog_hex::ConversionResult result = converter::place_sources(sources, bytes);
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
const std::string kAt10 = "S104001001EA\n";  // the byte 01 at 0x10

INSTANTIATE_TEST_SUITE_P(
    Cases, SRecords,
    testing::Values(
        // A header, data at 16-, 32- and 24-bit addresses, a record without data that
        // counts, the count, the end, and nothing read after it.
        SRecordCase{"EachAddressSize",
                    "S0050000686929\n" + kAt10 +
                        "S3060000010012E6\nS206010000ABCD80\nS1030020DC\nS5030004F8\n"
                        "S9030000FC\nS1zz\n",
                    "@8\t0100\r\n@80\t1200\r\n@8000\tABCD\r\n"},
        SRecordCase{"CountOf24Bits", kAt10 + "S604000001FA\r\n\n  \n", "@8\t0100\r\n"},
        SRecordCase{"NoEndRecord", "S104001001EA", "@8\t0100\r\n"},
        SRecordCase{"UpTo4GiB", "S306FFFFFFFF01FC\n", "@7FFFFFFF\t0001\r\n"},
        SRecordCase{"BlanksPastTheBuffer", "S104001001EA" + kBlanks + "\n", "@8\t0100\r\n"},
        SRecordCase{"TextPastTheBuffer", "S104001001EA" + kBlanks + "x\n", "", Stop::not_a_record,
                    1},
        SRecordCase{"NoS", "\nX104001001EA\n", "", Stop::not_a_record, 2},
        SRecordCase{"NoTypeDigit", "SX04001001EA\n", "", Stop::not_a_record, 1},
        SRecordCase{"NoHexDigit", "S104001G01EA\n", "", Stop::not_a_record, 1},
        SRecordCase{"OddDigits", "S104001001E\n", "", Stop::not_a_record, 1},
        SRecordCase{"CountNotTheLine", "S105001001EA\n", "", Stop::not_a_record, 1},
        SRecordCase{"NoRoomForTheAddress", "S10200FD\n", "", Stop::not_a_record, 1},
        SRecordCase{"DataInACount", "S504000107F3\n", "", Stop::not_a_record, 1},
        SRecordCase{"Past4GiB", "S307FFFFFFFF0102F9\n", "", Stop::not_a_record, 1},
        SRecordCase{"LastLineCutShort", kAt10 + "S1", "", Stop::not_a_record, 2},
        SRecordCase{"WrongChecksum", "S104001001EB\n", "", Stop::wrong_checksum, 1},
        // The checksum is judged before the type, the type before the count.
        SRecordCase{"S4WithAWrongChecksum", "S401FF\n", "", Stop::wrong_checksum, 1},
        SRecordCase{"S4", "S401FE\n", "", Stop::unknown_record_type, 1},
        SRecordCase{"CountNotTheRecords", kAt10 + "S1030020DC\nS5030003F9\n", "",
                    Stop::count_mismatch, 3},
        SRecordCase{"BelowAnEarlierEnd", kAt10 + "S104000802F1\n", "", Stop::below_earlier_end, 2}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
