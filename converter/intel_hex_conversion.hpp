#pragma once

#include <memory>

#include "addressed_input.hpp"
#include "conversion_result.hpp"
#include "text_reader.hpp"

namespace converter {

// The data records of an Intel HEX input, a run each, read up to its end record.
std::unique_ptr<AddressedSource> intel_hex_source(verilog_hex::TextReader& input);

// Places the data bytes of the Intel HEX records of the input at their addresses; the
// first line refused stops the conversion, naming its line.
verilog_hex::ConversionResult convert_intel_hex(verilog_hex::TextReader& input,
                                                AddressedBytes& bytes);

}  // namespace converter
