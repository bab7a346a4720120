#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include "file_system.hpp"

namespace verilog_hex {

// Reads text line by line with the rules both tools rely on, whatever the platform:
// a UTF-8 byte-order mark at the very start is skipped, every CR byte is dropped, the
// byte 0x1A ends the input, and a line is at most 255 characters (a longer one comes
// out in pieces).
class TextReader {
 public:
  static constexpr std::size_t kMaxLine = 255;
  static constexpr std::size_t kDefaultCapacity = 256 * 1024;
  static constexpr std::size_t kMinCapacity = 2 * kMaxLine;
  static constexpr std::size_t kSlack = 16;

  explicit TextReader(std::unique_ptr<InputFile> source, std::size_t capacity = kDefaultCapacity);

  // The next line, with its LF unless it was cut or is the last one; valid until the
  // next read. Empty at the end of the input (which then sets the flag) and
  // after a read error.
  std::optional<std::string_view> read_line() {
    if (end_ - begin_ < kMaxLine && !source_done_ && !refill()) return std::nullopt;
    const std::size_t available = end_ - begin_;
    if (available == 0) {
      at_end_ = true;
      return std::nullopt;
    }
    const char* start = buffer_.get() + begin_;
    const std::size_t limit = available < kMaxLine ? available : kMaxLine;
    std::size_t length = limit;
    if (const void* lf = std::memchr(start, '\n', limit)) {
      length = static_cast<std::size_t>(static_cast<const char*>(lf) - start) + 1;
    } else if (limit < kMaxLine) {
      at_end_ = true;  // the last line, without a line end
    }
    begin_ += length;
    return std::string_view(start, length);
  }

  // The buffered text from the next line on, for callers that take runs of short lines
  // without a call per line: unless the input is used up, it holds at least one whole
  // line. Such a caller may take only lines that end in LF and are at most kMaxLine
  // long with it, exactly as read_line() would give them, and passes their total length
  // to consume(). Anything else it leaves to read_line(). So that the caller may copy in
  // fixed moves, kSlack more bytes can be read past the text's end (their values are
  // unspecified).
  std::string_view buffered() {
    if (end_ - begin_ < kMaxLine && !source_done_) refill();
    return {buffer_.get() + begin_, end_ - begin_};
  }
  void consume(std::size_t count) { begin_ += count; }

  // True when the input starts with a UTF-16 byte-order mark (FF FE or FE FF): text
  // that these rules would read as a wrong list of lines.
  bool starts_as_utf16() {
    if (!started_) refill();
    return utf16_;
  }

  // The end-of-input flag: set by the read that meets the end.
  bool at_end() const { return at_end_; }
  // True once reading the underlying file has failed.
  bool failed() const { return failed_; }

 private:
  bool refill();
  void look_at_start();
  std::size_t clean(char* bytes, std::size_t count);

  std::unique_ptr<InputFile> source_;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool source_done_ = false;
  bool started_ = false;  // the first bytes have been looked at
  bool utf16_ = false;
  bool at_end_ = false;
  bool failed_ = false;
};

}  // namespace verilog_hex
