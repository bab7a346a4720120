#include "bank_extraction.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bank_naming.hpp"

namespace splitter {
namespace {

// The first LF or NUL in [p, end), or end: eight bytes a step, as data texts are long
// runs of ordinary characters.
const char* find_line_stop(const char* p, const char* end) {
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t kOnes = 0x0101010101010101;
    constexpr std::uint64_t kHighs = 0x8080808080808080;
    for (; end - p >= 8; p += 8) {
      std::uint64_t bytes;
      std::memcpy(&bytes, p, 8);
      const std::uint64_t lf = bytes ^ (kOnes * '\n');
      // The lowest byte flagged is exactly the first zero byte of either word.
      const std::uint64_t stops = (((bytes - kOnes) & ~bytes) | ((lf - kOnes) & ~lf)) & kHighs;
      if (stops != 0) return p + std::countr_zero(stops) / 8;
    }
  }
  while (p != end && *p != '\n' && *p != '\0') ++p;
  return p;
}

// Writes the slices of each common word line at the start of the text to their banks, up
// to the first other line, and gives how many bytes those lines hold. A common line is
// "@", at most eight hexadecimal digits, TAB, a data text without NUL and LF, within a
// line's length; the general parse reads all others.
std::size_t write_simple_word_lines(std::string_view text,
                                    std::span<verilog_hex::ImageWriter* const> banks,
                                    std::int32_t digits) {
  const char* next = text.data();
  const char* const end = next + text.size();
  for (;;) {
    const char* const line = next;
    const char* const limit =
        line + std::min<std::size_t>(end - line, verilog_hex::TextReader::kMaxLine);
    if (line == limit || *line != '@') break;
    const char* p = line + 1;
    while (p != limit && verilog_hex::hex_digit_value(*p) >= 0) ++p;
    const std::string_view address_digits(line + 1, static_cast<std::size_t>(p - line - 1));
    if (address_digits.size() > 8 || p == limit || *p != '\t') break;
    const char* const data = p + 1;
    const char* const stop = find_line_stop(data, limit);
    if (stop == data || stop == limit || *stop != '\n') break;
    const verilog_hex::AddressField address =
        verilog_hex::AddressField::from_digits(address_digits);
    const std::string_view word_data(data, static_cast<std::size_t>(stop - data));
    for (std::size_t slice = 0; slice < banks.size(); ++slice) {
      banks[slice]->write_word(address,
                               data_slice(word_data, static_cast<std::int32_t>(slice), digits));
    }
    next = stop + 1;
  }
  return static_cast<std::size_t>(next - text.data());
}

}  // namespace

bool split_words(verilog_hex::TextReader& input, std::span<verilog_hex::ImageWriter* const> banks,
                 std::int32_t digits) {
  while (!input.at_end()) {
    // The common lines go straight from the buffer, a whole buffer at a time.
    input.consume(write_simple_word_lines(input.buffered(), banks, digits));

    const auto line = input.read_line();
    if (!line) {
      if (input.failed()) return false;
      continue;
    }
    const auto word = verilog_hex::parse_word_line(*line);
    if (!word) continue;
    for (std::size_t slice = 0; slice < banks.size(); ++slice) {
      banks[slice]->write_word(word->address,
                               data_slice(word->data, static_cast<std::int32_t>(slice), digits));
    }
  }
  return true;
}

SplitStatus write_banks(verilog_hex::TextReader& input, verilog_hex::FileSystem& files,
                        std::string_view base_name, std::int32_t bank_count,
                        std::int32_t split_width, bool big_endian) {
  verilog_hex::OutputBatch outputs(files);
  // Declared after the batch, so that they are closed before it removes what is left.
  std::vector<std::unique_ptr<verilog_hex::ImageWriter>> writers;
  std::vector<verilog_hex::ImageWriter*> banks;
  const std::size_t capacity =
      std::min(verilog_hex::TextWriter::kDefaultCapacity, kOutputBudget / (2 * bank_count));
  for (std::int32_t slice = 0; slice < bank_count; ++slice) {
    const std::string name = bank_file_name(base_name, bank_number(slice, bank_count, big_endian));
    auto sink = outputs.open(name);
    if (!sink) return SplitStatus::io_failed;
    writers.push_back(std::make_unique<verilog_hex::ImageWriter>(std::move(sink), capacity));
    banks.push_back(writers.back().get());
  }
  bool written = split_words(input, banks, 2 * (split_width / 8));
  for (const auto& writer : writers) written = writer->finish() && written;
  // The banks get their names together, and only when every one is whole.
  return written && outputs.commit() ? SplitStatus::ok : SplitStatus::io_failed;
}

}  // namespace splitter
