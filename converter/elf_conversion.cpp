#include "elf_conversion.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <variant>
#include <vector>

namespace converter {
namespace {

using verilog_hex::ConversionResult;
using verilog_hex::Stop;

constexpr std::uint32_t kLoadable = 1;  // PT_LOAD

struct Segment {
  std::uint64_t address;  // p_paddr
  std::uint64_t offset;   // p_offset
  std::uint64_t size;     // p_filesz
  std::uint32_t number;   // its index in the table
};

// No file reaches this far: the system's positions are signed 64-bit numbers.
constexpr std::uint64_t kFileLimit = std::uint64_t{1} << 63;

// As many of size bytes from the position as the file has there; -1 on a read error.
std::ptrdiff_t read_fully(verilog_hex::InputFile& file, std::uint64_t position, char* into,
                          std::size_t size) {
  if (position >= kFileLimit) return 0;
  size = static_cast<std::size_t>(std::min<std::uint64_t>(size, kFileLimit - position));
  std::size_t done = 0;
  while (done < size) {
    const std::ptrdiff_t count = file.read_at(position + done, {into + done, size - done});
    if (count < 0) return -1;
    if (count == 0) break;
    done += static_cast<std::size_t>(count);
  }
  return static_cast<std::ptrdiff_t>(done);
}

// An unsigned field of size bytes in the file's byte order.
std::uint64_t field(const char* at, std::size_t size, bool big_endian) {
  std::uint64_t value = 0;
  for (std::size_t k = 0; k < size; ++k) {
    const auto byte = static_cast<unsigned char>(at[big_endian ? k : size - 1 - k]);
    value = value << 8 | byte;
  }
  return value;
}

// The loadable segments with bytes in the file, in the table's order; a refusal when the
// file is no ELF file.
std::variant<std::vector<Segment>, ConversionResult> read_segments(verilog_hex::InputFile& file) {
  std::array<char, 64> header{};
  const std::ptrdiff_t read = read_fully(file, 0, header.data(), header.size());
  if (read < 0) return verilog_hex::stopped(Stop::read_failed);
  const bool wide = header[4] == 2;
  const bool big_endian = header[5] == 2;
  if (read < 16 || header[0] != 0x7F || header[1] != 'E' || header[2] != 'L' || header[3] != 'F' ||
      (header[4] != 1 && header[4] != 2) || (header[5] != 1 && header[5] != 2) ||
      read < (wide ? 64 : 52)) {
    return verilog_hex::stopped(Stop::not_elf);
  }
  const auto get = [&](const char* at, std::size_t size) { return field(at, size, big_endian); };
  const std::uint64_t table = wide ? get(&header[0x20], 8) : get(&header[0x1C], 4);
  const std::uint64_t entry_size = wide ? get(&header[0x36], 2) : get(&header[0x2A], 2);
  const std::uint64_t entries = wide ? get(&header[0x38], 2) : get(&header[0x2C], 2);
  if (entries == 0 || entry_size < (wide ? 56u : 32u)) return verilog_hex::stopped(Stop::not_elf);
  std::vector<Segment> segments;
  std::vector<char> entry(entry_size);
  for (std::uint32_t number = 0; number < entries; ++number) {
    const std::ptrdiff_t got =
        read_fully(file, table + number * entry_size, entry.data(), entry.size());
    if (got < 0) return verilog_hex::stopped(Stop::read_failed);
    if (static_cast<std::size_t>(got) < entry.size()) return verilog_hex::stopped(Stop::not_elf);
    const char* const e = entry.data();
    if (get(e, 4) != kLoadable) continue;
    const Segment segment = wide ? Segment{get(e + 24, 8), get(e + 8, 8), get(e + 32, 8), number}
                                 : Segment{get(e + 12, 4), get(e + 4, 4), get(e + 16, 4), number};
    if (segment.size > 0) segments.push_back(segment);
  }
  return segments;
}

// The loadable segments in address order, each in pieces of a block.
class ElfSource final : public AddressedSource {
 public:
  explicit ElfSource(verilog_hex::InputFile& file) : file_(file), block_(64 * 1024) {}

  std::optional<ConversionResult> next(Run& run, std::uint64_t /*limit*/) override {
    if (!read_) {
      read_ = true;
      if (auto refused = read_table()) return refused;
    }
    if (current_ == nullptr || at_ == current_->size) {
      if (next_ == segments_.size()) return ConversionResult{};
      const Segment* const earlier = current_;
      current_ = &segments_[next_++];
      at_ = 0;
      if (earlier != nullptr && current_->address < earlier->address + earlier->size) {
        ConversionResult refused = verilog_hex::stopped(Stop::segments_overlap, current_->number);
        refused.limit = earlier->number;
        return refused;
      }
    }
    const std::size_t part =
        static_cast<std::size_t>(std::min<std::uint64_t>(block_.size(), current_->size - at_));
    if (read_fully(file_, current_->offset + at_, block_.data(), part) !=
        static_cast<std::ptrdiff_t>(part)) {
      return verilog_hex::stopped(Stop::read_failed);
    }
    run = {current_->address + at_,
           {reinterpret_cast<const std::uint8_t*>(block_.data()), part},
           current_->number,
           at_ == 0 ? current_->size : 0};
    at_ += part;
    return std::nullopt;
  }

 private:
  // The segments, checked whole and in address order; a refusal where the file has one.
  std::optional<ConversionResult> read_table() {
    if (!file_.can_read_at()) return verilog_hex::stopped(Stop::not_positionable);
    auto read = read_segments(file_);
    if (auto* refused = std::get_if<ConversionResult>(&read)) return *refused;
    segments_ = std::move(std::get<std::vector<Segment>>(read));
    for (const Segment& segment : segments_) {
      char last = 0;
      const std::uint64_t end = segment.offset + segment.size;
      const std::ptrdiff_t got = end < segment.offset ? 0 : read_fully(file_, end - 1, &last, 1);
      if (got < 0) return verilog_hex::stopped(Stop::read_failed);
      if (got == 0) return verilog_hex::stopped(Stop::segment_past_end, segment.number);
      if (segment.address + segment.size > (std::uint64_t{1} << 32) ||
          segment.address + segment.size < segment.address) {
        return verilog_hex::stopped(Stop::segment_past_4gib, segment.number);
      }
    }
    std::stable_sort(segments_.begin(), segments_.end(),
                     [](const Segment& a, const Segment& b) { return a.address < b.address; });
    return std::nullopt;
  }

  verilog_hex::InputFile& file_;
  std::vector<char> block_;
  std::vector<Segment> segments_;
  bool read_ = false;
  std::size_t next_ = 0;              // the segment to read after the current one
  const Segment* current_ = nullptr;  // the segment being read
  std::uint64_t at_ = 0;              // the bytes of it given so far
};

}  // namespace

std::unique_ptr<AddressedSource> elf_source(verilog_hex::InputFile& file) {
  return std::make_unique<ElfSource>(file);
}

}  // namespace converter
