#include "intel_hex.hpp"

#include <cstring>

#include "hex_digits.hpp"
#include "text_reader.hpp"

namespace verilog_hex {
namespace {

// The data bytes types 01 to 05 carry.
constexpr int kFixedDataSize[] = {-1, 0, 2, 4, 2, 4};

}  // namespace

bool parse_intel_hex_record(std::string_view line, IntelHexRecord& record) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  while (!line.empty() && is_blank(line.back())) line.remove_suffix(1);
  if (line.empty() || line[0] != ':') return false;
  const std::string_view digits = line.substr(1);
  // The five fixed bytes and the data bytes the count gives, in pairs of digits.
  if (digits.size() < 10 || digits.size() % 2 != 0 || digits.size() > 2 * (255 + 5)) return false;
  std::uint8_t* const raw = record.raw.data();
  const int sum = decode_hex_pairs(digits, raw);
  if (sum < 0) return false;
  const unsigned count = raw[0];
  if (digits.size() != 2 * (count + 5u)) return false;
  const unsigned type = raw[3];
  if (type >= 1 && type <= 5 && static_cast<int>(count) != kFixedDataSize[type]) return false;
  record.count = static_cast<std::uint8_t>(count);
  record.address = static_cast<std::uint16_t>(raw[1] << 8 | raw[2]);
  record.type = static_cast<std::uint8_t>(type);
  record.checksum_right = (sum & 0xFF) == 0;
  return true;
}

std::optional<DataRecordLine> decode_data_record(std::string_view text, std::uint8_t* out) {
  if (text.size() < 12 || text[0] != ':') return std::nullopt;
  const int count = hex_digit_value(text[1]) << 4 | hex_digit_value(text[2]);  // < 0: no digits
  const std::size_t line_size = 2 * static_cast<std::size_t>(count) + 12;
  if (count <= 0 || text.size() < line_size || text[line_size - 1] != '\n') return std::nullopt;
#ifdef VH_SSE2_PATHS
  // The whole record in blocks of sixteen bytes from 32 characters; each block of data
  // joined from two of them.
  const std::size_t size = static_cast<std::size_t>(count) + 5;  // from the count to the checksum
  if (1 + 32 * ((size + 15) / 16) <= text.size() + TextReader::kSlack) {
    const auto from = [](std::size_t at) {  // all ones from byte at on (0 to 32)
      return _mm_loadu_si128(reinterpret_cast<const __m128i*>(detail::kEdge + 32 - at));
    };
    __m128i digits = _mm_set1_epi8(-1);  // loses the place of a character that is none
    __m128i sums = _mm_setzero_si128();
    // The block of the next left bytes (sixteen at most) from their digits at p.
    const auto block = [&](const char* p, std::size_t left) {
      __m128i first_digits = _mm_set1_epi8(-1);
      __m128i second_digits = _mm_set1_epi8(-1);
      __m128i bytes = detail::join_hex_pairs(
          detail::hex_digit_values(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                                   first_digits),
          detail::hex_digit_values(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)),
                                   second_digits));
      if (left < 16) {  // the last block: what follows the checksum is no concern
        const std::size_t chars = 2 * left;
        first_digits = _mm_or_si128(first_digits, from(chars < 16 ? chars : 16));
        second_digits = _mm_or_si128(second_digits, from(chars > 16 ? chars - 16 : 0));
        bytes = _mm_andnot_si128(from(left), bytes);
      }
      digits = _mm_and_si128(digits, _mm_and_si128(first_digits, second_digits));
      sums = _mm_add_epi64(sums, _mm_sad_epu8(bytes, _mm_setzero_si128()));
      return bytes;
    };
    const char* p = text.data() + 1;
    const __m128i head = block(p, size < 16 ? size : 16);
    __m128i before = head;
    std::size_t at = 16;  // bytes decoded
    for (; at < size; at += 16) {
      p += 32;
      const __m128i bytes = size - at < 16 ? block(p, size - at) : block(p, 16);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at - 16),
                       _mm_or_si128(_mm_srli_si128(before, 4), _mm_slli_si128(bytes, 12)));
      before = bytes;
    }
    if (at - 16 < static_cast<std::size_t>(count)) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at - 16), _mm_srli_si128(before, 4));
    }
    // The count, the address high byte first, the type.
    const auto fixed = static_cast<std::uint32_t>(_mm_cvtsi128_si32(head));
    const int sum = _mm_cvtsi128_si32(_mm_add_epi64(sums, _mm_srli_si128(sums, 8)));
    if (_mm_movemask_epi8(digits) != 0xFFFF || (sum & 0xFF) != 0 ||
        fixed >> 24 != IntelHexRecord::data) {
      return std::nullopt;
    }
    return DataRecordLine{static_cast<std::uint16_t>((fixed & 0xFF00) | (fixed >> 16 & 0xFF)),
                          static_cast<std::uint8_t>(count), line_size};
  }
#endif
  IntelHexRecord record;
  if (!parse_intel_hex_record(text.substr(0, line_size), record) ||
      record.type != IntelHexRecord::data || !record.checksum_right) {
    return std::nullopt;
  }
  std::memcpy(out, record.bytes(), record.count);
  return DataRecordLine{record.address, record.count, line_size};
}

}  // namespace verilog_hex
