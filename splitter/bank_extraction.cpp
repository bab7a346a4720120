#include "bank_extraction.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bank_naming.hpp"

namespace marisk {
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

constexpr std::array<bool, 256> make_upper_hex_digits() {
  std::array<bool, 256> upper{};
  for (int c = 0; c < 256; ++c) {
    upper[static_cast<std::size_t>(c)] =
        vh::kHexDigitValue[static_cast<std::size_t>(c)] >= 0 && (c < 'a' || c > 'f');
  }
  return upper;
}
constexpr std::array<bool, 256> kUpperHexDigit = make_upper_hex_digits();

// Writes the slices of each common word line at the start of the text to their banks, up
// to the first other line, and gives how many bytes those lines hold. A common line is "@", at most
// eight hexadecimal digits, TAB, a data text without NUL and LF, within a line's length;
// the general parse reads all others. An address field already in the form the bank
// needs ("@", upper-case digits without leading zeros, TAB) goes over as it stands.
std::size_t write_simple_word_lines(std::string_view text, std::span<vh::TextWriter* const> banks,
                                    std::int32_t digits) {
  const char* next = text.data();
  const char* const end = next + text.size();
  for (;;) {
    const char* const line = next;
    const char* const limit = line + std::min<std::size_t>(end - line, vh::TextReader::kMaxLine);
    if (line == limit || *line != '@') break;
    const char* p = line + 1;
    while (p != limit && kUpperHexDigit[static_cast<unsigned char>(*p)]) ++p;
    const std::ptrdiff_t field = p - line;  // "@" and the digits
    const bool as_written = field >= 2 && field <= 9 && (line[1] != '0' || field == 2);
    std::uint32_t address = 0;
    if (!as_written) {
      for (p = line + 1; p != limit && vh::hex_digit_value(*p) >= 0; ++p) {
        address = address << 4 | static_cast<std::uint32_t>(vh::hex_digit_value(*p));
      }
      if (p - line > 9) break;
    }
    if (p == limit || *p != '\t') break;
    const char* const data = p + 1;
    const char* const stop = find_line_stop(data, limit);
    if (stop == data || stop == limit || *stop != '\n') break;
    const std::string_view word_data(data, static_cast<std::size_t>(stop - data));
    const std::string_view head(line, static_cast<std::size_t>(data - line));
    for (std::size_t slice = 0; slice < banks.size(); ++slice) {
      const std::string_view bank_data =
          data_slice(word_data, static_cast<std::int32_t>(slice), digits);
      if (as_written) {
        banks[slice]->write_line(head, bank_data);
      } else {
        banks[slice]->write_word_line(address, bank_data);
      }
    }
    next = stop + 1;
  }
  return static_cast<std::size_t>(next - text.data());
}

}  // namespace

bool split_words(vh::TextReader& input, std::span<vh::TextWriter* const> banks,
                 std::int32_t digits) {
  while (!input.at_end()) {
    // The common lines go straight from the buffer, a whole buffer at a time.
    input.consume(write_simple_word_lines(input.buffered(), banks, digits));

    const auto line = input.read_line();
    if (!line) {
      if (input.failed()) return false;
      continue;
    }
    const auto word = vh::parse_word_line(*line);
    if (!word) continue;
    for (std::size_t slice = 0; slice < banks.size(); ++slice) {
      banks[slice]->write_word_line(
          word->address, data_slice(word->data, static_cast<std::int32_t>(slice), digits));
    }
  }
  return true;
}

SplitStatus write_banks(vh::TextReader& input, vh::FileSystem& files, std::string_view base_name,
                        std::int32_t bank_count, std::int32_t split_width, bool big_endian) {
  vh::OutputBatch outputs(files);
  // Declared after the batch, so that they are closed before it removes what is left.
  std::vector<std::unique_ptr<vh::TextWriter>> writers;
  std::vector<vh::TextWriter*> banks;
  const std::size_t capacity =
      std::min(vh::TextWriter::kDefaultCapacity, kOutputBudget / (2 * bank_count));
  for (std::int32_t slice = 0; slice < bank_count; ++slice) {
    const std::string name = bank_file_name(base_name, bank_number(slice, bank_count, big_endian));
    auto sink = outputs.open(name);
    if (!sink) return SplitStatus::io_failed;
    writers.push_back(std::make_unique<vh::TextWriter>(std::move(sink), capacity));
    banks.push_back(writers.back().get());
  }
  bool written = split_words(input, banks, 2 * (split_width / 8));
  for (const auto& writer : writers) written = writer->finish() && written;
  // The banks get their names together, and only when every one is whole.
  return written && outputs.commit() ? SplitStatus::ok : SplitStatus::io_failed;
}

}  // namespace marisk
