#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include "block_reader.hpp"
#include "byte_streams.hpp"

namespace verilog_hex {

// A space or a TAB.
inline bool is_blank(char c) { return c == ' ' || c == '\t'; }

// True for a line that is empty or holds only spaces and TABs (and its LF).
inline bool is_blank_line(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  for (const char c : line) {
    if (!is_blank(c)) return false;
  }
  return true;
}

// Reads text with the rules both tools rely on, whatever the platform: a UTF-8
// byte-order mark at the very start is skipped, every CR byte is dropped and the byte
// 0x1A ends the input. Lines come out of read_line() whole or cut at a length the caller
// chooses; block parsers take runs of text straight from the buffer.
class TextReader {
 public:
  // What buffered() holds at the least, unless the input is used up.
  static constexpr std::size_t kMinRun = 255;
  static constexpr std::size_t kDefaultCapacity = BlockReader::kDefaultCapacity;
  static constexpr std::size_t kMinCapacity = 2 * kMinRun;
  static constexpr std::size_t kSlack = BlockReader::kSlack;

  explicit TextReader(std::unique_ptr<InputFile> source, std::size_t capacity = kDefaultCapacity);

  // The next line, with its LF unless it is the last one or longer than most characters
  // (or than the buffer): then its first most characters, the next read taking up where
  // this one stopped. Valid until the next read. Empty at the end of the input (which
  // then sets the flag) and after a read error.
  std::optional<std::string_view> read_line(std::size_t most) {
    if (blocks_.failed()) return std::nullopt;
    most = most < blocks_.capacity() ? most : blocks_.capacity();
    std::string_view text = blocks_.buffered();
    const void* lf = std::memchr(text.data(), '\n', text.size() < most ? text.size() : most);
    if (lf == nullptr && text.size() < most && !blocks_.source_done()) {
      text = fill(most);
      if (blocks_.failed()) return std::nullopt;
      lf = std::memchr(text.data(), '\n', text.size() < most ? text.size() : most);
    }
    if (text.empty()) {
      at_end_ = true;
      return std::nullopt;
    }
    std::size_t length = text.size() < most ? text.size() : most;
    if (lf != nullptr) {
      length = static_cast<std::size_t>(static_cast<const char*>(lf) - text.data()) + 1;
    } else if (length < most) {
      at_end_ = true;  // the last line, without a line end
    }
    blocks_.consume(length);
    return text.substr(0, length);
  }
  // The next line whole, where it fits in the buffer.
  std::optional<std::string_view> read_whole_line() { return read_line(blocks_.capacity()); }
  // The longest line read_whole_line() hands out.
  std::size_t capacity() const { return blocks_.capacity(); }
  // After the first piece of a line longer than the buffer: reads the rest of it and
  // tells whether it held only spaces and TABs.
  bool rest_of_line_is_blank() {
    while (const auto piece = read_whole_line()) {
      if (!is_blank_line(*piece)) return false;
      if (piece->back() == '\n') break;
    }
    return true;
  }

  // The buffered text from the next character on, for callers that take runs of lines
  // without a call per line: unless the input is used up, at least kMinRun characters.
  // A caller that takes lines exactly as read_line() would give them passes their total
  // length to consume() and leaves the rest to read_line(); one that reads lines whole,
  // whatever their length, takes what it can and comes back for more. So that the
  // caller may load in fixed-size steps, kSlack more bytes can be read past the text's
  // end (their values are unspecified).
  std::string_view buffered() {
    const std::string_view text = blocks_.buffered();
    return text.size() < kMinRun && !blocks_.source_done() ? fill(kMinRun) : text;
  }
  void consume(std::size_t count) { blocks_.consume(count); }

  // True when the input starts with a UTF-16 byte-order mark (FF FE or FE FF): text
  // that these rules would read as a wrong list of lines.
  bool starts_as_utf16() {
    if (!started_) fill(kMinRun);
    return utf16_;
  }

  // The end-of-input flag: set by the read that meets the end.
  bool at_end() const { return at_end_; }
  // True once reading the underlying file has failed.
  bool failed() const { return blocks_.failed(); }

 private:
  std::string_view fill(std::size_t wanted);

  BlockReader blocks_;
  bool started_ = false;  // the first bytes have been looked at
  bool utf16_ = false;
  bool at_end_ = false;
};

}  // namespace verilog_hex
