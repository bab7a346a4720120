#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "conversion_result.hpp"
#include "image_writer.hpp"

namespace converter {

// The widest word: 4096 bits.
inline constexpr unsigned kMaxBytesPerWord = 512;

// The words of an image as they go out, in ascending order of their addresses, each
// once. With a depth N (0: none) the image holds exactly the words 0 to N - 1: the words
// that no input byte reaches are written as fill words, and a word at N or past it is
// refused. A dense image has no gaps either: words 0 to the highest one written.
class ImageWords {
 public:
  ImageWords(verilog_hex::ImageWriter& output, unsigned bytes_per_word, bool big_endian,
             std::uint32_t depth, std::uint8_t fill = 0, bool dense = false, bool crop = false)
      : output_(output),
        bytes_per_word_(bytes_per_word),
        big_endian_(big_endian),
        depth_(depth),
        fill_(fill),
        dense_(dense),
        crop_(crop) {}

  verilog_hex::ImageWriter& output() { return output_; }
  unsigned bytes_per_word() const { return bytes_per_word_; }
  bool big_endian() const { return big_endian_; }
  // Every byte of a written word that no input byte gives.
  std::uint8_t fill_byte() const { return fill_; }
  // The words written so far, gaps included: the image's depth once finished.
  std::uint64_t words_written() const { return next_; }
  // True where input outside the memory is dropped instead of refused.
  bool crops() const { return crop_; }
  // How many of count words from the address, or of count bytes from the byte offset,
  // the memory keeps: where it crops, those below the depth; else all.
  std::uint64_t within_depth(std::uint64_t address, std::uint64_t count) const {
    if (!crop_ || depth_ == 0) return count;
    return address >= depth_ ? 0 : std::min<std::uint64_t>(count, depth_ - address);
  }
  std::uint64_t bytes_within_depth(std::uint64_t offset, std::uint64_t count) const {
    if (!crop_ || depth_ == 0) return count;
    const std::uint64_t limit = std::uint64_t{depth_} * bytes_per_word_;
    return offset >= limit ? 0 : std::min<std::uint64_t>(count, limit - offset);
  }

  // The refusal of the first of the words first to last that lies past the depth.
  std::optional<verilog_hex::ConversionResult> past_depth(std::uint64_t first,
                                                          std::uint64_t last) const;
  // Takes count words from the address on, at or after every word taken before, for the
  // caller to write; the words skipped before them are written as fill words first where
  // the memory has a depth or the image is dense. Refused, with nothing written, where one lies
  // past the depth, and once the output has failed, so that a run stops reading at once.
  std::optional<verilog_hex::ConversionResult> take(std::uint64_t address, std::uint64_t count);
  // Takes and writes count whole words of bytes from the address on, the first byte of
  // a word at its position 0.
  std::optional<verilog_hex::ConversionResult> write(std::uint64_t address, const char* bytes,
                                                     std::size_t count);
  // The fill words still owed up to the depth.
  void finish() {
    if (depth_ != 0) take(depth_, 0);
  }

  // What the crop dropped, for the run to say: of count bytes an addressed input gave,
  // dropped lay outside the memory; or a byte list or binary input went on past the
  // depth.
  void note_given(std::uint64_t count, std::uint64_t dropped) {
    bytes_given_ += count;
    bytes_dropped_ += dropped;
  }
  void note_cut() { cut_ = true; }
  std::uint64_t bytes_given() const { return bytes_given_; }
  std::uint64_t bytes_dropped() const { return bytes_dropped_; }
  bool cut() const { return cut_; }
  std::uint32_t depth() const { return depth_; }

 private:
  verilog_hex::ImageWriter& output_;
  unsigned bytes_per_word_;
  bool big_endian_;
  std::uint32_t depth_;
  std::uint8_t fill_;
  bool dense_;
  bool crop_;
  std::uint64_t next_ = 0;  // the first word not yet taken
  std::uint64_t bytes_given_ = 0;
  std::uint64_t bytes_dropped_ = 0;
  bool cut_ = false;
};

}  // namespace converter
