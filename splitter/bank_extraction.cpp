#include "bank_extraction.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "fast_paths.hpp"
#include "hex_digits.hpp"
#ifdef VH_SSE2_PATHS
#include <emmintrin.h>
#endif

namespace splitter {
namespace {

// The block parse reads past a line's end and the slices are copied in fixed moves, both
// within the bytes the reader lets be read past its text.
static_assert(verilog_hex::TextReader::kSlack >= verilog_hex::kHexScanWidth);
static_assert(verilog_hex::TextReader::kSlack >= verilog_hex::ImageWriter::kSliceMove);

// A word as read: where its address field stands in the written form (sixteen bytes
// readable from there) and its data text.
struct WordText {
  const char* field;
  const char* data;
  std::uint32_t field_size;
  std::uint32_t data_size;
};

// The first LF or NUL in [p, end), or end. Data texts are long runs of ordinary
// characters: sixteen bytes a step, reading up to sixteen bytes past the end as the
// reader's buffer allows.
const char* find_line_stop(const char* p, const char* end) {
#ifdef VH_SSE2_PATHS
  static_assert(verilog_hex::TextReader::kSlack >= sizeof(__m128i));
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i nul = _mm_setzero_si128();
  for (; p < end; p += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const auto stops = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, lf), _mm_cmpeq_epi8(bytes, nul))));
    if (stops != 0) return std::min(p + std::countr_zero(stops), end);
  }
  return end;
#else
  while (p != end && *p != '\n' && *p != '\0') ++p;
  return p;
#endif
}

// The common word lines at the start of the text, up to the first other line or until
// words is full; gives how many lines and how many bytes they hold. A common line is
// "@", at most eight hexadecimal digits, TAB, a data text without NUL and LF, and its LF
// within the text; split_whole_line() reads all others. An address field not in the
// written form is formed in formed, which has room for every line.
std::pair<std::size_t, std::size_t> read_simple_word_lines(
    std::string_view text, std::span<WordText> words, std::span<verilog_hex::AddressField> formed) {
  const char* next = text.data();
  const char* const end = next + text.size();
  std::size_t count = 0;
  std::size_t formed_count = 0;
  while (count < words.size()) {
    const char* const line = next;
    if (line == end || *line != '@') break;
    // The reader's buffer may be read past the text's end.
    const char* const p = line + 1 + verilog_hex::leading_hex_digits(line + 1);
    const auto field_size = static_cast<std::size_t>(p - line + 1);  // "@", digits, TAB
    if (field_size > verilog_hex::AddressField::kMaxSize || p >= end || *p != '\t') break;
    const char* const data = p + 1;
    const char* const stop = find_line_stop(data, end);
    if (stop == data || stop == end || *stop != '\n') break;
    // Stored member by member, straight into place.
    WordText& word = words[count++];
    const std::string_view field(line, field_size);
    if (verilog_hex::AddressField::in_written_form(field)) {
      word.field = line;
      word.field_size = static_cast<std::uint32_t>(field_size);
    } else {
      verilog_hex::AddressField& address = formed[formed_count++];
      address = verilog_hex::AddressField::from_field(field);
      word.field = address.text().data();
      word.field_size = static_cast<std::uint32_t>(address.text().size());
    }
    word.data = data;
    word.data_size = static_cast<std::uint32_t>(stop - data);
    next = stop + 1;
  }
  return {count, static_cast<std::size_t>(next - text.data())};
}

// For each word, a line with its address and the part of its data text that starts at
// the offset, at most digits long (empty when the text is shorter). Fields and texts
// may be copied in moves of kSliceMove bytes, which must be readable from the start of
// each field and from the offset in each text that reaches it.
void write_slices(verilog_hex::ImageWriter& output, std::span<const WordText> words,
                  std::size_t offset, std::size_t digits) {
  constexpr std::size_t kMove = verilog_hex::ImageWriter::kSliceMove;
  // The most a line's moves store.
  constexpr std::size_t line = 2 * kMove + verilog_hex::ImageWriter::kLineEnd.size();
  if (digits > kMove || output.capacity() < 2 * kMove + line) {
    for (const WordText& word : words) {
      const std::string_view data(word.data, word.data_size);
      output.write_field_word({word.field, word.field_size}, data.size() > offset
                                                                 ? data.substr(offset, digits)
                                                                 : std::string_view());
    }
    return;
  }
  const std::size_t most = (output.capacity() - 2 * kMove) / line;
  while (!words.empty()) {
    const std::size_t batch = words.size() < most ? words.size() : most;
    char* out = output.reserve(batch * line + 2 * kMove);
    for (const WordText& word : words.first(batch)) {
      std::memcpy(out, word.field, kMove);
      out += word.field_size;
      if (word.data_size > offset) {
        const std::size_t rest = word.data_size - offset;
        std::memcpy(out, word.data + offset, kMove);
        out += rest < digits ? rest : digits;
      }
      out = verilog_hex::ImageWriter::put_line_end(out);
    }
    output.commit(out);
    words = words.subspan(batch);
  }
}

