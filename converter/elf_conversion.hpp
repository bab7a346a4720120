#pragma once

#include "addressed_bytes.hpp"
#include "byte_streams.hpp"
#include "conversion_result.hpp"

namespace converter {

// Places the bytes of every loadable segment of an ELF file (32 or 64 bits, either byte
// order) at its physical address, in ascending address order (equal addresses in the
// table's order). The file is read at positions, never held whole. Refused, the first
// met counting: no ELF file or a program header table past its end (or none); then in
// the table's order a segment past the file's end or past 4 GiB; then in address order
// two segments that overlap, and what the placement refuses. Segments are numbered by
// their index in the program header table, from 0.
verilog_hex::ConversionResult convert_elf(verilog_hex::InputFile& file, AddressedBytes& bytes);

}  // namespace converter
