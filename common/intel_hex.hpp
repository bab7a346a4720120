#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace verilog_hex {

// One Intel HEX record: ":", then pairs of hexadecimal digits of either case: the byte
// count n, the address (high byte first), the type, n data bytes and the checksum.
struct IntelHexRecord {
  enum Type : std::uint8_t {
    data = 0x00,
    end_of_file = 0x01,
    segment_address = 0x02,  // base = value * 16
    start_segment = 0x03,
    linear_address = 0x04,  // base = value * 65536
    start_linear = 0x05,
  };
  std::uint8_t count = 0;
  std::uint16_t address = 0;
  std::uint8_t type = 0;
  bool checksum_right = false;  // all its bytes, the checksum too, sum to 0 modulo 256
  // Its bytes as decoded, from the count to the checksum.
  std::array<std::uint8_t, 255 + 5> raw{};

  // Its count data bytes.
  const std::uint8_t* bytes() const { return raw.data() + 4; }
  // The value of a 02 or 04 record's two data bytes.
  std::uint16_t base_value() const {
    return static_cast<std::uint16_t>(bytes()[0] << 8 | bytes()[1]);
  }
};

// The record a line holds (spaces and TABs after it, and its LF, ignored); nothing when
// it is no record: no ":" first, a character that is no hexadecimal digit, an odd number
// of digits, fewer than 5 bytes, a byte count that does not match the line, or a type
// from 01 to 05 with the wrong number of data bytes. The checksum and the type are not
// judged here beyond that. The record goes into the one given, which a caller keeps
// from line to line.
bool parse_intel_hex_record(std::string_view line, IntelHexRecord& record);

// The common data record, decoded straight from the text where it begins the text.
struct DataRecordLine {
  std::uint16_t address;
  std::uint8_t count;     // its data bytes, at least one
  std::size_t line_size;  // LF included
};

// Where the text begins with a data record of at least one byte whose LF follows its
// checksum at once and whose checksum is right: its count data bytes to out, which takes
// 256 bytes (nothing is stored past the data's last block of sixteen or the checksum's
// byte). Nothing for every other line, which parse_intel_hex_record() then judges: the
// records this takes are some of those it takes. kSlack bytes past the text's end must
// be readable, as a TextReader leaves them.
std::optional<DataRecordLine> decode_data_record(std::string_view text, std::uint8_t* out);

}  // namespace verilog_hex
