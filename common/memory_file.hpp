#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "hex_digits.hpp"

namespace verilog_hex {

// The lines of a memory file that are no word lines, read as Verilog's $readmemh reads
// them: white space (space, TAB, VT, FF), "//" comments to the line's end, "/*" comments
// to the next "*/" (on a later line too), address items ("@" and hexadecimal digits: the
// next word's address) and word items (hexadecimal digits, x, z and ?: one word each, at
// the current address, which then goes up by one). "_" is dropped from items, and items
// are separated by white space or comments. A line holding anything else changes
// nothing: the caller takes its words back, and a comment opened on it opens nothing.
// A line is read in pieces, as its text comes, and never held whole.
class MemoryFileLines {
 public:
  enum class Verdict {
    words,     // every word the line gave stands
    skipped,   // anything else is on the line: its words are to be taken back
    too_wide,  // a word item has more digits than a word, beyond leading "0" digits
  };

  // Digits of a word's data text: at least 1.
  explicit MemoryFileLines(std::size_t word_digits) : word_digits_(word_digits) {}

  void begin_line();
  // A piece of the line without its LF; a NUL ends what is read of a line, so the caller
  // gives nothing after one. As each word item ends, on_word(address, digits, fill,
  // in_piece, written) gets its digits from the first that is no leading "0" on (at
  // most the word's digits), the digit that fills the data text's missing leading ones,
  // whether the digits lie in the piece as given (else they last only for the call), and
  // the item as written (its first kMaxItemKept bytes), which lasts only for the call.
  template <class OnWord>
  void read(std::string_view piece, OnWord&& on_word) {
    scan(piece, on_word, false);
  }
  // The line's last piece, and what the line comes to.
  template <class OnWord>
  Verdict read_last(std::string_view piece, OnWord&& on_word) {
    scan(piece, on_word, true);
    return end_line();
  }
  // The line is a word line after all: nothing read of it counts.
  void abandon_line() { address_ = line_address_; }
  // The next word's address after a word line of this address.
  void after_word_line(std::uint32_t address) { address_ = address + 1; }
  // The first too wide item of the line, as written (its first kMaxItemKept bytes).
  std::string_view too_wide_item() const { return too_wide_; }

  static constexpr std::size_t kMaxItemKept = 1 << 20;

 private:
  enum class State : std::uint8_t {
    between,        // before an item, or in white space
    word,           // in a word item
    address,        // in an address item, after its "@"
    after_item,     // an item has just ended
    slash,          // a "/" outside comments
    line_comment,   // after "//"
    block_comment,  // after "/*"
    block_star,     // a "*" in a block comment
    other,          // anything else is on the line
  };
  enum Kind : std::uint8_t { kOther, kSpace, kHex, kUnknown, kUnderscore, kAt, kSlash };
  static const std::array<Kind, 256> kKinds;
  // By byte, for the run of a word item: whether it belongs to one, and is "_".
  static constexpr std::uint8_t kInWord = 1, kIsUnderscore = 2;
  static const std::array<std::uint8_t, 256> kWordBytes;
  static Kind kind(char c) { return kKinds[static_cast<unsigned char>(c)]; }
  static bool in_word(Kind k) { return k == kHex || k == kUnknown || k == kUnderscore; }

  template <class OnWord>
  void scan(std::string_view piece, OnWord& on_word, bool line_ends);
  // Digits of a word item that goes on in the next piece, or that holds a "_".
  void keep_digits(std::string_view text);
  void keep_written(std::string_view text);
  // The word item of which text is the part in this piece has ended; false for an item
  // without a digit.
  template <class OnWord>
  bool end_word(std::string_view text, OnWord& on_word);
  void note_too_wide(std::string_view written);
  Verdict end_line();

