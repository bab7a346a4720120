#include "bank_extraction.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "fast_paths.hpp"
#include "hex_digits.hpp"
#include "memory_file.hpp"
#include "number_parse.hpp"
#include "numbered_words.hpp"
#include "pending_words.hpp"
#include "spool.hpp"
#include "word_checks.hpp"
#include "word_line.hpp"
#ifdef VH_SSE2_PATHS
#include <emmintrin.h>
#endif

namespace splitter {
namespace {

using verilog_hex::ConversionResult;
using verilog_hex::ImageWriter;
using verilog_hex::MemoryFileLines;
using verilog_hex::Stop;
using verilog_hex::TextReader;

// The block parse reads past a line's end and the slices are copied in fixed moves, both
// within the bytes the reader lets be read past its text.
static_assert(verilog_hex::TextReader::kSlack >= verilog_hex::kHexScanWidth);
static_assert(verilog_hex::TextReader::kSlack >= verilog_hex::ImageWriter::kSliceMove);

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
// within the text; the general parse reads all others. An address field not in the
// written form is formed in fields, kFieldRoom bytes a word.
std::pair<std::size_t, std::size_t> read_simple_word_lines(std::string_view text,
                                                           std::span<WordText> words,
                                                           std::span<char> fields) {
  const char* next = text.data();
  const char* const end = next + text.size();
  std::size_t count = 0;
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
    const std::string_view field(line, field_size);
    WordText& word = words[count];
    if (verilog_hex::AddressField::in_written_form(field)) {
      word.field = line;
      word.field_size = static_cast<std::uint32_t>(field_size);
    } else {
      char* const formed = &fields[count * kFieldRoom];
      word.field = formed;
      word.field_size = static_cast<std::uint32_t>(
          verilog_hex::AddressField::put(formed, verilog_hex::parse_digits(field.substr(1), 16)) -
          formed);
    }
    ++count;
    word.data = data;
    word.data_size = static_cast<std::uint32_t>(stop - data);
    next = stop + 1;
  }
  return {count, static_cast<std::size_t>(next - text.data())};
}

// One pass over the input: common word lines a block at a time straight from the
// buffer, other lines wholly in the buffer one by one, and lines that are not read in
// pieces, whatever their length.
class Extraction {
 public:
  Extraction(TextReader& input, std::span<ImageWriter* const> banks, const BankLayout& layout,
             verilog_hex::Spool::OpenScratch open_scratch)
      : input_(input),
        banks_(banks),
        digits_(static_cast<std::size_t>(layout.digits)),
        layout_(layout),
        checks_(layout, slices_of(layout, banks.size()) * digits_),
        pending_(banks, layout, checks_.active(), std::move(open_scratch)),
        memory_file_(layout.word_digits) {}

  std::uint64_t words_written() const { return pending_.next(); }

  ConversionResult run() {
    for (;;) {
      const std::string_view text = input_.buffered();
      if (text.empty()) {
        pending_.flush();
        if (input_.failed()) return verilog_hex::stopped(Stop::read_failed);
        pending_.fill_to(layout_.depth);
        if (layout_.format->dense && pending_.next() == 0)
          return verilog_hex::stopped(Stop::no_words);
        return verilog_hex::stopped(output_failed() ? Stop::write_failed : Stop::done);
      }
      if (output_failed()) return verilog_hex::stopped(Stop::write_failed);
      const std::size_t taken = read_block(text);
      if (!stop_.ok()) return stop_;
      pending_.flush();
      input_.consume(taken);
      if (taken == 0) {
        read_line_in_pieces();
        if (!stop_.ok()) return stop_;
      }
    }
  }

 private:
  // A bank or the spool that cannot be written ends the run at once: reading on would
  // change nothing.
  bool output_failed() const {
    return pending_.failed() ||
           std::any_of(banks_.begin(), banks_.end(), [](auto* bank) { return bank->failed(); });
  }

  auto add_item() {
    return [this](std::uint32_t address, std::string_view digits, char fill, bool in_piece,
                  std::string_view written) {
      if (checks_.active() && !line_refusal_) {
        line_refusal_ = checks_.check(line_number_, address, layout_.word_digits - digits.size(),
                                      fill, digits, written);
      }
      pending_.add_item(address, digits, fill, in_piece);
    };
  }

  // The lines wholly in the text, up to a block of common lines; gives the bytes taken.
  std::size_t read_block(std::string_view text) {
    std::size_t taken = 0;
    for (;;) {
      const auto [count, bytes] =
          read_simple_word_lines(text.substr(taken), pending_.room(), pending_.field_room());
      if (count > 0) {
        pending_.added(count);
        if (checks_.active()) {
          if (auto refused = checks_.check_word_lines(line_number_ + 1, pending_.last_words(count),
                                                      pending_.last_addresses(count))) {
            stop_ = *refused;
            return taken;
          }
        }
        line_number_ += static_cast<std::uint32_t>(count);
        taken += bytes;
        memory_file_.after_word_line(address_of(pending_.last()));
      }
      if (pending_.full()) return taken;
      const std::size_t line = read_other_line(text.substr(taken));
      if (line == 0 || !stop_.ok()) return taken;
      taken += line;
    }
  }

