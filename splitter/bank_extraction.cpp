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
#include "spool.hpp"
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

// A word as read: its address field in the written form, where it was read or where it
// was formed (sixteen bytes readable from there), and its data text.
struct WordText {
  const char* field;
  const char* data;
  std::uint32_t field_size;
  std::uint32_t data_size;
};

// Room for a formed field: what its store may reach past it, and the moves past the last.
constexpr std::size_t kFieldRoom = 2 * verilog_hex::AddressField::kMaxSize;
static_assert(kFieldRoom >= verilog_hex::ImageWriter::kSliceMove);

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

std::uint32_t address_of(const WordText& word) {
  return verilog_hex::parse_digits({word.field + 1, word.field_size - 1}, 16);
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

// The banks of one row.
std::size_t slices_of(const BankLayout& layout, std::size_t banks) {
  if (layout.row_depth == 0) return banks;
  return banks / ((std::uint64_t{layout.depth} + layout.row_depth - 1) / layout.row_depth);
}

// The checks each word must pass where the banks are more than VerilogHex lines: in
// this order, its address after the word before it (in a dense format or with a
// depth) and below the depth, its data text's digits for all banks, and characters
// the format holds. The word before is the last word that stood: a skipped line's
// words are forgotten.
class WordChecks {
 public:
  WordChecks(const BankLayout& layout, std::size_t wanted)
      : format_(*layout.format),
        depth_(layout.depth),
        wanted_(wanted),
        ordered_(layout.format->dense || layout.depth != 0),
        active_(!(layout.format == &verilog_hex::kVerilogHex && layout.depth == 0)) {}

  bool active() const { return active_; }
  // The refusal of a word whose data text is fills fill characters, then digits (as
  // written: written), or nothing.
  std::optional<ConversionResult> check(std::uint32_t line, std::uint32_t address,
                                        std::size_t fills, char fill, std::string_view digits,
                                        std::string_view written) {
    if (auto refused = check_address(line, address)) return refused;
    if (auto refused = check_digits(line, fills + digits.size(), written)) return refused;
    const std::size_t checked_fills = std::min(fills, wanted_);
    if ((checked_fills > 0 && !verilog_hex::format_holds(format_, {&fill, 1})) ||
        !verilog_hex::format_holds(format_, digits.substr(0, wanted_ - checked_fills))) {
      return refusal(Stop::not_writable, line, written);
    }
    stands(address);
    return std::nullopt;
  }
  std::optional<ConversionResult> check_address(std::uint32_t line, std::uint32_t address) const {
    if (ordered_ && has_last_ && address <= last_) {
      return verilog_hex::stopped(Stop::not_above, line, address);
    }
    if (depth_ != 0 && address >= depth_) {
      ConversionResult refused = verilog_hex::stopped(Stop::past_depth, line, address);
      refused.limit = depth_ - 1;
      return refused;
    }
    return std::nullopt;
  }
  // Outside VerilogHex, a data text of count digits must hold those of all banks.
  std::optional<ConversionResult> check_digits(std::uint32_t line, std::size_t count,
                                               std::string_view written) const {
    if (&format_ != &verilog_hex::kVerilogHex && count < wanted_) {
      return refusal(Stop::too_few_digits, line, written);
    }
    return std::nullopt;
  }
  void stands(std::uint32_t address) {
    has_last_ = true;
    last_ = address;
  }
  // A word line read in pieces: the characters of a piece that go into banks.
  std::optional<ConversionResult> check_characters(std::uint32_t line, std::string_view piece,
                                                   std::string_view written) const {
    if (verilog_hex::format_holds(format_, piece)) return std::nullopt;
    return refusal(Stop::not_writable, line, written);
  }
  void begin_line() {
    line_has_last_ = has_last_;
    line_last_ = last_;
  }
  void drop_line() {
    has_last_ = line_has_last_;
    last_ = line_last_;
  }

 private:
  static ConversionResult refusal(Stop stop, std::uint32_t line, std::string_view written) {
    ConversionResult refused = verilog_hex::stopped(stop, line);
    refused.item = written;
    return refused;
  }

  const verilog_hex::OutputFormat& format_;
  std::uint32_t depth_;
  std::size_t wanted_;
  bool ordered_;
  bool active_;
  bool has_last_ = false;
  std::uint32_t last_ = 0;
  bool line_has_last_ = false;
  std::uint32_t line_last_ = 0;
};

// Words on their way to the banks, a block at a time: each bank takes its slices of the
// whole block in one go. The words of a line wait until the line is judged: in the
// block or, where there are more, in the spool, so that nothing a bank receives is ever
// taken back (a bank may be a device or a FIFO).
class PendingWords {
 public:
  PendingWords(std::span<ImageWriter* const> banks, const BankLayout& layout, bool checked,
               verilog_hex::Spool::OpenScratch open_scratch)
      : banks_(banks),
        digits_(static_cast<std::size_t>(layout.digits)),
        word_digits_(layout.word_digits),
        words_(kBlock),
        arena_(std::make_unique<char[]>(kArena + ImageWriter::kSliceMove)),
        spool_(std::move(open_scratch)),
        checked_(checked),
        fills_gaps_(layout.format->dense || layout.depth != 0),
        row_depth_(layout.row_depth != 0 ? layout.row_depth : std::uint64_t{1} << 32),
        slices_(slices_of(layout, banks.size())),
        fill_word_(verilog_hex::fill_digits(layout.fill_byte, digits_)) {}

  // Fill words in every bank up to the address, where gaps are filled.
  void fill_to(std::uint64_t address) {
    if (!fills_gaps_ || address <= next_) return;
    for (std::size_t slice = 0; slice < slices_; ++slice) fill(slice, next_, address);
    next_ = address;
  }
  // The banks of the word's row, and its address there.
  std::span<ImageWriter* const> row_of(std::uint64_t address) const {
    return banks_.subspan(static_cast<std::size_t>(address / row_depth_) * slices_, slices_);
  }
  std::uint32_t in_row(std::uint64_t address) const {
    return static_cast<std::uint32_t>(address % row_depth_);
  }
  // The word after the last one written.
  std::uint64_t next() const { return next_; }
  void written(std::uint64_t next) { next_ = next; }

  std::span<WordText> room() { return std::span(words_).subspan(count_); }
  std::span<char> field_room() { return std::span(fields_).subspan(count_ * kFieldRoom); }
  void added(std::size_t count) {
    if (checked_) {
      for (std::size_t i = count_; i < count_ + count; ++i) addresses_[i] = address_of(words_[i]);
    }
    count_ += count;
  }
  // The last count words added and, where words are checked, their addresses.
  std::span<const WordText> last_words(std::size_t count) const {
    return std::span(words_).subspan(count_ - count, count);
  }
  std::span<const std::uint32_t> last_addresses(std::size_t count) const {
    return std::span(addresses_).subspan(count_ - count, count);
  }
  bool full() const { return count_ == words_.size(); }
  const WordText& last() const { return words_[count_ - 1]; }
  // True once the spool could not be written or read.
  bool failed() const { return spool_.failed(); }
  // A word whose field is formed from its address, once for every bank.
  void add(std::uint32_t address, const char* data, std::size_t data_size) {
    if (full()) flush();
    place(address, data, data_size);
  }
  // A word item's data text: its digits right-aligned, after the fill.
  void add_item(std::uint32_t address, std::string_view digits, char fill, bool in_piece) {
    if (in_piece && digits.size() == word_digits_) return add(address, digits.data(), word_digits_);
    if (word_digits_ > kArena / 16) {  // too wide to form: straight on
      flush();
      if (in_line_) return spool_item(address, digits, fill);
      return write_item(address, digits, fill);
    }
    if (full() || kArena - arena_used_ < word_digits_) flush();
    char* const text = arena_.get() + arena_used_;
    const std::size_t fills = word_digits_ - digits.size();
    std::memset(text, fill, fills);
    std::memcpy(text + fills, digits.data(), digits.size());
    arena_used_ += word_digits_;
    place(address, text, word_digits_);
  }

  void begin_line() {
    in_line_ = true;
    line_first_ = count_;
    line_arena_ = arena_used_;
  }
  // The line's words stand: those spooled go to the banks before those still in the block.
  void keep_line() {
    in_line_ = false;
    if (spool_.empty()) return;
    spool_words(0, count_);
    count_ = arena_used_ = 0;
    spool_.rewind();
    spooled_address_ = 0;
    std::string digits;
    char head;
    while (spool_.read(&head, 1)) {
      const auto flags = static_cast<unsigned char>(head);
      std::uint32_t address = spooled_address_;
      char fill = '0';
      std::uint32_t size = flags >> kSizeShift;
      if ((flags & kNewAddress) != 0) spool_.read(reinterpret_cast<char*>(&address), 4);
      if ((flags & kOtherFill) != 0) spool_.read(&fill, 1);
      if (size == kLongSize) spool_.read(reinterpret_cast<char*>(&size), 4);
      digits.resize(size);
      if (!spool_.read(digits.data(), size)) break;
      spooled_address_ = address + 1;
      add_item(address, digits, fill, false);
    }
    spool_.clear();
  }
  void drop_line() {
    spool_.clear();
    count_ = line_first_;
    arena_used_ = line_arena_;
    in_line_ = false;
  }

  // Every word so far to the banks, but those of a line not yet judged to the spool.
  void flush() {
    if (in_line_) {
      write(0, line_first_);
      spool_words(line_first_, count_);
    } else {
      write(0, count_);
    }
    count_ = line_first_ = arena_used_ = line_arena_ = 0;
  }

 private:
  static constexpr std::size_t kBlock = 1024;
  static constexpr std::size_t kArena = 64 * 1024;
  // A spooled word: a byte of flags and its digit count (kLongSize: the count follows in
  // four bytes), its address (only with kNewAddress, else it follows the one before),
  // its fill (only with kOtherFill, else "0"), then its digits without their leading
  // fill. So a skipped line takes about its own size, whatever the width or bank count.
  static constexpr unsigned kNewAddress = 1, kOtherFill = 2, kSizeShift = 2, kLongSize = 63;

  void place(std::uint32_t address, const char* data, std::size_t data_size) {
    char* const field = &fields_[count_ * kFieldRoom];
    const char* const field_end = verilog_hex::AddressField::put(field, address);
    addresses_[count_] = address;
    words_[count_++] = {field, data, static_cast<std::uint32_t>(field_end - field),
                        static_cast<std::uint32_t>(data_size)};
  }
  void write(std::size_t first, std::size_t end) {
    if (checked_) return write_checked(first, end);
    const auto words = std::span(words_).subspan(first, end - first);
    for (std::size_t slice = 0; slice < banks_.size(); ++slice) {
      write_slices(*banks_[slice], words, slice * digits_, digits_);
    }
  }
  // Word by word in the banks' format, the gaps before each filled where they must be.
  void write_checked(std::size_t first, std::size_t end) {
    if (first == end) return;
    const std::uint32_t* const addresses = addresses_.data();
    for (std::size_t slice = 0; slice < slices_; ++slice) {
      std::uint64_t next = next_;
      for (std::size_t i = first; i < end; ++i) {
        if (fills_gaps_) fill(slice, next, addresses[i]);
        const std::string_view data(words_[i].data, words_[i].data_size);
        row_of(addresses[i])[slice]->write_word(
            in_row(addresses[i]),
            data_slice(data, static_cast<std::int32_t>(slice), static_cast<std::int32_t>(digits_)));
        next = std::uint64_t{addresses[i]} + 1;
      }
    }
    next_ = std::uint64_t{addresses[end - 1]} + 1;
  }
  // The slice's fill words for the addresses from to before to, row by row.
  void fill(std::size_t slice, std::uint64_t from, std::uint64_t to) {
    while (from < to) {
      const std::uint64_t row_end = std::min(to, (from / row_depth_ + 1) * row_depth_);
      verilog_hex::write_numbered_words(
          *row_of(from)[slice], in_row(from), static_cast<std::size_t>(row_end - from), digits_, 0,
          [&](char* out) { std::memcpy(out, fill_word_.data(), digits_); });
      from = row_end;
    }
  }
  // Each word as its fill (its first character) and the digits after the fill's run.
  void spool_words(std::size_t first, std::size_t end) {
    for (const WordText& word : std::span(words_).subspan(first, end - first)) {
      const std::string_view data(word.data, word.data_size);
      const std::size_t digits = std::min(data.find_first_not_of(data[0]), data.size());
      spool_item(address_of(word), data.substr(digits), data[0]);
    }
  }
  void spool_item(std::uint32_t address, std::string_view digits, char fill) {
    char head[10];
    std::size_t size = 1;
    unsigned flags = 0;
    if (address != spooled_address_ || spool_.empty()) {
      flags |= kNewAddress;
      std::memcpy(head + size, &address, 4);
      size += 4;
    }
    if (fill != '0') {
      flags |= kOtherFill;
      head[size++] = fill;
    }
    const auto count = static_cast<std::uint32_t>(digits.size());
    if (count >= kLongSize) {
      std::memcpy(head + size, &count, 4);
      size += 4;
    }
    head[0] = static_cast<char>(flags | std::min(count, std::uint32_t{kLongSize}) << kSizeShift);
    spool_.append({head, size});
    spool_.append(digits);
    spooled_address_ = address + 1;
  }

  // A word whose data text is formed as each bank's slice of it is written.
  void write_item(std::uint32_t address, std::string_view digits, char fill) {
    char fills[64];
    std::memset(fills, fill, sizeof fills);
    const std::size_t first_digit = word_digits_ - digits.size();
    fill_to(address);
    next_ = std::uint64_t{address} + 1;
    const auto row = row_of(address);
    for (std::size_t slice = 0; slice < slices_; ++slice) {
      ImageWriter& bank = *row[slice];
      bank.begin_word(in_row(address));
      const std::size_t from = std::min(slice * digits_, word_digits_);
      const std::size_t to = std::min(from + digits_, word_digits_);
      for (std::size_t at = from; at < std::min(to, first_digit); at += sizeof fills) {
        bank.add_data({fills, std::min({sizeof fills, to - at, first_digit - at})});
      }
      const std::size_t digits_from = std::max(from, first_digit);
      if (to > digits_from)
        bank.add_data(digits.substr(digits_from - first_digit, to - digits_from));
      bank.end_word();
    }
  }

  std::span<ImageWriter* const> banks_;
  std::size_t digits_;
  std::size_t word_digits_;
  std::vector<WordText> words_;
  std::vector<char> fields_ = std::vector<char>(kBlock * kFieldRoom + kFieldRoom);
  std::size_t count_ = 0;
  std::unique_ptr<char[]> arena_;  // formed data texts, with room for the moves past them
  std::size_t arena_used_ = 0;
  bool in_line_ = false;
  std::size_t line_first_ = 0;
  std::size_t line_arena_ = 0;
  verilog_hex::Spool spool_;           // a line's words past the block, until it is judged
  std::uint32_t spooled_address_ = 0;  // after the last word spooled or read back
  bool checked_;                       // written word by word in the banks' format
  bool fills_gaps_;
  std::uint64_t next_ = 0;  // the word after the last one written, where gaps are filled
  std::vector<std::uint32_t> addresses_ = std::vector<std::uint32_t>(kBlock);
  std::uint64_t row_depth_;  // words a row of banks holds
  std::size_t slices_;       // banks a row
  std::string fill_word_;
};

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
          const auto added = pending_.last_words(count);
          const auto addresses = pending_.last_addresses(count);
          for (std::size_t i = 0; i < count; ++i) {
            const std::string_view data(added[i].data, added[i].data_size);
            if (auto refused = checks_.check(line_number_ + 1 + static_cast<std::uint32_t>(i),
                                             addresses[i], 0, '0', data, data)) {
              stop_ = *refused;
              return taken;
            }
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
        if (auto refused =
                checks_.check(line_number_, word->address, 0, '0', word->data, word->data)) {
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
    enum class Part { tabs, address, field_rest, data };
    Part part = Part::tabs;
    constexpr std::uint64_t kTooLarge = std::uint64_t{1} << 32;
    std::uint64_t address = 0;  // stops growing past 32 bits
    std::size_t taken = 0;      // characters of the data text so far
    const std::size_t wanted = slices_of(layout_, banks_.size()) * digits_;
    std::span<ImageWriter* const> row = banks_;  // the word line's banks
    bool word_line = false;
    bool cut = false;  // a NUL came: the rest of the line is not read
    ++line_number_;
    begin_line();
    // The data text as written, for a refusal, as much of it as a line read whole holds.
    std::string data_text;
    const std::size_t quoted = input_.capacity();
    // A character the format cannot hold: nothing more goes to the banks, and the line
    // is refused at its end, after its digits are counted, as a line read whole is.
    std::optional<ConversionResult> characters_refused;
    for (std::string_view text = input_.buffered(); !text.empty(); text = input_.buffered()) {
      const std::size_t lf = text.find('\n');
      std::string_view piece = text.substr(0, lf);
      if (!cut) {
        const std::size_t nul = piece.find('\0');
        cut = nul != std::string_view::npos;
        piece = piece.substr(0, nul);
        std::size_t i = 0;
        for (; !word_line && i < piece.size(); ++i) {
          if (part == Part::data) {  // the data text's first character: a word line after all
            word_line = true;
            memory_file_.abandon_line();
            pending_.drop_line();
            checks_.drop_line();
            const auto word_address = static_cast<std::uint32_t>(std::min(address, kTooLarge - 1));
            if (checks_.active()) {
              if (auto refused = checks_.check_address(line_number_, word_address)) {
                stop_ = *refused;
                return;
              }
              pending_.fill_to(word_address);
            }
            row = pending_.row_of(word_address);
            for (ImageWriter* bank : row) bank->begin_word(pending_.in_row(word_address));
            break;
          }
          const char c = piece[i];
          const int digit = verilog_hex::hex_digit_value(c);
          if (part == Part::tabs) {  // the field's first character, "@" in a word line, is dropped
            if (c != '\t') part = Part::address;
          } else if (c == '\t') {
            part = Part::data;
          } else if (part == Part::address) {
            if (digit >= 0) {
              address = std::min(address << 4 | static_cast<unsigned>(digit), kTooLarge);
            } else {
              part = Part::field_rest;
            }
          }
        }
        if (!word_line) {
          memory_file_.read(piece, add_item());
        } else {
          // Each bank's part of the run, within the slices wanted.
          const std::string_view run = piece.substr(i);
          if (checks_.active()) {
            data_text += run.substr(0, quoted - std::min(quoted, data_text.size()));
            if (!characters_refused && taken < wanted) {
              characters_refused =
                  checks_.check_characters(line_number_, run.substr(0, wanted - taken), {});
            }
          }
          for (std::size_t at = taken;
               !characters_refused && at < wanted && at < taken + run.size();) {
            const std::size_t slice_end =
                std::min((at / digits_ + 1) * digits_, taken + run.size());
            row[at / digits_]->add_data(run.substr(at - taken, slice_end - at));
            at = slice_end;
          }
          taken += run.size();
          // Refused whatever follows: read on only for the text the message quotes.
          if (characters_refused && taken >= wanted && data_text.size() >= quoted) {
            stop_ = *characters_refused;
            stop_.item = std::move(data_text);
            return;
          }
        }
      }
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
    if (word_line) {
      const auto word_address = static_cast<std::uint32_t>(std::min(address, kTooLarge - 1));
      if (checks_.active()) {
        if (auto refused = checks_.check_digits(line_number_, taken, data_text)) {
          stop_ = *refused;
          return;
        }
        if (characters_refused) {
          stop_ = *characters_refused;
          stop_.item = std::move(data_text);
          return;
        }
        checks_.stands(word_address);
        pending_.written(std::uint64_t{word_address} + 1);
      }
      for (ImageWriter* bank : row) bank->end_word();
      memory_file_.after_word_line(word_address);
    } else {
      judge(memory_file_.read_last({}, add_item()));
      pending_.flush();
    }
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
