#include "text_writer.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

namespace verilog_hex {

TextWriter::TextWriter(std::unique_ptr<BufferSink> sink, std::size_t capacity)
    : TextWriter(std::move(sink),
                 std::make_shared<BufferPool>(std::max(capacity, kMinCapacity), 2)) {}

TextWriter::TextWriter(std::unique_ptr<BufferSink> sink, std::shared_ptr<BufferPool> pool)
    : sink_(std::move(sink)), pool_(std::move(pool)), capacity_(pool_->size()) {}

TextWriter::~TextWriter() {
  if (!finished_) finish();
}

void TextWriter::append(std::string_view bytes) {
  while (!bytes.empty()) {
    if (used_ == room_) flush();
    const std::size_t count = std::min(bytes.size(), room_ - used_);
    std::memcpy(buffer_.get() + used_, bytes.data(), count);
    used_ += count;
    bytes.remove_prefix(count);
  }
}

void TextWriter::flush() {
  hand_over();
  if (!buffer_) {
    buffer_ = pool_->take();
    room_ = capacity_;
  }
}

// After a failure the buffered bytes are dropped: the output is lost anyway and
// finish() reports it.
void TextWriter::hand_over() {
  if (used_ > 0 && !failed_) {
    if (!sink_->start(std::move(buffer_), used_, *pool_)) failed_ = true;
    handed_over_ += used_;
    room_ = 0;
  }
  used_ = 0;
}

void TextWriter::release() {
  hand_over();
  if (buffer_) pool_->give(std::move(buffer_));
  room_ = 0;
}

bool TextWriter::cut_back(std::uint64_t position) {
  if (failed_) return false;
  if (position >= handed_over_) {
    used_ = static_cast<std::size_t>(position - handed_over_);
    return true;
  }
  if (!sink_->cut_back(position)) {
    failed_ = true;
    return false;
  }
  handed_over_ = position;
  used_ = 0;
  return true;
}

std::optional<bool> TextWriter::append_from(ScratchFile& scratch, std::uint64_t size) {
  hand_over();
  if (failed_) return false;
  const std::optional<bool> appended = sink_->append_from(scratch, size);
  if (appended == false) failed_ = true;
  if (appended == true) handed_over_ += size;
  return appended;
}

bool TextWriter::replace_start(std::uint64_t size, std::string_view start) {
  hand_over();
  if (failed_ || !sink_->replace_start(handed_over_, size, start)) {
    failed_ = true;
    return false;
  }
  handed_over_ = handed_over_ - size + start.size();
  return true;
}

bool TextWriter::finish() {
  if (finished_) return !failed_;
  finished_ = true;
  if (!sink_->close(failed_ ? std::string_view() : std::string_view(buffer_.get(), used_))) {
    failed_ = true;
  }
  used_ = 0;
  release();
  return !failed_;
}

}  // namespace verilog_hex
