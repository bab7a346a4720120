#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "conversion_result.hpp"
#include "image_writer.hpp"
#include "spool.hpp"
#include "text_reader.hpp"

namespace splitter {

// Slice j of a data text: the digits from offset j * digits, at most that many.
inline std::string_view data_slice(std::string_view data, std::int32_t slice, std::int32_t digits) {
  const auto offset = static_cast<std::size_t>(slice) * static_cast<std::size_t>(digits);
  if (offset >= data.size()) return {};
  return data.substr(offset, static_cast<std::size_t>(digits));
}

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
