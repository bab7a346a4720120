#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "verilog_hex.hpp"

namespace splitter {

// Slice j of a data text: the digits from offset j * digits, at most that many.
inline std::string_view data_slice(std::string_view data, std::int32_t slice, std::int32_t digits) {
  const auto offset = static_cast<std::size_t>(slice) * static_cast<std::size_t>(digits);
  if (offset >= data.size()) return {};
  return data.substr(offset, static_cast<std::size_t>(digits));
}

// Reads the input to its end and writes, for every word line, its address and slice j
// of its data text to bank j (slice 0 is the leftmost). Lines that hold no word are
// skipped. False when the input cannot be read.
bool split_words(verilog_hex::TextReader& input, std::span<verilog_hex::ImageWriter* const> banks,
                 std::int32_t digits);

enum class SplitStatus { ok, io_failed };

// The output buffers of all banks together take at most this many bytes.
inline constexpr std::size_t kOutputBudget = 4 << 20;

// Writes every bank file in one pass over the input. They get their names together once
// all are written; a bank file that cannot be opened or written, or an input that
// cannot be read, leaves every file as it was. split_width must be at least 8 and
// bank_count at least 1.
SplitStatus write_banks(verilog_hex::TextReader& input, verilog_hex::FileSystem& files,
                        std::string_view base_name, std::int32_t bank_count,
                        std::int32_t split_width, bool big_endian);

}  // namespace splitter
