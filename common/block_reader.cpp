#include "block_reader.hpp"

#include <algorithm>
#include <cstring>

namespace verilog_hex {

BlockReader::BlockReader(std::unique_ptr<InputFile> source, std::size_t capacity, Filter filter)
    : source_(std::move(source)),
      buffer_(std::make_unique<char[]>(std::max(capacity, kMinCapacity) + kSlack)),
      capacity_(std::max(capacity, kMinCapacity)),
      filter_(filter) {}

std::string_view BlockReader::fill(std::size_t wanted) {
  wanted = std::min(wanted, capacity_);
  while (!source_done_ && !failed_ && end_ - begin_ < wanted) {
    // The bytes kept move to the front, so that what is buffered is always contiguous.
    if (begin_ > 0) {
      std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
      end_ -= begin_;
      begin_ = 0;
    }
    const std::ptrdiff_t count = source_->read({buffer_.get() + end_, capacity_ - end_});
    if (count < 0) {
      failed_ = true;
      break;
    }
    if (count == 0) {
      source_done_ = true;
      break;
    }
    std::size_t kept = static_cast<std::size_t>(count);
    if (filter_ != nullptr) kept = filter_(buffer_.get() + end_, kept, source_done_);
    end_ += kept;
  }
  return buffered();
}

}  // namespace verilog_hex
