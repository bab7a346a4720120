#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "fast_paths.hpp"
#ifdef VH_SSE2_PATHS
#include <emmintrin.h>
#endif

// The hexadecimal digits 0-9, a-f and A-F, the one class every fast path takes its
// common lines by; the rest of the text goes to the general parse.
namespace verilog_hex {

namespace detail {
constexpr std::array<std::int8_t, 256> make_hex_digit_values() {
  std::array<std::int8_t, 256> values{};
  values.fill(-1);
  for (int c = '0'; c <= '9'; ++c) values[c] = static_cast<std::int8_t>(c - '0');
  for (int c = 'a'; c <= 'f'; ++c) values[c] = static_cast<std::int8_t>(c - 'a' + 10);
  for (int c = 'A'; c <= 'F'; ++c) values[c] = static_cast<std::int8_t>(c - 'A' + 10);
  return values;
}
}  // namespace detail

// How many bytes leading_hex_digits() and lower_case_hex_letters() look at.
inline constexpr std::size_t kHexScanWidth = 16;

// The digits as they are written, by value.
inline constexpr char kUpperHexDigits[] = "0123456789ABCDEF";

// The value of a hexadecimal digit of either case, by byte; -1 for every other byte.
inline constexpr std::array<std::int8_t, 256> kHexDigitValue = detail::make_hex_digit_values();

inline int hex_digit_value(char c) { return kHexDigitValue[static_cast<unsigned char>(c)]; }

// Eight hexadecimal digits (or NUL bytes) in upper case: of the digits, the lower-case
// letters alone have bit 6 set, and lose bit 5.
inline std::uint64_t upper_case_hex_digits(std::uint64_t eight) {
  return eight & ~((eight & 0x4040404040404040) >> 1);
}

// Hexadecimal digits in upper case, eight at a time and the rest one by one. Only for
// digits.
inline void upper_case_hex_digits(std::span<char> digits) {
  std::size_t i = 0;
  for (; digits.size() - i >= 8; i += 8) {
    std::uint64_t eight;
    std::memcpy(&eight, digits.data() + i, 8);
    eight = upper_case_hex_digits(eight);
    std::memcpy(digits.data() + i, &eight, 8);
  }
  for (; i < digits.size(); ++i) {
    digits[i] = static_cast<char>(upper_case_hex_digits(static_cast<unsigned char>(digits[i])));
  }
}

// The eight upper-case hexadecimal digits of the value, leading zeros kept, as a 64-bit
// number whose bytes in memory are the digits in the order they are written.
inline std::uint64_t eight_hex_digits(std::uint32_t value) {
  std::uint64_t nibbles = value;  // one nibble a byte, the last digit in the lowest
  nibbles = (nibbles | nibbles << 16) & 0x0000FFFF0000FFFF;
  nibbles = (nibbles | nibbles << 8) & 0x00FF00FF00FF00FF;
  nibbles = (nibbles | nibbles << 4) & 0x0F0F0F0F0F0F0F0F;
  // A nibble of 10 or more carries into bit 4 once 6 is added: it then needs 7 more.
  const std::uint64_t letters = ((nibbles + 0x0606060606060606) >> 4) & 0x0101010101010101;
  const std::uint64_t text = nibbles + 0x3030303030303030 + letters * 7;
  // The first digit must come first in memory.
  if constexpr (std::endian::native == std::endian::little) return __builtin_bswap64(text);
  return text;
}

// The value of count (1 to 8) hexadecimal digits of either case at p, eight bytes
// readable there: all at once in a register.
inline std::uint32_t hex_digits_value(const char* p, std::size_t count) {
  std::uint64_t text;
  std::memcpy(&text, p, 8);
  // The first digit as the highest byte, the last as the lowest, the rest shifted out.
  if constexpr (std::endian::native == std::endian::little) text = __builtin_bswap64(text);
  text >>= 8 * (8 - count);
  // A digit's value is its low four bits, and 9 more for a letter (bit 6 set).
  text = (text & 0x0F0F0F0F0F0F0F0F) + 9 * (text >> 6 & 0x0101010101010101);
  text = (text | text >> 4) & 0x00FF00FF00FF00FF;
  text = (text | text >> 8) & 0x0000FFFF0000FFFF;
  return static_cast<std::uint32_t>(text | text >> 16);
}

#ifdef VH_SSE2_PATHS
namespace detail {
// Per byte: all ones where it lies in the size characters from first on. A signed
// compare, the range moved to begin at -128.
inline __m128i in_range(__m128i bytes, char first, int size) {
  const __m128i moved = _mm_add_epi8(bytes, _mm_set1_epi8(static_cast<char>(0x80 - first)));
  return _mm_cmplt_epi8(moved, _mm_set1_epi8(static_cast<char>(size - 128)));
}
// Per byte: all ones where it is a letter a-f or A-F.
inline __m128i hex_letter_mask(__m128i bytes) {
  return in_range(_mm_or_si128(bytes, _mm_set1_epi8(0x20)), 'a', 6);
}
// The values of sixteen characters as hexadecimal digits, a byte each: a digit's low
// four bits, and 9 more for a letter. The places of those that are none are cleared in
// digits.
inline __m128i hex_digit_values(__m128i text, __m128i& digits) {
  const __m128i letter = hex_letter_mask(text);
  digits = _mm_and_si128(digits, _mm_or_si128(in_range(text, '0', 10), letter));
  return _mm_add_epi8(_mm_and_si128(text, _mm_set1_epi8(0x0F)),
                      _mm_and_si128(letter, _mm_set1_epi8(9)));
}
// The bytes of two blocks of digit values: each pair's high digit is the low byte of its
// 16-bit lane, and a shift by four within a lane carries nothing over.
inline __m128i join_hex_pairs(__m128i first, __m128i second) {
  const __m128i low_bytes = _mm_set1_epi16(0xFF);
  const __m128i high =
      _mm_packus_epi16(_mm_and_si128(first, low_bytes), _mm_and_si128(second, low_bytes));
  const __m128i low = _mm_packus_epi16(_mm_srli_epi16(first, 8), _mm_srli_epi16(second, 8));
  return _mm_or_si128(_mm_slli_epi16(high, 4), low);
}
// Sixteen bytes loaded at kEdge + 32 - k: all ones from byte k on (k from 0 to 32).
alignas(16) inline constexpr std::uint8_t kEdge[64] = {
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
}  // namespace detail

// Per byte: all ones where the byte is a hexadecimal digit, sixteen at a time.
inline __m128i hex_digit_mask(__m128i bytes) {
  return _mm_or_si128(detail::in_range(bytes, '0', 10), detail::hex_letter_mask(bytes));
}

// How many of the sixteen bytes at p, from the first on, are hexadecimal digits; all
// sixteen must be readable.
inline unsigned leading_hex_digits(const char* p) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const auto digits = static_cast<unsigned>(_mm_movemask_epi8(hex_digit_mask(bytes)));
  return static_cast<unsigned>(__builtin_ctz(~digits));
}

// Bit i: byte i of the sixteen at p is a lower-case letter a-f; all must be readable.
inline unsigned lower_case_hex_letters(const char* p) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i letter = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('a' - 1)),
                                       _mm_cmplt_epi8(bytes, _mm_set1_epi8('f' + 1)));
  return static_cast<unsigned>(_mm_movemask_epi8(letter));
}
#else
inline unsigned leading_hex_digits(const char* p) {
  unsigned count = 0;
  while (count < kHexScanWidth && hex_digit_value(p[count]) >= 0) ++count;
  return count;
}

