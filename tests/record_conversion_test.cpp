// Record files in memory, Intel HEX and S-records: which lines are records, where their
// bytes go, and which line a refusal names, in the order the checks are made.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "intel_hex_conversion.hpp"
#include "memory_streams.hpp"
#include "srecord_conversion.hpp"
#include "verilog_hex.hpp"

namespace {

using verilog_hex::Stop;

struct RecordCase {
  const char* name;
  std::string input;
  std::string image;  // with 16-bit words, big-endian, no first address
  Stop stop = Stop::done;
  std::uint32_t line = 0;
  std::uint32_t depth = 0;
  friend void PrintTo(const RecordCase& c, std::ostream* os) { *os << c.name; }
};

// The rows of one kind of record file, read by its source.
using Source = std::unique_ptr<converter::AddressedSource> (*)(verilog_hex::TextReader&);
template <Source kSource>
class RecordFile : public testing::TestWithParam<RecordCase> {
 protected:
  void places_or_refuses_each_line() {
    const RecordCase& c = GetParam();
    // The smallest buffer too, so that records cross refills.
    for (const std::size_t capacity : {std::size_t{0}, verilog_hex::TextReader::kDefaultCapacity}) {
      std::string image;
      verilog_hex::TextReader input(test::memory_input(c.input), capacity);
      verilog_hex::ImageWriter output(test::memory_output(image));
      converter::ImageWords words(output, 2, true, c.depth);
      converter::AddressedBytes bytes(words, 0, false);
      const std::unique_ptr<converter::AddressedSource> sources[] = {kSource(input)};
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
};

using IntelHex = RecordFile<converter::intel_hex_source>;
using SRecords = RecordFile<converter::srecord_source>;
TEST_P(IntelHex, PlacesOrRefusesEachLine) { places_or_refuses_each_line(); }
TEST_P(SRecords, PlacesOrRefusesEachLine) { places_or_refuses_each_line(); }

const std::string kBlanks(300000, ' ');

// Records as objcopy writes them, straight from the buffer: count records of size bytes
// from address 0 (a record's bytes count up from its line number), then one of last
// bytes, then the end record; and their image in 16-bit words.
RecordCase joined(const char* name, int size, int count, int last, std::uint32_t depth = 0) {
  RecordCase c{name, "", "", Stop::done, 0, depth};
  std::string bytes;
  for (int record = 0; record <= count; ++record) {
    const int n = record < count ? size : last;
    if (n == 0) continue;
    const int address = record * size;
    std::uint8_t head[] = {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(address >> 8),
                           static_cast<std::uint8_t>(address), 0};
    unsigned sum = 0;
    c.input += ':';
    const auto put = [&](std::uint8_t byte) {
      sum += byte;
      c.input += verilog_hex::kUpperHexDigits[byte >> 4];
      c.input += verilog_hex::kUpperHexDigits[byte & 0xF];
    };
    for (const std::uint8_t byte : head) put(byte);
    for (int k = 0; k < n; ++k) {
      bytes += static_cast<char>(record + 1 + k);
      put(static_cast<std::uint8_t>(record + 1 + k));
    }
    put(static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
    c.input += "\n";
  }
  c.input += ":00000001FF\n";
  for (std::size_t at = 0; at < bytes.size(); at += 2) {
    char line[32];
    const auto high = static_cast<std::uint8_t>(bytes[at]);
    const auto low = at + 1 < bytes.size() ? static_cast<std::uint8_t>(bytes[at + 1]) : 0;
    std::snprintf(line, sizeof line, "@%zX\t%02X%02X\r\n", at / 2, high, low);
    c.image += line;
  }
  return c;
}

RecordCase refused(RecordCase c, Stop stop, std::uint32_t line) {
  c.stop = stop;
  c.line = line;
  return c;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IntelHex,
    testing::Values(
        RecordCase{"Empty", "", ""},
        RecordCase{"EmptyWithADepth", "", "@0\t0000\r\n@1\t0000\r\n", Stop::done, 0, 2},
        RecordCase{"NoEndOfFileRecord", ":0100100001EE", "@8\t0100\r\n"},
        RecordCase{"NothingReadAfterTheEnd", ":0100100001EE\n:00000001FF\n:zz\n", "@8\t0100\r\n"},
        RecordCase{"LowerCaseDigitsAMarkAnd1A", "\xEF\xBB\xBF:0100100001ee\r\n\x1Arubbish",
                   "@8\t0100\r\n"},
        // An empty data record places nothing, so it lies below nothing either.
        RecordCase{"EmptyDataRecord", ":0100100001EE\n:0000000000\n:00000001FF\n", "@8\t0100\r\n"},
        RecordCase{"BlanksAfterARecordPastTheBuffer", ":0100100001EE" + kBlanks + "\n",
                   "@8\t0100\r\n"},
        RecordCase{"TextPastTheBuffer", ":0100100001EE" + kBlanks + "x\n", "", Stop::not_a_record,
                   1},
        RecordCase{"NoColon", "\n0100100001EE\n", "", Stop::not_a_record, 2},
        RecordCase{"LastLineCutShort", ":0100100001EE\n:0100", "", Stop::not_a_record, 2},
        RecordCase{"NoHexDigit", ":01001000G1EE\n", "", Stop::not_a_record, 1},
        RecordCase{"OddDigits", ":0100100001E\n", "", Stop::not_a_record, 1},
        RecordCase{"FewerThanFiveBytes", ":00000001\n", "", Stop::not_a_record, 1},
        RecordCase{"CountNotTheLine", ":01000000FF\n", "", Stop::not_a_record, 1},
        RecordCase{"BaseOfOneByte", ":0100000200FD\n", "", Stop::not_a_record, 1},
        RecordCase{"EndWithData", ":0100000100FE\n", "", Stop::not_a_record, 1},
        // Not a record comes before a wrong checksum.
        RecordCase{"PastTheSegment", ":020000021000EC\n:02FFFF00445500\n", "", Stop::not_a_record,
                   2},
        RecordCase{"UpTo4GiB", ":02000004FFFFFC\n:02FFFE00445568\n", "@7FFFFFFF\t4455\r\n"},
        RecordCase{"Past4GiB", ":02000004FFFFFC\n:02FFFF00445567\n", "", Stop::not_a_record, 2},
        RecordCase{"AcrossALinearBase", ":02000004000FEB\n:02FFFF00445567\n",
                   "@7FFFF\t0044\r\n@80000\t5500\r\n"},
        // Lines of 212 characters across the smallest buffer's ends, and a shorter last.
        joined("LongRecordsAcrossTheBuffer", 100, 12, 7),
        // The refusal of a record in a run joined from many names its own line.
        refused(joined("PastTheDepthWithinAJoinedRun", 16, 4, 0, 20), Stop::past_last_word, 3)),
    [](const auto& param_info) { return std::string(param_info.param.name); });

const std::string kAt10 = "S104001001EA\n";  // the byte 01 at 0x10

INSTANTIATE_TEST_SUITE_P(
    Cases, SRecords,
    testing::Values(
        // A header, data at 16-, 32- and 24-bit addresses, a record without data that
        // counts, the count, the end, and nothing read after it.
        RecordCase{"EachAddressSize",
                   "S0050000686929\n" + kAt10 +
                       "S3060000010012E6\nS206010000ABCD80\nS1030020DC\nS5030004F8\n"
                       "S9030000FC\nS1zz\n",
                   "@8\t0100\r\n@80\t1200\r\n@8000\tABCD\r\n"},
        RecordCase{"CountOf24Bits", kAt10 + "S604000001FA\r\n\n  \n", "@8\t0100\r\n"},
        RecordCase{"NoEndRecord", "S104001001EA", "@8\t0100\r\n"},
        RecordCase{"UpTo4GiB", "S306FFFFFFFF01FC\n", "@7FFFFFFF\t0001\r\n"},
        RecordCase{"BlanksPastTheBuffer", "S104001001EA" + kBlanks + "\n", "@8\t0100\r\n"},
        RecordCase{"TextPastTheBuffer", "S104001001EA" + kBlanks + "x\n", "", Stop::not_a_record,
                   1},
        // A record with a blank after it is no run's: the lines keep their numbers.
        RecordCase{"BlankBeforeABadLine", "S104001001EA \nS1zz\n", "", Stop::not_a_record, 2},
        RecordCase{"NoS", "\nX104001001EA\n", "", Stop::not_a_record, 2},
        RecordCase{"NoTypeDigit", "SX04001001EA\n", "", Stop::not_a_record, 1},
        RecordCase{"NoHexDigit", "S104001G01EA\n", "", Stop::not_a_record, 1},
        RecordCase{"OddDigits", "S104001001E\n", "", Stop::not_a_record, 1},
        RecordCase{"CountNotTheLine", "S105001001EA\n", "", Stop::not_a_record, 1},
        RecordCase{"NoRoomForTheAddress", "S10200FD\n", "", Stop::not_a_record, 1},
        RecordCase{"DataInACount", "S504000107F3\n", "", Stop::not_a_record, 1},
        RecordCase{"Past4GiB", "S307FFFFFFFF0102F9\n", "", Stop::not_a_record, 1},
        RecordCase{"LastLineCutShort", kAt10 + "S1", "", Stop::not_a_record, 2},
        RecordCase{"WrongChecksum", "S104001001EB\n", "", Stop::wrong_checksum, 1},
        // The checksum is judged before the type, the type before the count.
        RecordCase{"S4WithAWrongChecksum", "S401FF\n", "", Stop::wrong_checksum, 1},
        RecordCase{"S4", "S401FE\n", "", Stop::unknown_record_type, 1},
        RecordCase{"CountNotTheRecords", kAt10 + "S1030020DC\nS5030003F9\n", "",
                   Stop::count_mismatch, 3},
        RecordCase{"BelowAnEarlierEnd", kAt10 + "S104000802F1\n", "", Stop::below_earlier_end, 2}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
