#include "memory_file.hpp"

namespace verilog_hex {

const std::array<MemoryFileLines::Kind, 256> MemoryFileLines::kKinds = [] {
  std::array<Kind, 256> kinds{};
  for (int c = 0; c < 256; ++c) {
    if (hex_digit_value(static_cast<char>(c)) >= 0) kinds[static_cast<std::size_t>(c)] = kHex;
  }
  for (const unsigned char c : std::string_view(" \t\v\f")) kinds[c] = kSpace;
  for (const unsigned char c : std::string_view("xXzZ?")) kinds[c] = kUnknown;
  kinds['_'] = kUnderscore;
  kinds['@'] = kAt;
  kinds['/'] = kSlash;
  return kinds;
}();

const std::array<std::uint8_t, 256> MemoryFileLines::kWordBytes = [] {
  std::array<std::uint8_t, 256> bytes{};
  for (std::size_t c = 0; c < 256; ++c) {
    if (in_word(kKinds[c])) bytes[c] = kInWord;
  }
  bytes['_'] |= kIsUnderscore;
  return bytes;
}();

void MemoryFileLines::begin_line() {
  state_ = in_comment_ ? State::block_comment : State::between;
  line_address_ = address_;
  too_wide_found_ = false;
  too_wide_.clear();
}

void MemoryFileLines::keep_digits(std::string_view text) {
  for (const char c : text) {
    if (c == '_') continue;
    if (c == '0' && digits_.empty()) {
      leading_zero_ = true;
    } else if (digits_.size() <= word_digits_) {  // one more tells a word too wide
      digits_ += c;
    }
  }
}

void MemoryFileLines::keep_written(std::string_view text) {
  if (!carried_) written_.clear();
  written_.append(text.substr(0, kMaxItemKept - std::min(written_.size(), kMaxItemKept)));
}

void MemoryFileLines::note_too_wide(std::string_view written) {
  if (too_wide_found_) return;
  too_wide_found_ = true;
  too_wide_ = written.substr(0, kMaxItemKept);
}

MemoryFileLines::Verdict MemoryFileLines::end_line() {
  if (state_ == State::slash) state_ = State::other;  // a "/" alone
  if (state_ == State::other) {
    address_ = line_address_;
    in_comment_ = false;
    return Verdict::skipped;
  }
  in_comment_ = state_ == State::block_comment || state_ == State::block_star;
  return too_wide_found_ ? Verdict::too_wide : Verdict::words;
}

}  // namespace verilog_hex
