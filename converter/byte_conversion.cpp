#include "byte_conversion.hpp"

#include <array>
#include <bit>
#include <cstring>

#include "fast_paths.hpp"
#include "hex_digits.hpp"
#include "number_parse.hpp"

namespace converter {
namespace {

constexpr unsigned kMaxBytesPerWord = 32;

// Where byte k of a word goes in its data text, in digits.
unsigned digit_offset(unsigned k, unsigned bytes_per_word, bool big_endian) {
  return 2 * (big_endian ? k : bytes_per_word - 1 - k);
}

// Stores byte k of a word as its two upper-case digits at their place in the word's
// data text.
void put_byte(char* digits, unsigned k, unsigned bytes_per_word, bool big_endian,
              std::uint8_t value) {
  char* out = digits + digit_offset(k, bytes_per_word, big_endian);
  out[0] = verilog_hex::kUpperHexDigits[value >> 4];
  out[1] = verilog_hex::kUpperHexDigits[value & 0xF];
}

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

// Words numbered from the address on, count of them, each of data_size digits that
// put_data(out) stores at out; gives the next address. put_data may store up to
// data_slack bytes past the digits (in stores of a fixed size), which the room reserved
// here allows for and the next line overwrites. For long runs of words: the buffer is
// reserved a batch at a time, and only every sixteenth address is formed whole.
template <class PutData>
std::uint32_t write_numbered_words(verilog_hex::ImageWriter& output, std::uint32_t address,
                                   std::size_t count, std::size_t data_size, std::size_t data_slack,
                                   PutData put_data) {
  const std::size_t line =
      verilog_hex::AddressField::kMaxSize + data_size + verilog_hex::ImageWriter::kLineEnd.size();
  const std::size_t room = output.capacity() > data_slack ? output.capacity() - data_slack : 0;
  const std::size_t most = room / line;
  if (most == 0) {  // too small a buffer for a batch: one word at a time
    std::array<char, 2 * kMaxBytesPerWord + 8> digits;
    for (; count > 0; --count) {
      put_data(digits.data());
      output.write_word(address++, {digits.data(), data_size});
    }
    return address;
  }
  char head[8] = {};  // "@" and the digits before the last one
  std::size_t head_size = 0;
  while (count > 0) {
    const std::size_t batch = count < most ? count : most;
    char* out = output.reserve(batch * line + data_slack);
    for (std::size_t i = 0; i < batch; ++i, ++address) {
      if (head_size == 0 || (address & 0xF) == 0) {
        if (address < 16) {
          head[0] = '@';
          head_size = 1;
        } else {
          char field[16];
          head_size = verilog_hex::AddressField::put(field, address >> 4) - field - 1;
          std::memcpy(head, field, 8);
        }
      }
      std::memcpy(out, head, 8);
      out += head_size;
      out[0] = verilog_hex::kUpperHexDigits[address & 0xF];
      out[1] = '\t';
      put_data(out + 2);
      out = verilog_hex::ImageWriter::put_line_end(out + 2 + data_size);
    }
    output.commit(out);
    count -= batch;
  }
  return address;
}

// Words of up to four bytes, numbered from the address on, count of them, whose digits
// word_digits(input) forms in one register from the input, which steps on by step bytes
// a word; gives the next address. All the digits go out in one store of eight bytes.
template <unsigned kBytes, class WordDigits>
std::uint32_t write_register_words(verilog_hex::ImageWriter& output, std::uint32_t address,
                                   std::size_t count, const char* input, std::size_t step,
                                   WordDigits word_digits) {
  constexpr std::size_t kDigits = 2 * kBytes;
  return write_numbered_words(output, address, count, kDigits, 8 - kDigits, [&](char* out) {
    const std::uint64_t digits = word_digits(input);
    std::memcpy(out, &digits, 8);
    input += step;
  });
}

// Writes the given number of words of common lines that start the text, addressed from
// address on, and gives the next address. kFixedBytes, when not 0, is the word's size
// known at compile time: words of up to four bytes are formed in a register, without a
// loop inside the loop.
template <unsigned kFixedBytes>
std::uint32_t write_simple_words(const char* line, std::size_t words, unsigned bytes_per_word,
                                 bool big_endian, std::uint32_t address,
                                 verilog_hex::ImageWriter& output) {
  if constexpr (kFixedBytes != 0) {
    return write_register_words<kFixedBytes>(
        output, address, words, line, 3 * kFixedBytes,
        [&](const char* at) { return word_digits<kFixedBytes>(at, big_endian); });
  }
  std::array<char, 2 * kMaxBytesPerWord> digits{};
  const std::string_view word(digits.data(), 2 * bytes_per_word);
  const std::ptrdiff_t step = big_endian ? 2 : -2;
  char* const first_digits = digits.data() + digit_offset(0, bytes_per_word, big_endian);
  for (std::size_t w = 0; w < words; ++w) {
    char* out = first_digits;
    for (unsigned k = 0; k < bytes_per_word; ++k, line += 3, out += step) {
      std::memcpy(out, line, 2);
    }
    verilog_hex::upper_case_hex_digits(std::span(digits).first(word.size()));
    output.write_word(address++, word);
  }
  return address;
}

// The digits of a word of kBytes bytes of binary input (at most four), in the order they
// are written, as the bytes of a number in memory: eight of them, the word's first.
template <unsigned kBytes>
std::uint64_t binary_word_digits(const char* bytes, bool big_endian) {
  std::uint32_t value = 0;
  for (unsigned k = 0; k < kBytes; ++k) {
    const unsigned place = big_endian ? k : kBytes - 1 - k;  // 0: written first
    value |= std::uint32_t{static_cast<unsigned char>(bytes[k])} << (8 * (3 - place));
  }
  return verilog_hex::eight_hex_digits(value);
}

// Writes the given number of whole words of binary input, addressed from address on, and
// gives the next address.
template <unsigned kFixedBytes>
std::uint32_t write_binary_words(const char* bytes, std::size_t words, unsigned bytes_per_word,
                                 bool big_endian, std::uint32_t address,
                                 verilog_hex::ImageWriter& output) {
  if constexpr (kFixedBytes != 0) {
    return write_register_words<kFixedBytes>(
        output, address, words, bytes, kFixedBytes,
        [&](const char* at) { return binary_word_digits<kFixedBytes>(at, big_endian); });
  }
  std::array<char, 2 * kMaxBytesPerWord> digits{};
  const std::string_view word(digits.data(), 2 * bytes_per_word);
  for (std::size_t w = 0; w < words; ++w, bytes += bytes_per_word) {
    for (unsigned k = 0; k < bytes_per_word; ++k) {
      put_byte(digits.data(), k, bytes_per_word, big_endian, static_cast<std::uint8_t>(bytes[k]));
    }
    output.write_word(address++, word);
  }
  return address;
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

ConvertStatus convert_bytes(verilog_hex::TextReader& input, verilog_hex::ImageWriter& output,
                            std::uint8_t data_width, bool big_endian) {
  const unsigned bytes_per_word = data_width / 8u;
  const std::size_t word_size = 3 * bytes_per_word;
  const auto write_simple = bytes_per_word == 4   ? write_simple_words<4>
                            : bytes_per_word == 2 ? write_simple_words<2>
                            : bytes_per_word == 1 ? write_simple_words<1>
                                                  : write_simple_words<0>;
  std::array<char, 2 * kMaxBytesPerWord> digits{};
  const std::string_view word(digits.data(), 2 * bytes_per_word);
  for (std::uint32_t address = 0;; ++address) {
    // The common lines go straight from the buffer, a whole buffer at a time.
    const std::string_view text = input.buffered();
    const std::size_t words = count_byte_lines(text) / bytes_per_word;
    address = write_simple(text.data(), words, bytes_per_word, big_endian, address, output);
    input.consume(words * word_size);

    // Any other word, line by line; a word is begun only once its first line is read.
    const auto first = input.read_line();
    if (!first) break;
    for (unsigned k = 0; k < bytes_per_word; ++k) {
      const auto line = k == 0 ? first : input.read_line();
      put_byte(digits.data(), k, bytes_per_word, big_endian, line ? parse_byte_line(*line) : 0);
    }
    if (input.failed()) return ConvertStatus::read_failed;
    output.write_word(address, word);
  }
  return input.failed() ? ConvertStatus::read_failed : ConvertStatus::ok;
}

ConvertStatus convert_binary(verilog_hex::BlockReader& input, verilog_hex::ImageWriter& output,
                             std::uint8_t data_width, bool big_endian) {
  const unsigned bytes_per_word = data_width / 8u;
  const auto write_words = bytes_per_word == 4   ? write_binary_words<4>
                           : bytes_per_word == 2 ? write_binary_words<2>
                           : bytes_per_word == 1 ? write_binary_words<1>
                                                 : write_binary_words<0>;
  std::uint32_t address = 0;
  for (;;) {
    // Whole words straight from the buffer; a block is read once fewer than a word is left.
    const std::string_view bytes = input.fill(bytes_per_word);
    const std::size_t words = bytes.size() / bytes_per_word;
    if (words == 0) break;
    address = write_words(bytes.data(), words, bytes_per_word, big_endian, address, output);
    input.consume(words * bytes_per_word);
  }
  if (input.failed()) return ConvertStatus::read_failed;
  // A last word begun: its missing bytes are 0x00.
  const std::string_view rest = input.buffered();
  if (!rest.empty()) {
    std::array<char, kMaxBytesPerWord> word{};
    std::memcpy(word.data(), rest.data(), rest.size());
    write_words(word.data(), 1, bytes_per_word, big_endian, address, output);
    input.consume(rest.size());
  }
  return ConvertStatus::ok;
}

}  // namespace converter
