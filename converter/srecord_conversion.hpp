#pragma once

#include <memory>

#include "addressed_input.hpp"
#include "text_reader.hpp"

namespace converter {

// The data records (S1, S2, S3) of a Motorola S-record input, a run each, read up to its
// end record (S7, S8, S9). A record: "S", its type digit, then pairs of hexadecimal
// digits of either case: the count of the bytes that follow, the address (2 bytes for
// S0 S1 S5 S9, 3 for S2 S6 S8, 4 for S3 S7, high byte first), the data and the checksum,
// the ones' complement of the low byte of the sum of the others. S0 is checked and
// ignored; S5 and S6 give the count of data records before them, which must match. A
// line is refused, in this order, as no record (a character that is no hexadecimal
// digit, an odd number of digits, a count that does not match the line or leaves no room
// for the address and checksum, data in S5 to S9, bytes past 4 GiB), for its checksum,
// as of type S4, or for its count.
std::unique_ptr<AddressedSource> srecord_source(verilog_hex::TextReader& input);

}  // namespace converter
