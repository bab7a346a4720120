#pragma once

#include <cstdint>

#include "conversion_result.hpp"
#include "image_words.hpp"
#include "text_reader.hpp"

namespace converter {

// Places the data bytes of the Intel HEX records of the input at their addresses: byte
// address A goes to word (A - first_address) / B at position (A - first_address) mod B.
// Words that no byte reaches are left out (the image's depth fills them); bytes of a
// word that no record gives are the fill byte. Data records must come in ascending address order
// without overlap; the first line refused stops the conversion, naming its line.
verilog_hex::ConversionResult convert_intel_hex(verilog_hex::TextReader& input, ImageWords& words,
                                                std::uint32_t first_address);

}  // namespace converter