  std::size_t word_digits_;
  std::uint32_t address_ = 0;
  std::uint32_t line_address_ = 0;
  bool in_comment_ = false;  // a block comment is open between lines
  State state_ = State::between;
  // The item being read.
  bool carried_ = false;     // it began in an earlier piece
  bool underscore_ = false;  // a "_" in it
  bool leading_zero_ = false;
  bool item_digit_ = false;
  std::uint64_t item_value_ = 0;  // an address item's, no more than 2^32
  std::string digits_;            // kept digits, without leading "0" ones: at most one too many
  std::string written_;           // a carried item as written, for its message
  bool too_wide_found_ = false;
  std::string too_wide_;
};

template <class OnWord>
void MemoryFileLines::scan(std::string_view piece, OnWord& on_word, bool line_ends) {
  const char* p = piece.data();
  const char* const end = p + piece.size();
  const char* item = p;  // the start of the current item in this piece
  // At the line's end an item still open ends, even in an empty piece.
  while (p != end || (line_ends && (state_ == State::word || state_ == State::address))) {
    switch (state_) {
      case State::between: {
        const Kind k = kind(*p);
        if (k == kSpace) {
          ++p;
        } else if (in_word(k)) {
          state_ = State::word;
          item = p;
          carried_ = underscore_ = leading_zero_ = false;
          digits_.clear();
        } else if (k == kAt) {
          state_ = State::address;
          item_digit_ = false;
          item_value_ = 0;
          ++p;
        } else if (k == kSlash) {
          state_ = State::slash;
          ++p;
        } else {
          state_ = State::other;
        }
        break;
      }
      case State::word: {
        const char* q = p;
#ifdef VH_SSE2_PATHS
        // Hexadecimal digits sixteen at a time, while the piece holds sixteen more bytes.
        for (unsigned run = 16; run == 16 && end - q >= 16; q += run) run = leading_hex_digits(q);
#endif
        unsigned seen = 0;
        for (; q != end && (kWordBytes[static_cast<unsigned char>(*q)] & kInWord) != 0; ++q) {
          seen |= kWordBytes[static_cast<unsigned char>(*q)];
        }
        underscore_ = underscore_ || (seen & kIsUnderscore) != 0;
        if (q == end && !line_ends) {
          keep_digits({item, q});
          keep_written({item, q});
          carried_ = true;
          return;
        }
        state_ = end_word({item, static_cast<std::size_t>(q - item)}, on_word) ? State::after_item
                                                                               : State::other;
        p = q;
        break;
      }
      case State::address: {
        const char* q = p;
        for (; q != end; ++q) {
          const int digit = hex_digit_value(*q);
          if (digit < 0 && *q != '_') break;
          if (digit >= 0) {
            item_value_ =
                std::min(item_value_ << 4 | static_cast<unsigned>(digit), std::uint64_t{1} << 32);
            item_digit_ = true;
          }
        }
        p = q;
        if (q == end && !line_ends) return;
        address_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(item_value_, 0xFFFFFFFF));
        state_ = item_digit_ ? State::after_item : State::other;
        break;
      }
      case State::after_item: {
        const Kind k = kind(*p++);
        state_ = k == kSpace ? State::between : k == kSlash ? State::slash : State::other;
        break;
      }
      case State::slash:
        state_ = *p == '/' ? State::line_comment : *p == '*' ? State::block_comment : State::other;
        ++p;
        break;
      case State::block_comment: {
        const void* star = std::memchr(p, '*', static_cast<std::size_t>(end - p));
        if (star == nullptr) return;
        p = static_cast<const char*>(star) + 1;
        state_ = State::block_star;
        break;
      }
      case State::block_star:
        state_ = *p == '/' ? State::between : *p == '*' ? State::block_star : State::block_comment;
        ++p;
        break;
      case State::line_comment:
      case State::other:
        return;
    }
  }
}

template <class OnWord>
bool MemoryFileLines::end_word(std::string_view text, OnWord& on_word) {
  std::string_view digits;
  bool leading_zero;
  const bool in_piece = !carried_ && !underscore_;
  if (carried_) keep_written(text);
  const std::string_view written = carried_ ? std::string_view(written_) : text;
  if (in_piece) {
    const std::size_t first =
        text[0] != '0' ? 0 : std::min(text.find_first_not_of('0'), text.size());
    leading_zero = first > 0;
    digits = text.substr(first);
  } else {
    keep_digits(text);
    digits = digits_;
    leading_zero = leading_zero_;
    if (digits.empty() && !leading_zero) return false;  // "_" alone
  }
  if (digits.size() > word_digits_) {
    note_too_wide(written);
  } else {
    const bool unknown = !leading_zero && !digits.empty() && kind(digits[0]) == kUnknown;
    on_word(address_, digits, unknown ? digits[0] : '0', in_piece, written);
  }
  ++address_;
  return true;
}

}  // namespace verilog_hex
