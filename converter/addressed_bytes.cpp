#include "addressed_bytes.hpp"

#include <algorithm>
#include <cstring>

namespace converter {

void ByteRuns::place(std::uint64_t offset, const std::uint8_t* bytes, std::size_t count) {
  if (open_ && offset > (start_ + used_ + size_ - 1) / size_ * size_) close_run();
  if (!open_) {
    open_ = true;
    start_ = offset - offset % size_;
    used_ = 0;
  }
  const auto gap = static_cast<std::size_t>(offset - start_ - used_);
  std::memset(run_.data() + used_, words_.fill_byte(), gap);
  used_ += gap;
  // Whole words go straight from the bytes where none is held: a segment's blocks and
  // joined records are not copied first.
  if (used_ == 0 && count >= size_) {
    const std::size_t whole = count / size_;
    (void)words_.write(start_ / size_, reinterpret_cast<const char*>(bytes), whole);
    start_ += whole * size_;
    bytes += whole * size_;
    count -= whole * size_;
  }
  while (count > 0) {
    const std::size_t part = std::min(count, run_.size() - used_);
    std::memcpy(run_.data() + used_, bytes, part);
    used_ += part;
    bytes += part;
    count -= part;
    if (used_ >= kRun) write_whole_words();
  }
}

void ByteRuns::close_run() {
  if (!open_) return;
  const std::size_t rest = (size_ - used_ % size_) % size_;
  std::memset(run_.data() + used_, words_.fill_byte(), rest);
  used_ += rest;
  write_whole_words();
  open_ = false;
}

// Depths were checked as the bytes were placed: only a failed output is refused, which
// the conversion sees before its next run.
void ByteRuns::write_whole_words() {
  const std::size_t count = used_ / size_;
  (void)words_.write(start_ / size_, run_.data(), count);
  const std::size_t kept = used_ - count * size_;
  std::memmove(run_.data(), run_.data() + count * size_, kept);
  start_ += count * size_;
  used_ = kept;
}

std::optional<verilog_hex::ConversionResult> AddressedBytes::check(std::uint64_t address,
                                                                   std::uint64_t count) const {
  using verilog_hex::Stop;
  const auto first = static_cast<std::uint32_t>(address);
  if (address < earlier_end_) return verilog_hex::stopped(Stop::below_earlier_end, 0, first);
  if (crop_) return std::nullopt;
  if (address < first_address_) return verilog_hex::stopped(Stop::below_first_address, 0, first);
  const std::uint64_t bytes_per_word = words_.bytes_per_word();
  const std::uint64_t offset = address - first_address_;
  return words_.past_depth(offset / bytes_per_word, (offset + count - 1) / bytes_per_word);
}

std::optional<verilog_hex::ConversionResult> AddressedBytes::place(std::uint64_t address,
                                                                   const std::uint8_t* bytes,
                                                                   std::uint64_t count) {
  if (count == 0) return std::nullopt;
  if (auto refused = check(address, count)) return refused;
  earlier_end_ = address + count;
  if (words_.output().failed()) return verilog_hex::stopped(verilog_hex::Stop::write_failed);
  // Cropped: the bytes below the first address and past the depth are dropped.
  const std::uint64_t given = count;
  if (address < first_address_) {
    const std::uint64_t below = std::min<std::uint64_t>(count, first_address_ - address);
    address += below;
    bytes += below;
    count -= below;
  }
  const std::uint64_t offset = address - first_address_;
  const std::uint64_t end = count == 0 ? 0 : words_.bytes_within_depth(offset, count);
  words_.note_given(given, given - end);
  for (std::uint64_t at = 0; at < end;) {  // in parts a std::size_t holds everywhere
    const std::size_t part = static_cast<std::size_t>(std::min<std::uint64_t>(end - at, 1 << 30));
    runs_.place(offset + at, bytes + at, part);
    at += part;
  }
  return std::nullopt;
}

}  // namespace converter