inline unsigned lower_case_hex_letters(const char* p) {
  unsigned letters = 0;
  for (unsigned i = 0; i < kHexScanWidth; ++i) {
    letters |= unsigned{p[i] >= 'a' && p[i] <= 'f'} << i;
  }
  return letters;
}
#endif

// The bytes of the pairs of hexadecimal digits of the text (high digit first) into out;
// gives their sum (as a record's checksum takes it), or -1 where a character is no
// hexadecimal digit. A record's digits, sixteen at a time where the machine can.
inline int decode_hex_pairs(std::string_view pairs, std::uint8_t* out) {
  const char* p = pairs.data();
  std::size_t left = pairs.size() / 2;  // bytes
  int sum = 0;
#ifdef VH_SSE2_PATHS
  if (left >= 8) {
    __m128i digits = _mm_set1_epi8(-1);  // loses the place of any character that is none
    __m128i sums = _mm_setzero_si128();
    const auto values = [&digits](const char* at) {
      return detail::hex_digit_values(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)),
                                      digits);
    };
    // Blocks of sixteen bytes, or of eight where fewer than sixteen are asked for; the
    // last bytes as the end of a block that overlaps those before it, whose first skip
    // bytes (decoded already) are left out of the sum.
    const std::size_t block = left >= 16 ? 16 : 8;
    const auto decode = [&](const char* at, std::uint8_t* to, std::size_t skip) {
      const __m128i bytes =
          detail::join_hex_pairs(values(at), block == 16 ? values(at + 16) : _mm_setzero_si128());
      if (block == 16) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to), bytes);
      } else {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to), bytes);
      }
      const __m128i kept =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(detail::kEdge + 32 - skip));
      sums = _mm_add_epi64(sums, _mm_sad_epu8(_mm_and_si128(kept, bytes), _mm_setzero_si128()));
    };
    for (; left >= block; left -= block, p += 2 * block, out += block) decode(p, out, 0);
    if (left > 0) decode(p + 2 * left - 2 * block, out + left - block, block - left);
    left = 0;
    if (_mm_movemask_epi8(digits) != 0xFFFF) return -1;
    sum = _mm_cvtsi128_si32(_mm_add_epi64(sums, _mm_srli_si128(sums, 8)));
  }
#endif
  int bad = 0;  // negative once a digit was none
  for (std::size_t i = 0; i < left; ++i, p += 2) {
    const int value = hex_digit_value(p[0]) * 16 | hex_digit_value(p[1]);
    bad |= value;
    out[i] = static_cast<std::uint8_t>(value);
    sum += value;
  }
  return bad < 0 ? -1 : sum;
}

// The two upper-case digits of each byte, high digit first, into out (2 * count
// characters): sixteen bytes at a time where the machine can.
inline void put_hex_pairs(const std::uint8_t* bytes, std::size_t count, char* out) {
#ifdef VH_SSE2_PATHS
  const auto ascii = [](__m128i values) {  // 0-9 to '0'-'9', 10-15 to 'A'-'F'
    const __m128i letters = _mm_cmpgt_epi8(values, _mm_set1_epi8(9));
    return _mm_add_epi8(_mm_add_epi8(values, _mm_set1_epi8('0')),
                        _mm_and_si128(letters, _mm_set1_epi8('A' - '9' - 1)));
  };
  for (; count >= 16; count -= 16, bytes += 16, out += 32) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    const __m128i high = ascii(_mm_and_si128(_mm_srli_epi16(block, 4), _mm_set1_epi8(0x0F)));
    const __m128i low = ascii(_mm_and_si128(block, _mm_set1_epi8(0x0F)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(high, low));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi8(high, low));
  }
#endif
  for (; count > 0; --count, ++bytes) {
    *out++ = kUpperHexDigits[*bytes >> 4];
    *out++ = kUpperHexDigits[*bytes & 0xF];
  }
}

}  // namespace verilog_hex