  // A line that is no common word line, where its end lies in the text; gives its size,
  // or 0.
  std::size_t read_other_line(std::string_view text) {
    const char* const end = text.data() + text.size();
    const char* const stop = find_line_stop(text.data(), end);
    const void* const lf = stop != end && *stop == '\0'
                               ? std::memchr(stop, '\n', static_cast<std::size_t>(end - stop))
                               : (stop != end ? stop : nullptr);
    if (lf == nullptr) return 0;
    const std::string_view line(text.data(), static_cast<std::size_t>(stop - text.data()));
    ++line_number_;
    if (const auto word = verilog_hex::parse_word_line(line)) {
      if (checks_.active()) {
        if (auto refused = checks_.check_word_line(line_number_, word->address, word->data)) {
          stop_ = *refused;
          return 0;
        }
      }
      pending_.add(word->address, word->data.data(), word->data.size());
      memory_file_.after_word_line(word->address);
    } else {
      begin_line();
      judge(memory_file_.read_last(line, add_item()));
    }
    return static_cast<std::size_t>(static_cast<const char*>(lf) - text.data()) + 1;
  }

  void begin_line() {
    pending_.begin_line();
    memory_file_.begin_line();
    checks_.begin_line();
    line_refusal_.reset();
  }
  // A memory-file line is read: its words go, or stand, or stop the run.
  void judge(MemoryFileLines::Verdict verdict) {
    if (verdict == MemoryFileLines::Verdict::skipped) {
      checks_.drop_line();
      return pending_.drop_line();
    }
    if (verdict == MemoryFileLines::Verdict::too_wide) {
      stop_ = verilog_hex::stopped(Stop::word_too_wide, line_number_);
      stop_.item = memory_file_.too_wide_item();
    } else if (line_refusal_) {
      stop_ = *line_refusal_;
    }
    if (stop_.ok()) pending_.keep_line();
  }

  // Reads one line as the buffer hands it out piece by piece, whatever its length. Until
  // it shows itself a word line it is read as a memory file's line, and its words go to
  // the banks as they come; a word line's address is read as its digits come and each
  // bank's slice is written as its characters come. Characters past the last bank's
  // slice are skipped, so the line is never held whole.
  void read_line_in_pieces() {
    ++line_number_;
    begin_line();
    PiecedLine line;
    line.row = banks_;
    for (std::string_view text = input_.buffered(); !text.empty(); text = input_.buffered()) {
      const std::size_t lf = text.find('\n');
      if (!line.cut && !take_piece(line, text.substr(0, lf))) return;
      pending_.flush();       // its words may lie in the buffer
      if (output_failed()) {  // however long the line
        stop_ = verilog_hex::stopped(Stop::write_failed);
        return;
      }
      if (lf != std::string_view::npos) {
        input_.consume(lf + 1);
        break;
      }
      input_.consume(text.size());
    }
    end_pieced_line(line);
  }

  // Where a line read in pieces stands.
  struct PiecedLine {
    enum class Part { tabs, address, field_rest, data };
    static constexpr std::uint64_t kTooLarge = std::uint64_t{1} << 32;

    std::uint32_t word_address() const {
      return static_cast<std::uint32_t>(std::min(address, kTooLarge - 1));
    }

    Part part = Part::tabs;
    std::uint64_t address = 0;          // stops growing past 32 bits
    std::size_t taken = 0;              // characters of the data text so far
    std::span<ImageWriter* const> row;  // the word line's banks
    bool word_line = false;
    bool cut = false;  // a NUL came: the rest of the line is not read
    // The data text as written, for a refusal, as much of it as a line read whole holds.
    std::string data_text;
    // A character the format cannot hold: nothing more goes to the banks, and the line
    // is refused at its end, after its digits are counted, as a line read whole is.
    std::optional<ConversionResult> characters_refused;
  };

  // One piece of the line, up to its LF or the buffer's end; false once the run stops.
  bool take_piece(PiecedLine& line, std::string_view piece) {
    const std::size_t nul = piece.find('\0');
    line.cut = nul != std::string_view::npos;
    piece = piece.substr(0, nul);
    std::size_t data = 0;
    if (!line.word_line) {
      data = scan_field(line, piece);
      if (!line.word_line) {
        memory_file_.read(piece, add_item());
        return true;
      }
      if (!begin_pieced_word(line)) return false;
    }
    return add_pieced_data(line, piece.substr(data));
  }

