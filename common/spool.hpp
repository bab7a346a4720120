#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "byte_streams.hpp"

namespace verilog_hex {

// Bytes held back until the caller knows what becomes of them, read back in the order
// written. Up to a buffer's worth stays in memory; past that they go to a scratch file,
// made when first needed, so that memory stays bounded however much is held.
class Spool {
 public:
  using OpenScratch = std::function<std::unique_ptr<ScratchFile>()>;
  static constexpr std::size_t kDefaultCapacity = 64 * 1024;

  explicit Spool(OpenScratch open_scratch, std::size_t capacity = kDefaultCapacity)
      : open_scratch_(std::move(open_scratch)), buffer_(capacity) {}

  bool empty() const { return used_ == 0 && in_file_ == 0; }
  // True once a write or read failed, or no scratch file could be made.
  bool failed() const { return failed_; }

  void append(std::string_view bytes);
  // Reading goes on from the start.
  void rewind();
  // The next size bytes into the place; false at the end or on a failure.
  bool read(char* into, std::size_t size);
  // Empties the spool, for a new start.
  void clear();

 private:
  bool flush_to_file();

  OpenScratch open_scratch_;
  std::unique_ptr<ScratchFile> file_;
  std::vector<char> buffer_;  // what is written after the file's bytes; in reading, a cache
  std::size_t used_ = 0;
  std::uint64_t in_file_ = 0;
  bool reading_ = false;
  std::uint64_t read_from_ = 0;  // the file position the cache starts at
  std::size_t read_at_ = 0;      // in the cache
  bool failed_ = false;
};

}  // namespace verilog_hex
