#pragma once

#include <cstdint>

#include "addressed_bytes.hpp"
#include "conversion_result.hpp"
#include "text_reader.hpp"

namespace converter {

// Places the data bytes of the Intel HEX records of the input at their addresses; the
// first line refused stops the conversion, naming its line.
verilog_hex::ConversionResult convert_intel_hex(verilog_hex::TextReader& input,
                                                AddressedBytes& bytes);

}  // namespace converter