  // Reads the piece as a word line's address field: gives where its data text's first
  // character lies, which makes it a word line, or the piece's size.
  static std::size_t scan_field(PiecedLine& line, std::string_view piece) {
    using Part = PiecedLine::Part;
    for (std::size_t i = 0; i < piece.size(); ++i) {
      if (line.part == Part::data) {  // the data text's first character: a word line after all
        line.word_line = true;
        return i;
      }
      const char c = piece[i];
      const int digit = verilog_hex::hex_digit_value(c);
      if (line.part == Part::tabs) {  // the field's first character, "@" in a word line, is dropped
        if (c != '\t') line.part = Part::address;
      } else if (c == '\t') {
        line.part = Part::data;
      } else if (line.part == Part::address) {
        if (digit >= 0) {
          line.address =
              std::min(line.address << 4 | static_cast<unsigned>(digit), PiecedLine::kTooLarge);
        } else {
          line.part = Part::field_rest;
        }
      }
    }
    return piece.size();
  }

  // The line turned out a word line: what was read of it as a memory file's line goes,
  // and each bank of its row begins its word; false where its address is refused.
  bool begin_pieced_word(PiecedLine& line) {
    memory_file_.abandon_line();
    pending_.drop_line();
    checks_.drop_line();
    const std::uint32_t address = line.word_address();
    if (checks_.active()) {
      if (auto refused = checks_.check_address(line_number_, address)) {
        stop_ = *refused;
        return false;
      }
      pending_.fill_to(address);
    }
    line.row = pending_.row_of(address);
    for (ImageWriter* bank : line.row) bank->begin_word(pending_.in_row(address));
    return true;
  }

  // A run of the data text: each bank's part of it, within the slices wanted; false once
  // the line is refused whatever follows and the text the message quotes is read.
  bool add_pieced_data(PiecedLine& line, std::string_view run) {
    const std::size_t wanted = slices_of(layout_, banks_.size()) * digits_;
    const std::size_t quoted = input_.capacity();
    const std::size_t taken = line.taken;
    if (checks_.active()) {
      line.data_text += run.substr(0, quoted - std::min(quoted, line.data_text.size()));
      if (!line.characters_refused && taken < wanted) {
        line.characters_refused =
            checks_.check_characters(line_number_, run.substr(0, wanted - taken), {});
      }
    }
    for (std::size_t at = taken;
         !line.characters_refused && at < wanted && at < taken + run.size();) {
      const std::size_t slice_end = std::min((at / digits_ + 1) * digits_, taken + run.size());
      line.row[at / digits_]->add_data(run.substr(at - taken, slice_end - at));
      at = slice_end;
    }
    line.taken += run.size();
    if (line.characters_refused && line.taken >= wanted && line.data_text.size() >= quoted) {
      stop_ = *line.characters_refused;
      stop_.item = std::move(line.data_text);
      return false;
    }
    return true;
  }

  // The line's end: a word line's words end or are refused; a memory file's line is
  // judged.
  void end_pieced_line(PiecedLine& line) {
    if (!line.word_line) {
      judge(memory_file_.read_last({}, add_item()));
      pending_.flush();
      return;
    }
    const std::uint32_t address = line.word_address();
    if (checks_.active()) {
      if (auto refused = checks_.check_digits(line_number_, line.taken, line.data_text)) {
        stop_ = *refused;
        return;
      }
      if (line.characters_refused) {
        stop_ = *line.characters_refused;
        stop_.item = std::move(line.data_text);
        return;
      }
      checks_.stands(address);
      pending_.written(std::uint64_t{address} + 1);
    }
    for (ImageWriter* bank : line.row) bank->end_word();
    memory_file_.after_word_line(address);
  }

  TextReader& input_;
  std::span<ImageWriter* const> banks_;
  std::size_t digits_;
  const BankLayout& layout_;
  WordChecks checks_;
  std::optional<ConversionResult> line_refusal_;  // a memory-file line's first word refused
  PendingWords pending_;
  MemoryFileLines memory_file_;
  std::uint32_t line_number_ = 0;  // lines read so far
  ConversionResult stop_;
};

}  // namespace

ConversionResult split_words(TextReader& input, std::span<ImageWriter* const> banks,
                             const BankLayout& layout, verilog_hex::Spool::OpenScratch open_scratch,
                             std::uint64_t& words_written) {
  Extraction extraction(input, banks, layout, std::move(open_scratch));
  const ConversionResult result = extraction.run();
  words_written = extraction.words_written();
  return result;
}

ConversionResult split_words(TextReader& input, std::span<ImageWriter* const> banks,
                             std::int32_t digits, std::size_t word_digits,
                             verilog_hex::Spool::OpenScratch open_scratch) {
  std::uint64_t words_written = 0;
  return split_words(input, banks, {.digits = digits, .word_digits = word_digits},
                     std::move(open_scratch), words_written);
}

}  // namespace splitter
