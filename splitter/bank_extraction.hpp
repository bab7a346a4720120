#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "bank_layout.hpp"
#include "conversion_result.hpp"
#include "image_writer.hpp"
#include "spool.hpp"
#include "text_reader.hpp"

namespace splitter {

// As below, in the layout's format. Outside VerilogHex, and with a depth, every word
// is checked as it stands: addresses rise (in a dense format or with a depth), lie
// below the depth, data texts hold the banks' digits and only characters the format
// holds; words missing before a word and, with a depth, after the last are fill words.
// words_written is then the highest word address written + 1.
verilog_hex::ConversionResult split_words(verilog_hex::TextReader& input,
                                          std::span<verilog_hex::ImageWriter* const> banks,
                                          const BankLayout& layout,
                                          verilog_hex::Spool::OpenScratch open_scratch,
                                          std::uint64_t& words_written);

// Reads the input to its end and writes, for every word, its address and slice j of its
// data text to bank j (slice 0 is the leftmost), digits characters a slice. A word is a
// word line's, or a word item of the other lines read as a memory file, whose data text
// has word_digits digits. Lines that hold neither are skipped; the words of a line
// wait until it is judged, past a block of them in a scratch file that open_scratch
// makes. Stops when the input cannot be read, a bank or the scratch file cannot be
// written or a word item is too wide.
verilog_hex::ConversionResult split_words(verilog_hex::TextReader& input,
                                          std::span<verilog_hex::ImageWriter* const> banks,
                                          std::int32_t digits, std::size_t word_digits,
                                          verilog_hex::Spool::OpenScratch open_scratch);

}  // namespace splitter
