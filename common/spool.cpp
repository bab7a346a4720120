#include "spool.hpp"

#include <algorithm>
#include <cstring>

namespace verilog_hex {

void Spool::append(std::string_view bytes) {
  if (failed_) return;
  if (buffer_.size() - used_ < bytes.size()) {
    if (!flush_to_file()) return;
    if (bytes.size() > buffer_.size()) {
      failed_ = !file_->write(bytes);
      in_file_ += bytes.size();
      return;
    }
  }
  std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
  used_ += bytes.size();
}

bool Spool::flush_to_file() {
  if (!file_) file_ = open_scratch_();
  if (!file_ || !file_->write({buffer_.data(), used_})) {
    failed_ = true;
    return false;
  }
  in_file_ += used_;
  used_ = 0;
  return true;
}

void Spool::rewind() {
  // Where the file holds some, all goes there, so that the buffer can serve as a cache.
  if (in_file_ > 0 && used_ > 0) flush_to_file();
  reading_ = true;
  read_from_ = 0;
  read_at_ = 0;
  if (in_file_ > 0) used_ = 0;
}

bool Spool::read(char* into, std::size_t size) {
  if (failed_ || !reading_) return false;
  if (in_file_ == 0) {  // all in the buffer
    if (used_ - read_at_ < size) return false;
    std::memcpy(into, buffer_.data() + read_at_, size);
    read_at_ += size;
    return true;
  }
  while (size > 0) {
    if (read_at_ == used_) {  // the cache is spent: the next part of the file
      read_from_ += used_;
      read_at_ = used_ = 0;
      const std::ptrdiff_t count = file_->read_at(read_from_, buffer_);
      if (count < 0) failed_ = true;
      if (count <= 0) return false;
      used_ = static_cast<std::size_t>(count);
    }
    const std::size_t part = std::min(size, used_ - read_at_);
    std::memcpy(into, buffer_.data() + read_at_, part);
    read_at_ += part;
    into += part;
    size -= part;
  }
  return true;
}

void Spool::clear() {
  if (in_file_ > 0 && !file_->clear()) failed_ = true;
  in_file_ = 0;
  used_ = 0;
  reading_ = false;
}

}  // namespace verilog_hex
