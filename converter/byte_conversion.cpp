#include "byte_conversion.hpp"

#include <array>
#include <bit>
#include <cstring>

#include "fast_paths.hpp"
#include "hex_digits.hpp"
#include "number_parse.hpp"
#include "numbered_words.hpp"

namespace converter {
namespace {

bool is_byte_line(const char* line) {
  return verilog_hex::hex_digit_value(line[0]) >= 0 && verilog_hex::hex_digit_value(line[1]) >= 0 &&
         line[2] == '\n';
}

// How many of the text's first lines are the common "HH" LF, taking sixteen lines (48
// bytes) a step where the machine allows.
std::size_t count_byte_lines(std::string_view text) {
  const char* p = text.data();
  std::size_t lines = 0;
#ifdef VH_SSE2_PATHS
  // Bit i: byte i of a 48-byte block is where a line's LF belongs.
  constexpr std::uint64_t kLineEnds = 0x924924924924;
  constexpr std::uint64_t kAll = (std::uint64_t{1} << 48) - 1;
  const __m128i lf = _mm_set1_epi8('\n');
  for (; text.size() - 3 * lines >= 48; p += 48, lines += 16) {
    std::uint64_t right = 0;  // bit i: byte i is what its place needs
    for (int part = 0; part < 3; ++part) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * part));
      const auto ends = static_cast<std::uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, lf)));
      const auto digits =
          static_cast<std::uint64_t>(_mm_movemask_epi8(verilog_hex::hex_digit_mask(bytes)));
      const std::uint64_t places = kLineEnds >> (16 * part) & 0xFFFF;
      right |= ((ends & places) | (digits & ~places & 0xFFFF)) << (16 * part);
    }
    if (right != kAll) return lines + static_cast<std::size_t>(std::countr_one(right)) / 3;
  }
#endif
  for (; text.size() - 3 * lines >= 3 && is_byte_line(p); p += 3) ++lines;
  return lines;
}

// The digits of one byte line "HH" LF of the text, as the two low bytes of a number:
// the first digit in the lowest byte, which comes first in memory.
std::uint64_t line_digits(const char* line) {
  std::uint16_t pair;
  std::memcpy(&pair, line, 2);
  return pair;
}

// The digits of the word whose byte lines start the text, gathered in a register and
// put in upper case: for a word of up to four bytes, all its digits in memory order.
template <unsigned kBytes>
std::uint64_t word_digits(const char* line, bool big_endian) {
  std::uint64_t digits = 0;
  for (unsigned k = 0; k < kBytes; ++k) {
    const unsigned place = big_endian ? k : kBytes - 1 - k;
    if constexpr (std::endian::native == std::endian::little) {
      digits |= line_digits(line + 3 * k) << (16 * place);
    } else {
      digits |= line_digits(line + 3 * k) << (16 * (3 - place));
    }
  }
  return verilog_hex::upper_case_hex_digits(digits);
}

// Writes the given number of words of common lines that start the text, addressed from
// address on. kFixedBytes, when not 0, is the word's size known at compile time: words
// of up to four bytes are formed in a register and stored in one go, without a loop
// inside the loop.
template <unsigned kFixedBytes>
void write_simple_words(const char* line, std::size_t words, unsigned bytes_per_word,
                        bool big_endian, std::uint32_t address, verilog_hex::ImageWriter& output) {
  if constexpr (kFixedBytes != 0) {
    constexpr std::size_t kDigits = 2 * kFixedBytes;
    verilog_hex::write_numbered_words(output, address, words, kDigits, 8 - kDigits, [&](char* out) {
      const std::uint64_t digits = word_digits<kFixedBytes>(line, big_endian);
      std::memcpy(out, &digits, 8);
      line += 3 * kFixedBytes;
    });
  } else {
    verilog_hex::write_byte_words(output, address, words, bytes_per_word, big_endian,
                                  [&](char* out) {
                                    out[0] = line[0];
                                    out[1] = line[1];
                                    verilog_hex::upper_case_hex_digits(std::span(out, 2));
                                    line += 3;
                                  });
  }
}

}  // namespace

