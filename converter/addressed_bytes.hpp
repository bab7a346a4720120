#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "conversion_result.hpp"
#include "image_words.hpp"

namespace converter {

// Runs of bytes at ascending offsets from the memory's first byte, gathered so that
// whole words go out many at a time, as binary input's do.
class ByteRuns {
 public:
  explicit ByteRuns(ImageWords& words)
      : words_(words), size_(words.bytes_per_word()), run_(kRun + size_) {}

  // The bytes from the offset on, at or past the end of every byte placed before. The
  // run holds less than kRun bytes between calls, so a gap within the last word fits.
  void place(std::uint64_t offset, const std::uint8_t* bytes, std::size_t count);
  // The run's last word goes out too, its missing bytes the fill byte.
  void close_run();

 private:
  static constexpr std::size_t kRun = 64 * 1024;

  void write_whole_words();

  ImageWords& words_;
  std::size_t size_;
  std::vector<char> run_;
  std::uint64_t start_ = 0;  // the offset of the run's first byte, a word's first
  std::size_t used_ = 0;
  bool open_ = false;
};

// Bytes that an addressed input (Intel HEX, ELF) gives at byte addresses, placed as
// the memory holds them: byte address A goes to word (A - first_address) / B at
// position (A - first_address) mod B. Runs must come in ascending address order without
// overlap. Bytes below the first address or past the depth are refused or, where the
// memory is cropped, dropped; words that no byte reaches are left out (the image's
// depth fills them), and the bytes of a word no run gives are the fill byte.
class AddressedBytes {
 public:
  AddressedBytes(ImageWords& words, std::uint32_t first_address, bool crop)
      : words_(words), runs_(words), first_address_(first_address), crop_(crop) {}

  // The count bytes from the address on; the refusal of the first that may not be
  // placed (below_earlier_end, below_first_address, past_last_word, with the address
  // or the word), the caller adding where it was read.
  std::optional<verilog_hex::ConversionResult> place(std::uint64_t address,
                                                     const std::uint8_t* bytes,
                                                     std::uint64_t count);
  // The refusal place() would give the run, without placing it.
  std::optional<verilog_hex::ConversionResult> check(std::uint64_t address,
                                                     std::uint64_t count) const;
  // Where the runs placed so far end.
  std::uint64_t end() const { return earlier_end_; }
  // True once the image's output failed, so that reading stops at once.
  bool failed() const { return words_.output().failed(); }
  void finish() { runs_.close_run(); }

 private:
  ImageWords& words_;
  ByteRuns runs_;
  std::uint32_t first_address_;
  bool crop_;
  std::uint64_t earlier_end_ = 0;
};

}  // namespace converter
