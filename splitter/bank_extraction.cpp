#include "bank_extraction.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>

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

// Writes the slice of each common word line at the start of the text, up to the first
// other line, and gives how many bytes those lines hold. A common line is "@", at most
// eight hexadecimal digits, TAB, a data text without NUL and LF, within a line's length;
// the general parse reads all others. An address field already in the form the bank
// needs ("@", upper-case digits without leading zeros, TAB) goes over as it stands.
std::size_t write_simple_word_lines(std::string_view text, vh::TextWriter& bank, std::int32_t slice,
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
    const std::string_view bank_data =
        data_slice({data, static_cast<std::size_t>(stop - data)}, slice, digits);
    if (as_written) {
      bank.write_line({line, static_cast<std::size_t>(data - line)}, bank_data);
    } else {
      bank.write_word_line(address, bank_data);
    }
    next = stop + 1;
  }
  return static_cast<std::size_t>(next - text.data());
}

}  // namespace

bool write_slice(vh::TextReader& input, vh::TextWriter& bank, std::int32_t slice,
                 std::int32_t digits) {
  if (!input.rewind()) return false;
  while (!input.at_end()) {
    // The common lines go straight from the buffer, a whole buffer at a time.
    input.consume(write_simple_word_lines(input.buffered(), bank, slice, digits));

    const auto line = input.read_line();
    if (!line) {
      if (input.failed()) return false;
      continue;
    }
    const auto word = vh::parse_word_line(*line);
    if (!word) continue;
    bank.write_word_line(word->address, data_slice(word->data, slice, digits));
  }
  return true;
}

SplitStatus write_banks(vh::TextReader& input, std::string_view base_name, std::int32_t bank_count,
                        std::int32_t split_width, bool big_endian) {
  const std::int32_t digits = 2 * (split_width / 8);
  for (std::int32_t slice = 0; slice < bank_count; ++slice) {
    const std::string name = bank_file_name(base_name, bank_number(slice, bank_count, big_endian));
    auto sink = vh::ByteSink::create_file(name);
    if (!sink) return SplitStatus::io_failed;
    vh::TextWriter bank(std::move(*sink));
    const bool read = write_slice(input, bank, slice, digits);
    if (!bank.finish() || !read) return SplitStatus::io_failed;
  }
  return SplitStatus::ok;
}

}  // namespace marisk
