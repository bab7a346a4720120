#include "bank_extraction.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bank_naming.hpp"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace splitter {
namespace {

// The first LF or NUL in [p, end), or end. Data texts are long runs of ordinary
// characters: sixteen bytes a step, reading up to sixteen bytes past the end as the
// reader's buffer allows.
const char* find_line_stop(const char* p, const char* end) {
#ifdef __SSE2__
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
// there are as many as words holds room for; gives how many bytes those lines hold. A
// common line is "@", at most eight hexadecimal digits, TAB, a data text without NUL
// and LF, within a line's length; the general parse reads all others.
std::size_t read_simple_word_lines(std::string_view text,
                                   std::vector<verilog_hex::WordText>& words) {
  const char* next = text.data();
  const char* const end = next + text.size();
  words.clear();
  while (words.size() < words.capacity()) {
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
    words.push_back({verilog_hex::AddressField::from_field({line, field_size}),
                     {data, static_cast<std::size_t>(stop - data)}});
    next = stop + 1;
  }
  return static_cast<std::size_t>(next - text.data());
}

}  // namespace

bool split_words(verilog_hex::TextReader& input, std::span<verilog_hex::ImageWriter* const> banks,
                 std::int32_t digits) {
  // The common lines go straight from the buffer, a block at a time: each bank takes
  // its slices of the whole block in one go.
  std::vector<verilog_hex::WordText> words;
  words.reserve(1024);
  while (!input.at_end()) {
    const std::size_t taken = read_simple_word_lines(input.buffered(), words);
    for (std::size_t slice = 0; slice < banks.size(); ++slice) {
      banks[slice]->write_slices(words, slice * static_cast<std::size_t>(digits),
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
  // One buffer a bank and a few on their way to the disk, all within one budget.
  constexpr std::size_t kBuffersWritten = 2;
  const std::size_t buffers = static_cast<std::size_t>(bank_count) + kBuffersWritten;
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