// Reads one line whole, whatever its length, as the buffer hands it out piece by piece,
// and writes its word to every bank: the address is read as its digits come and each
// bank's slice is written as its characters come. Characters past the last bank's slice
// are skipped, so the line is never held whole.
void split_whole_line(verilog_hex::TextReader& input,
                      std::span<verilog_hex::ImageWriter* const> banks, std::size_t digits) {
  enum class Part { tabs, address, field_rest, data, ignored };
  Part part = Part::tabs;
  constexpr std::uint64_t kTooLarge = std::uint64_t{1} << 32;
  std::uint64_t address = 0;  // stops growing past 32 bits
  std::size_t taken = 0;      // characters of the data text so far
  const std::size_t wanted = banks.size() * digits;
  bool open = false;  // every bank has begun the word's line
  const auto end_word = [&] {
    if (open) {
      for (verilog_hex::ImageWriter* bank : banks) bank->end_word();
    }
    open = false;
  };
  for (std::string_view text = input.buffered(); !text.empty(); text = input.buffered()) {
    for (std::size_t i = 0; i < text.size();) {
      const char c = text[i];
      if (c == '\n') {
        input.consume(i + 1);
        return end_word();
      }
      if (c == '\0') {  // the line ends here for the parse
        end_word();
        part = Part::ignored;
      }
      const int digit = verilog_hex::hex_digit_value(c);
      switch (part) {
        case Part::tabs:  // the field's first character, "@" in a word line, is dropped
          if (c != '\t') part = Part::address;
          break;
        case Part::address:
          if (c == '\t') {
            part = Part::data;
          } else if (digit >= 0) {
            address = std::min(address << 4 | static_cast<unsigned>(digit), kTooLarge);
          } else {
            part = Part::field_rest;
          }
          break;
        case Part::field_rest:
          if (c == '\t') part = Part::data;
          break;
        case Part::data: {
          const std::size_t run =
              std::min(text.find_first_of(std::string_view("\n\0", 2), i), text.size()) - i;
          if (!open) {
            const auto value = static_cast<std::uint32_t>(std::min(address, kTooLarge - 1));
            for (verilog_hex::ImageWriter* bank : banks) bank->begin_word(value);
            open = true;
          }
          // Each bank's part of the run, within the slices wanted.
          for (std::size_t at = taken; at < wanted && at < taken + run;) {
            const std::size_t slice_end = std::min({(at / digits + 1) * digits, taken + run});
            banks[at / digits]->add_data(text.substr(i + (at - taken), slice_end - at));
            at = slice_end;
          }
          taken += run;
          i += run;
          continue;
        }
        case Part::ignored:
          break;
      }
      ++i;
    }
    input.consume(text.size());
  }
  end_word();  // the last line, without a line end
}

}  // namespace

bool split_words(verilog_hex::TextReader& input, std::span<verilog_hex::ImageWriter* const> banks,
                 std::int32_t digits) {
  // The common lines go straight from the buffer, a block at a time: each bank takes
  // its slices of the whole block in one go.
  constexpr std::size_t kBlock = 1024;
  std::vector<WordText> words(kBlock);
  std::vector<verilog_hex::AddressField> formed(kBlock, verilog_hex::AddressField(0));
  const auto slice_size = static_cast<std::size_t>(digits);
  for (;;) {
    const std::string_view text = input.buffered();
    if (text.empty()) return !input.failed();
    // A bank that cannot be written ends the run at once: reading on would change nothing.
    for (const verilog_hex::ImageWriter* bank : banks) {
      if (bank->failed()) return false;
    }
    const auto [count, taken] = read_simple_word_lines(text, words, formed);
    for (std::size_t slice = 0; slice < banks.size(); ++slice) {
      write_slices(*banks[slice], std::span(words).first(count), slice * slice_size, slice_size);
    }
    input.consume(taken);
    if (taken == 0) split_whole_line(input, banks, slice_size);
  }
}

}  // namespace splitter
