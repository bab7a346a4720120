#include "text_reader.hpp"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "carriage_returns.hpp"

namespace verilog_hex {
namespace {

// Cuts the fresh bytes at 0x1A and drops their CR bytes in place.
std::size_t clean_text(char* bytes, std::size_t count, bool& end_of_input) {
  if (const void* stop = std::memchr(bytes, 0x1A, count)) {
    count = static_cast<std::size_t>(static_cast<const char*>(stop) - bytes);
    end_of_input = true;
  }
  return drop_carriage_returns(bytes, count);
}

}  // namespace

TextReader::TextReader(std::unique_ptr<InputFile> source, std::size_t capacity)
    : blocks_(std::move(source), std::max(capacity, kMinCapacity), clean_text) {}

// Windows editors often begin UTF-8 text with a byte-order mark; it is no part of the
// first line.
std::string_view TextReader::fill(std::size_t wanted) {
  std::string_view text = blocks_.fill(wanted);
  if (!started_) {
    started_ = true;
    const std::string_view start = text.substr(0, 3);
    utf16_ = start.starts_with("\xFF\xFE") || start.starts_with("\xFE\xFF");
    if (start == "\xEF\xBB\xBF") {
      blocks_.consume(3);
      text.remove_prefix(3);
    }
  }
  return text;
}

}  // namespace verilog_hex
