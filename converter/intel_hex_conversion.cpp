#include "intel_hex_conversion.hpp"

#include <cstring>
#include <optional>
#include <vector>

#include "intel_hex.hpp"

namespace converter {
namespace {

using verilog_hex::ConversionResult;
using verilog_hex::IntelHexRecord;
using verilog_hex::Stop;

// Runs of bytes at ascending offsets from the memory's first byte, gathered so that
// whole words go out many at a time, as binary input's do.
class ByteRuns {
 public:
  explicit ByteRuns(ImageWords& words)
      : words_(words), size_(words.bytes_per_word()), run_(kRun + size_) {}

  // The bytes from the offset on, at or past the end of every byte placed before. The
  // run holds less than kRun bytes between calls, so a gap within the last word fits.
  void place(std::uint64_t offset, const std::uint8_t* bytes, std::size_t count) {
    if (open_ && offset >= (start_ + used_ + size_ - 1) / size_ * size_) close_run();
    if (!open_) {
      open_ = true;
      start_ = offset - offset % size_;
      used_ = 0;
    }
    const auto gap = static_cast<std::size_t>(offset - start_ - used_);
    std::memset(run_.data() + used_, words_.fill_byte(), gap);
    used_ += gap;
    while (count > 0) {
      const std::size_t part = std::min(count, run_.size() - used_);
      std::memcpy(run_.data() + used_, bytes, part);
      used_ += part;
      bytes += part;
      count -= part;
      if (used_ >= kRun) write_whole_words();
    }
  }
  // The run's last word goes out too, its missing bytes the fill byte.
  void close_run() {
    if (!open_) return;
    const std::size_t rest = (size_ - used_ % size_) % size_;
    std::memset(run_.data() + used_, words_.fill_byte(), rest);
    used_ += rest;
    write_whole_words();
    open_ = false;
  }

 private:
  static constexpr std::size_t kRun = 64 * 1024;

  // Depths were checked as the bytes were placed: only a failed output is refused, which
  // the conversion sees on its next line.
  void write_whole_words() {
    const std::size_t count = used_ / size_;
    (void)words_.write(start_ / size_, run_.data(), count);
    const std::size_t kept = used_ - count * size_;
    std::memmove(run_.data(), run_.data() + count * size_, kept);
    start_ += count * size_;
    used_ = kept;
  }

  ImageWords& words_;
  std::size_t size_;
  std::vector<char> run_;
  std::uint64_t start_ = 0;  // the offset of the run's first byte, a word's first
  std::size_t used_ = 0;
  bool open_ = false;
};

// The rest of a line longer than the reader's buffer, after its first piece: a record
// may be followed by any number of spaces and TABs. False where anything else follows.
bool rest_is_blank(verilog_hex::TextReader& input) {
  while (const auto piece = input.read_whole_line()) {
    if (!verilog_hex::is_blank_line(*piece)) return false;
    if (piece->back() == '\n') break;
  }
  return true;
}

}  // namespace

ConversionResult convert_intel_hex(verilog_hex::TextReader& input, ImageWords& words,
                                   std::uint32_t first_address) {
  ByteRuns runs(words);
  IntelHexRecord parsed_record;
  const std::uint64_t bytes_per_word = words.bytes_per_word();
  std::uint64_t base = 0;
  bool segment_base = false;  // a 02 record set the base: a record stays within 64 KiB
  std::uint64_t earlier_end = 0;
  std::uint32_t line_number = 0;
  while (const auto line = input.read_whole_line()) {
    ++line_number;
    if (words.output().failed()) return verilog_hex::stopped(Stop::write_failed);
    const auto refuse = [&](Stop stop, std::uint32_t value = 0) {
      return verilog_hex::stopped(stop, line_number, value);
    };
    const bool blank = (*line)[0] != ':' && verilog_hex::is_blank_line(*line);
    const bool parsed = !blank && verilog_hex::parse_intel_hex_record(*line, parsed_record);
    const bool whole = line->back() == '\n' || input.at_end() || rest_is_blank(input);
    if (blank && whole) continue;
    if (!parsed || !whole) return refuse(Stop::not_a_record);
    const IntelHexRecord* const record = &parsed_record;
    const std::uint64_t address = base + record->address;
    if (record->type == IntelHexRecord::data && record->count > 0 &&
        (segment_base ? record->address + record->count > 0x10000u
                      : address + record->count > 0x100000000u)) {
      return refuse(Stop::not_a_record);
    }
    if (!record->checksum_right) return refuse(Stop::wrong_checksum);
    switch (record->type) {
      case IntelHexRecord::data: {
        if (record->count == 0) break;
        const auto first = static_cast<std::uint32_t>(address);
        if (address < earlier_end) return refuse(Stop::below_earlier_end, first);
        if (address < first_address) return refuse(Stop::below_first_address, first);
        const std::uint64_t offset = address - first_address;
        if (auto refused = words.past_depth(offset / bytes_per_word,
                                            (offset + record->count - 1) / bytes_per_word)) {
          refused->line = line_number;
          return *refused;
        }
        runs.place(offset, record->bytes.data(), record->count);
        earlier_end = address + record->count;
        break;
      }
      case IntelHexRecord::end_of_file:
        runs.close_run();
        return {};
      case IntelHexRecord::segment_address:
        base = std::uint64_t{record->base_value()} << 4;
        segment_base = true;
        break;
      case IntelHexRecord::linear_address:
        base = std::uint64_t{record->base_value()} << 16;
        segment_base = false;
        break;
      case IntelHexRecord::start_segment:
      case IntelHexRecord::start_linear:
        break;
      default:
        return refuse(Stop::unknown_record_type, record->type);
    }
  }
  if (input.failed()) return verilog_hex::stopped(Stop::read_failed);
  runs.close_run();
  return {};
}

}  // namespace converter
