#include "carriage_returns.hpp"

#include <array>
#include <cstdint>
#include <cstring>

#include "fast_paths.hpp"
#ifdef VH_SSSE3_PATH
#include <immintrin.h>
#endif

namespace verilog_hex {
namespace {

std::size_t drop_carriage_returns_bytewise(char* bytes, std::size_t count) {
  char* out = bytes;
  for (const char* in = bytes; in != bytes + count; ++in) {
    const char c = *in;
    *out = c;
    out += c != '\r';
  }
  return static_cast<std::size_t>(out - bytes);
}

#ifdef VH_SSSE3_PATH

// For each pattern of CR bytes among eight (bit i: byte i is a CR), the byte shuffle that
// packs the other bytes to the front, and how many they are; and the shuffle that packs
// sixteen bytes whose halves both have that pattern, as lines of one length give.
struct PackPattern {
  std::array<std::array<std::uint8_t, 16>, 256> shuffle{};
  std::array<std::array<std::uint8_t, 16>, 256> shuffle_both{};
  std::array<std::uint8_t, 256> kept{};
};

constexpr PackPattern make_pack_patterns() {
  PackPattern patterns;
  for (unsigned mask = 0; mask < 256; ++mask) {
    std::uint8_t kept = 0;
    patterns.shuffle[mask].fill(0x80);
    patterns.shuffle_both[mask].fill(0x80);
    for (std::uint8_t i = 0; i < 8; ++i) {
      if ((mask >> i & 1) == 0) patterns.shuffle[mask][kept++] = i;
    }
    for (std::uint8_t i = 0; i < kept; ++i) {
      patterns.shuffle_both[mask][i] = patterns.shuffle[mask][i];
      patterns.shuffle_both[mask][kept + i] = patterns.shuffle[mask][i] + 8;
    }
    patterns.kept[mask] = kept;
  }
  return patterns;
}
constexpr PackPattern kPack = make_pack_patterns();

// Sixteen bytes at a time: most blocks of text hold a CR or two, and a byte-by-byte loop
// costs more than reading the file.
__attribute__((target("ssse3"))) std::size_t drop_carriage_returns_ssse3(char* bytes,
                                                                         std::size_t count) {
  const __m128i cr = _mm_set1_epi8('\r');
  char* out = bytes;
  const char* in = bytes;
  // Each block is loaded before anything is stored, and no store reaches past it.
  for (; count - static_cast<std::size_t>(in - bytes) >= 16; in += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, cr)));
    if (mask == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block);
      out += 16;
      continue;
    }
    const unsigned low = mask & 0xFF;
    const unsigned high = mask >> 8;
    if (low == high) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                       _mm_shuffle_epi8(block, _mm_loadu_si128(reinterpret_cast<const __m128i*>(
                                                   kPack.shuffle_both[low].data()))));
      out += 2 * kPack.kept[low];
      continue;
    }
    const __m128i low_packed = _mm_shuffle_epi8(
        block, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kPack.shuffle[low].data())));
    const __m128i high_packed = _mm_shuffle_epi8(
        _mm_srli_si128(block, 8),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(kPack.shuffle[high].data())));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), low_packed);
    out += kPack.kept[low];
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), high_packed);
    out += kPack.kept[high];
  }
  const std::size_t rest = count - static_cast<std::size_t>(in - bytes);
  std::memmove(out, in, rest);
  return static_cast<std::size_t>(out - bytes) + drop_carriage_returns_bytewise(out, rest);
}

#endif

}  // namespace

std::size_t drop_carriage_returns(char* bytes, std::size_t count) {
#ifdef VH_SSSE3_PATH
  static const bool has_ssse3 = __builtin_cpu_supports("ssse3");
  if (has_ssse3) return drop_carriage_returns_ssse3(bytes, count);
#endif
  return drop_carriage_returns_bytewise(bytes, count);
}

}  // namespace verilog_hex
