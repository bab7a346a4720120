#pragma once

#include <memory>

#include "addressed_input.hpp"
#include "byte_streams.hpp"

namespace converter {

// The bytes of every loadable segment of an ELF file (32 or 64 bits, either byte order)
// at its physical address, in ascending address order (equal addresses in the table's
// order), a block at a time. The file is read at positions, never held whole. Refused,
// the first met counting: no file that can be read at positions; no ELF file or a
// program header table past its end (or none); then in the table's order a segment past
// the file's end or past 4 GiB; then in address order two segments that overlap.
// Segments are numbered by their index in the program header table, from 0.
std::unique_ptr<AddressedSource> elf_source(verilog_hex::InputFile& file);

}  // namespace converter
