#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include "block_reader.hpp"
#include "byte_streams.hpp"

namespace verilog_hex {

// Reads text with the rules both tools rely on, whatever the platform: a UTF-8
// byte-order mark at the very start is skipped, every CR byte is dropped and the byte
// 0x1A ends the input. Lines come out of read_line() at most 255 characters long (a
// longer one in pieces); block parsers take runs of text straight from the buffer.
class TextReader {
 public:
  static constexpr std::size_t kMaxLine = 255;
  static constexpr std::size_t kDefaultCapacity = BlockReader::kDefaultCapacity;
  static constexpr std::size_t kMinCapacity = 2 * kMaxLine;
  static constexpr std::size_t kSlack = BlockReader::kSlack;

  explicit TextReader(std::unique_ptr<InputFile> source, std::size_t capacity = kDefaultCapacity);

  // The next line, with its LF unless it was cut or is the last one; valid until the
  // next read. Empty at the end of the input (which then sets the flag) and
  // after a read error.
  std::optional<std::string_view> read_line() {
    std::string_view text = blocks_.buffered();
    if (text.size() < kMaxLine && !blocks_.source_done()) {
      text = fill(kMaxLine);
      if (blocks_.failed()) return std::nullopt;
    }
    if (text.empty()) {
      at_end_ = true;
      return std::nullopt;
    }
    const std::size_t limit = text.size() < kMaxLine ? text.size() : kMaxLine;
    std::size_t length = limit;
    if (const void* lf = std::memchr(text.data(), '\n', limit)) {
      length = static_cast<std::size_t>(static_cast<const char*>(lf) - text.data()) + 1;
    } else if (limit < kMaxLine) {
      at_end_ = true;  // the last line, without a line end
    }
    blocks_.consume(length);
    return text.substr(0, length);
  }

  // The buffered text from the next character on, for callers that take runs of lines
  // without a call per line: unless the input is used up, at least kMaxLine characters.
  // A caller that takes lines exactly as read_line() would give them passes their total
  // length to consume() and leaves the rest to read_line(); one that reads lines whole,
  // whatever their length, takes what it can and comes back for more. So that the
  // caller may load in fixed-size steps, kSlack more bytes can be read past the text's
  // end (their values are unspecified).
  std::string_view buffered() {
    const std::string_view text = blocks_.buffered();
    return text.size() < kMaxLine && !blocks_.source_done() ? fill(kMaxLine) : text;
  }
  void consume(std::size_t count) { blocks_.consume(count); }

  // True when the input starts with a UTF-16 byte-order mark (FF FE or FE FF): text
  // that these rules would read as a wrong list of lines.
  bool starts_as_utf16() {
    if (!started_) fill(kMaxLine);
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
