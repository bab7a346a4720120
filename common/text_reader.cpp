#include "text_reader.hpp"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "carriage_returns.hpp"

namespace verilog_hex {

TextReader::TextReader(std::unique_ptr<InputFile> source, std::size_t capacity)
    : source_(std::move(source)),
      buffer_(std::make_unique<char[]>(std::max(capacity, kMinCapacity) + kSlack)),
      capacity_(std::max(capacity, kMinCapacity)) {}

// Keeps at least one whole line's worth of cleaned bytes buffered, so that a line is
// always contiguous.
bool TextReader::refill() {
  if (failed_) return false;
  while (!source_done_ && end_ - begin_ < kMaxLine) {
    if (begin_ > 0) {
      std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
      end_ -= begin_;
      begin_ = 0;
    }
    const std::ptrdiff_t count = source_->read({buffer_.get() + end_, capacity_ - end_});
    if (count < 0) {
      failed_ = true;
      return false;
    }
    if (count == 0) {
      source_done_ = true;
      break;
    }
    end_ += clean(buffer_.get() + end_, static_cast<std::size_t>(count));
  }
  if (!started_) look_at_start();
  return true;
}

// Windows editors often begin UTF-8 text with a byte-order mark; it is no part of the
// first line.
void TextReader::look_at_start() {
  started_ = true;
  const std::string_view start(buffer_.get() + begin_, std::min<std::size_t>(end_ - begin_, 3));
  utf16_ = start.starts_with("\xFF\xFE") || start.starts_with("\xFE\xFF");
  if (start == "\xEF\xBB\xBF") begin_ += 3;
}

// Cuts the fresh bytes at 0x1A and drops their CR bytes in place; returns how many remain.
std::size_t TextReader::clean(char* bytes, std::size_t count) {
  if (const void* stop = std::memchr(bytes, 0x1A, count)) {
    count = static_cast<std::size_t>(static_cast<const char*>(stop) - bytes);
    source_done_ = true;
  }
  return drop_carriage_returns(bytes, count);
}

}  // namespace verilog_hex