std::uint8_t parse_byte_line(std::string_view line) {
  // Almost every line is two digits and a line end; anything else takes the full parse.
  if (line.size() == 3 ? line[2] == '\n' : line.size() == 2) {
    const int high = verilog_hex::hex_digit_value(line[0]);
    const int low = verilog_hex::hex_digit_value(line[1]);
    if ((high | low) >= 0) return static_cast<std::uint8_t>(high << 4 | low);
  }
  return static_cast<std::uint8_t>(verilog_hex::parse_unsigned(line, 16));
}

verilog_hex::ConversionResult convert_bytes(verilog_hex::TextReader& input, ImageWords& words) {
  const unsigned bytes_per_word = words.bytes_per_word();
  const std::size_t word_size = 3 * bytes_per_word;
  const auto write_simple = bytes_per_word == 4   ? write_simple_words<4>
                            : bytes_per_word == 2 ? write_simple_words<2>
                            : bytes_per_word == 1 ? write_simple_words<1>
                                                  : write_simple_words<0>;
  std::array<char, kMaxBytesPerWord> word{};
  for (std::uint64_t address = 0;; ++address) {
    // The common lines go straight from the buffer, a whole buffer at a time.
    const std::string_view text = input.buffered();
    const std::size_t lines = count_byte_lines(text) / bytes_per_word;
    // Cropped to the depth: reading stops at the first byte past it.
    const auto count = static_cast<std::size_t>(words.within_depth(address, lines));
    if (auto refused = words.take(address, count)) return *refused;
    write_simple(text.data(), count, bytes_per_word, words.big_endian(),
                 static_cast<std::uint32_t>(address), words.output());
    address += count;
    input.consume(count * word_size);
    if (count < lines || words.within_depth(address, 1) == 0) {
      if (count < lines || !input.buffered().empty()) words.note_cut();
      break;
    }

    // Any other word, line by line; a word is begun only once its first line is read.
    const auto first = input.read_line(kMaxByteLine);
    if (!first) break;
    for (unsigned k = 0; k < bytes_per_word; ++k) {
      const auto line = k == 0 ? first : input.read_line(kMaxByteLine);
      word[k] = static_cast<char>(line ? parse_byte_line(*line) : words.fill_byte());
    }
    if (input.failed()) break;
    if (auto refused = words.write(address, word.data(), 1)) return *refused;
  }
  return verilog_hex::stopped(input.failed() ? verilog_hex::Stop::read_failed
                                             : verilog_hex::Stop::done);
}

verilog_hex::ConversionResult convert_binary(verilog_hex::BlockReader& input, ImageWords& words) {
  const unsigned bytes_per_word = words.bytes_per_word();
  std::uint64_t address = 0;
  for (;;) {
    // Whole words straight from the buffer; a block is read once fewer than a word is left.
    const std::string_view bytes = input.fill(bytes_per_word);
    const std::size_t whole = bytes.size() / bytes_per_word;
    // Cropped to the depth: reading stops at the first byte past it.
    const auto count = static_cast<std::size_t>(words.within_depth(address, whole));
    if (count == 0) break;
    if (auto refused = words.write(address, bytes.data(), count)) return *refused;
    address += count;
    input.consume(count * bytes_per_word);
    if (count < whole) {
      words.note_cut();
      return {};
    }
  }
  if (words.within_depth(address, 1) == 0) {
    if (!input.fill(1).empty()) words.note_cut();
    return {};
  }
  if (input.failed()) return verilog_hex::stopped(verilog_hex::Stop::read_failed);
  // A last word begun: its missing bytes are the fill byte.
  const std::string_view rest = input.buffered();
  if (!rest.empty()) {
    std::array<char, kMaxBytesPerWord> word;
    word.fill(static_cast<char>(words.fill_byte()));
    std::memcpy(word.data(), rest.data(), rest.size());
    if (auto refused = words.write(address, word.data(), 1)) return *refused;
    input.consume(rest.size());
  }
  return {};
}

}  // namespace converter
