#include "bank_extraction.hpp"

#include <algorithm>
#include <bit>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bank_naming.hpp"
#include "fast_paths.hpp"
#ifdef VH_SSE2_PATHS
#include <emmintrin.h>
#endif

namespace splitter {
namespace {

// The first LF or NUL in [p, end), or end. Data texts are long runs of ordinary
// characters: sixteen bytes a step, reading up to sixteen bytes past the end as the
// reader's buffer allows.
const char* find_line_stop(const char* p, const char* end) {
#ifdef VH_SSE2_PATHS
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
// "@", at most eight hexadecimal digits, TAB, a data text without NUL and LF, within a
// line's length; the general parse reads all others. An address field not in the
// written form is formed in formed, which has room for every line.
std::pair<std::size_t, std::size_t> read_simple_word_lines(
    std::string_view text, std::span<verilog_hex::WordText> words,
    std::span<verilog_hex::AddressField> formed) {
  const char* next = text.data();
  const char* const end = next + text.size();
  std::size_t count = 0;
  std::size_t formed_count = 0;
  while (count < words.size()) {
    const char* const line = next;
    const char* const limit =
        line + std::min<std::size_t>(end - line, verilog_hex::TextReader::kMaxLine);
    if (line == limit || *line != '@') break;
    // The reader's buffer may be read past the text's end.
    const char* const p = line + 1 + verilog_hex::leading_hex_digits(line + 1);
    const auto field_size = static_cast<std::size_t>(p - line + 1);  // "@", digits, TAB
    if (field_size > verilog_hex::AddressField::kMaxSize || p >= limit || *p != '\t') break;
    const char* const data = p + 1;
    const char* const stop = find_line_stop(data, limit);
    if (stop == data || stop == limit || *stop != '\n') break;
    // Stored member by member, straight into place.
    verilog_hex::WordText& word = words[count++];
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

}  // namespace

bool split_words(verilog_hex::TextReader& input, std::span<verilog_hex::ImageWriter* const> banks,
                 std::int32_t digits) {
  // The common lines go straight from the buffer, a block at a time: each bank takes
  // its slices of the whole block in one go.
  constexpr std::size_t kBlock = 1024;
  std::vector<verilog_hex::WordText> words(kBlock);
  std::vector<verilog_hex::AddressField> formed(kBlock, verilog_hex::AddressField(0));
  while (!input.at_end()) {
    const auto [count, taken] = read_simple_word_lines(input.buffered(), words, formed);
    for (std::size_t slice = 0; slice < banks.size(); ++slice) {
      banks[slice]->write_slices(std::span(words).first(count),
                                 slice * static_cast<std::size_t>(digits),
                                 static_cast<std::size_t>(digits));
    }
    input.consume(taken);
    if (taken > 0) continue;

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
  // Two buffers a bank, one filling and one on its way to the disk, all within one
  // budget: the banks fill at the same pace, so they hand their buffers over together.
  const std::size_t buffers = 2 * static_cast<std::size_t>(bank_count);
  const auto pool = std::make_shared<verilog_hex::BufferPool>(
      std::min(verilog_hex::TextWriter::kDefaultCapacity, kOutputBudget / buffers), buffers);
  for (std::int32_t slice = 0; slice < bank_count; ++slice) {
    const std::string name = bank_file_name(base_name, bank_number(slice, bank_count, big_endian));
    auto sink = outputs.open(name);
    if (!sink) return SplitStatus::io_failed;
    writers.push_back(std::make_unique<verilog_hex::ImageWriter>(std::move(sink), pool));
    banks.push_back(writers.back().get());
  }
  bool written = split_words(input, banks, 2 * (split_width / 8));
  for (const auto& writer : writers) written = writer->finish() && written;
  // The banks get their names together, and only when every one is whole.
  return written && outputs.commit() ? SplitStatus::ok : SplitStatus::io_failed;
}

}  // namespace splitter
