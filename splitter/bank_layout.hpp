#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "output_format.hpp"

namespace splitter {

// Slice j of a data text: the digits from offset j * digits, at most that many.
inline std::string_view data_slice(std::string_view data, std::int32_t slice, std::int32_t digits) {
  const auto offset = static_cast<std::size_t>(slice) * static_cast<std::size_t>(digits);
  if (offset >= data.size()) return {};
  return data.substr(offset, static_cast<std::size_t>(digits));
}

// How the banks are written: in which format, how deep, with which fill byte.
struct BankLayout {
  std::int32_t digits;                                                  // of a slice
  std::size_t word_digits;                                              // of a word item
  const verilog_hex::OutputFormat* format = &verilog_hex::kVerilogHex;  // the lines
  std::uint32_t depth = 0;  // each bank holds exactly the words 0 to depth - 1; 0: none
  std::uint8_t fill_byte = 0;
  // With a depth: the words of one chip, the banks laid in rows of that many words (word
  // A in row A / row_depth at A mod row_depth, the banks given row after row); 0: one row.
  std::uint32_t row_depth = 0;
};

// The banks of one row.
inline std::size_t slices_of(const BankLayout& layout, std::size_t banks) {
  if (layout.row_depth == 0) return banks;
  return banks / ((std::uint64_t{layout.depth} + layout.row_depth - 1) / layout.row_depth);
}

}  // namespace splitter
