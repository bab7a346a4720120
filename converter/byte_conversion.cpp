#include "byte_conversion.hpp"

#include <array>

namespace tolvane {
namespace {

constexpr char kUpperHex[] = "0123456789ABCDEF";
constexpr unsigned kMaxBytesPerWord = 32;

// The upper-case form of a hexadecimal digit, by byte; 0 for every other byte.
constexpr std::array<char, 256> make_upper_digits() {
  std::array<char, 256> digits{};
  for (int c = 0; c < 256; ++c) {
    const int value = vh::kHexDigitValue[static_cast<std::size_t>(c)];
    digits[static_cast<std::size_t>(c)] = value < 0 ? '\0' : kUpperHex[value];
  }
  return digits;
}
constexpr std::array<char, 256> kUpperDigit = make_upper_digits();

char upper_digit(char c) { return kUpperDigit[static_cast<unsigned char>(c)]; }

// Where byte k of a word goes in its data text, in digits.
unsigned digit_offset(unsigned k, unsigned bytes_per_word, bool big_endian) {
  return 2 * (big_endian ? k : bytes_per_word - 1 - k);
}

// Takes one word straight from the reader's buffer when its lines are all the common
// "HH" LF; false, taking nothing, otherwise.
bool take_simple_word(std::string_view text, unsigned bytes_per_word, bool big_endian,
                      char* digits) {
  if (text.size() < 3 * bytes_per_word) return false;
  const char* line = text.data();
  for (unsigned k = 0; k < bytes_per_word; ++k, line += 3) {
    const char high = upper_digit(line[0]);
    const char low = upper_digit(line[1]);
    if (high == '\0' || low == '\0' || line[2] != '\n') return false;
    char* out = digits + digit_offset(k, bytes_per_word, big_endian);
    out[0] = high;
    out[1] = low;
  }
  return true;
}

}  // namespace

std::uint8_t parse_byte_line(std::string_view line) {
  // Almost every line is two digits and a line end; anything else takes the full parse.
  if (line.size() == 3 ? line[2] == '\n' : line.size() == 2) {
    const int high = vh::hex_digit_value(line[0]);
    const int low = vh::hex_digit_value(line[1]);
    if ((high | low) >= 0) return static_cast<std::uint8_t>(high << 4 | low);
  }
  return static_cast<std::uint8_t>(vh::parse_unsigned(line, 16));
}

ConvertStatus convert_bytes(vh::TextReader& input, vh::TextWriter& output, std::uint8_t data_width,
                            bool big_endian) {
  const unsigned bytes_per_word = data_width / 8u;
  const std::size_t word_size = 3 * bytes_per_word;
  std::array<char, 2 * kMaxBytesPerWord> digits{};
  const std::string_view word(digits.data(), 2 * bytes_per_word);
  for (std::uint32_t address = 0;; ++address) {
    // The common lines go straight from the buffer, a whole buffer at a time.
    const std::string_view text = input.buffered();
    std::size_t taken = 0;
    while (take_simple_word(text.substr(taken), bytes_per_word, big_endian, digits.data())) {
      output.write_word_line(address++, word);
      taken += word_size;
    }
    input.consume(taken);

    // Any other word, line by line; a word is begun only once its first line is read.
    const auto first = input.read_line();
    if (!first) break;
    for (unsigned k = 0; k < bytes_per_word; ++k) {
      const auto line = k == 0 ? first : input.read_line();
      const std::uint8_t value = line ? parse_byte_line(*line) : 0;
      char* out = digits.data() + digit_offset(k, bytes_per_word, big_endian);
      out[0] = kUpperHex[value >> 4];
      out[1] = kUpperHex[value & 0xF];
    }
    if (input.failed()) return ConvertStatus::read_failed;
    output.write_word_line(address, word);
  }
  return input.failed() ? ConvertStatus::read_failed : ConvertStatus::ok;
}

}  // namespace tolvane
