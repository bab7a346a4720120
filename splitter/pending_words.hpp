#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bank_layout.hpp"
#include "image_writer.hpp"
#include "number_parse.hpp"
#include "numbered_words.hpp"
#include "spool.hpp"

namespace splitter {

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

inline std::uint32_t address_of(const WordText& word) {
  return verilog_hex::hex_digits_value(word.field + 1, word.field_size - 2);
}

// For each word, a line in the output's format with the word's own address and the part
// of its data text that starts at the offset, at most digits long (empty when the text
// is shorter); the address is copied from the field. Fields and texts
// may be copied in moves of kSliceMove bytes, which must be readable from the start of
// each field and from the offset in each text that reaches it.
void write_slices(verilog_hex::ImageWriter& output, std::span<const WordText> words,
                  std::size_t offset, std::size_t digits);

// Words on their way to the banks, a block at a time: each bank takes its slices of the
// whole block in one go. The words of a line wait until the line is judged: in the
// block or, where there are more, in the spool, so that nothing a bank receives is ever
// taken back (a bank may be a device or a FIFO).
class PendingWords {
 public:
  PendingWords(std::span<verilog_hex::ImageWriter* const> banks, const BankLayout& layout,
               bool checked, verilog_hex::Spool::OpenScratch open_scratch)
      : banks_(banks),
        digits_(static_cast<std::size_t>(layout.digits)),
        word_digits_(layout.word_digits),
        words_(kBlock),
        arena_(std::make_unique<char[]>(kArena + verilog_hex::ImageWriter::kSliceMove)),
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
  // The banks of the word's row, and its address there. Rows are written one after
  // another: the banks of the row before give their buffers back.
  std::span<verilog_hex::ImageWriter* const> row_of(std::uint64_t address) {
    const auto row = static_cast<std::size_t>(address / row_depth_);
    if (row != row_) {
      for (verilog_hex::ImageWriter* bank : banks_.subspan(row_ * slices_, slices_)) {
        bank->release();
      }
      row_ = row;
    }
    return banks_.subspan(row * slices_, slices_);
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
  void add_item(std::uint32_t address, std::string_view digits, char fill, bool in_piece);

  void begin_line() {
    in_line_ = true;
    line_first_ = count_;
    line_arena_ = arena_used_;
  }
  // The line's words stand: those spooled go to the banks before those still in the block.
  void keep_line();
  void drop_line() {
    spool_.clear();
    count_ = line_first_;
    arena_used_ = line_arena_;
    in_line_ = false;
  }

  // Every word so far to the banks, but those of a line not yet judged to the spool.
  void flush();

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
  void write(std::size_t first, std::size_t end);
  // In the banks' format, the gaps before each word filled where they must be: each run
  // of words that follow one another in a row, with whole slices, a batch at a time.
  void write_checked(std::size_t first, std::size_t end);
  // The slice of the words in the bank from the address on.
  void write_run(verilog_hex::ImageWriter& bank, std::uint32_t address,
                 std::span<const WordText> words, std::size_t offset) const;
  // The slice's fill words for the addresses from to before to, row by row.
  void fill(std::size_t slice, std::uint64_t from, std::uint64_t to);
  // Each word as its fill (its first character) and the digits after the fill's run.
  void spool_words(std::size_t first, std::size_t end);
  void spool_item(std::uint32_t address, std::string_view digits, char fill);

  // A word whose data text is formed as each bank's slice of it is written.
  void write_item(std::uint32_t address, std::string_view digits, char fill);

  std::span<verilog_hex::ImageWriter* const> banks_;
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
  std::size_t row_ = 0;      // the row written last
  std::string fill_word_;
};

}  // namespace splitter
