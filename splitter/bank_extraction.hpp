#pragma once

#include <cstdint>
#include <string_view>

#include "verilog_hex.hpp"

namespace marisk {

// Slice j of a data text: the digits from offset j * digits, at most that many.
inline std::string_view data_slice(std::string_view data, std::int32_t slice, std::int32_t digits) {
  const auto offset = static_cast<std::size_t>(slice) * static_cast<std::size_t>(digits);
  if (offset >= data.size()) return {};
  return data.substr(offset, static_cast<std::size_t>(digits));
}

// Reads the input from its start and writes, for every word line, its address and slice
// j of its data text. Lines that hold no word are skipped. False when the input cannot
// be read.
bool write_slice(vh::TextReader& input, vh::TextWriter& bank, std::int32_t slice,
                 std::int32_t digits);

enum class SplitStatus { ok, io_failed };

// Writes every bank file, one pass over the input each, in slice order. A bank file
// that cannot be opened or written ends the work; the banks finished so far stay.
// split_width must be at least 8 and bank_count at least 1.
SplitStatus write_banks(vh::TextReader& input, std::string_view base_name, std::int32_t bank_count,
                        std::int32_t split_width, bool big_endian);

}  // namespace marisk
