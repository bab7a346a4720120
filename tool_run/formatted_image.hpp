#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "buffer_sink.hpp"
#include "file_system.hpp"
#include "image_writer.hpp"
#include "output_format.hpp"

namespace tool_run {

// An image written in its format: the header first, the word lines, the trailer last.
// Where the header names the memory's depth before the depth is known, it is written
// with the likely depth and the word lines follow it; once the depth is known it goes
// in the header's place, and the word lines move only where its number of digits was
// not the likely one. An output that cannot be rewritten (a device, a pipe), or one
// whose depth nothing foretells, has its word lines wait in a private scratch file
// instead, so that memory stays bounded and the output is written whole or not at all
// like any other.
class FormattedImage {
 public:
  // Nothing when the scratch file it needs cannot be made; it is made beside the output
  // of that name, so that a full disk shows while the word lines wait. Buffers for the
  // waiting word lines come from the pool where one is given, and the output, which
  // shares it, then hands its header and trailer over at once. likely_depth is 0 where
  // nothing foretells the depth (an input of no known size, or too small to tell).
  static std::unique_ptr<FormattedImage> open(
      platform::FileSystem& files, const std::string& name, verilog_hex::ImageWriter& output,
      const verilog_hex::OutputFormat& format, std::uint64_t depth, std::uint64_t likely_depth,
      int width, std::shared_ptr<verilog_hex::BufferPool> pool = nullptr);

  // Where the word lines go.
  verilog_hex::ImageWriter& words() { return held_ ? *held_ : output_; }
  // The header where it waited, with the depth now known, and the trailer; false when
  // the scratch file could not be written or read.
  bool finish(std::uint64_t depth);

  FormattedImage(verilog_hex::ImageWriter& output, const verilog_hex::OutputFormat& format,
                 int width)
      : output_(output), format_(format), width_(width) {}

 private:
  // The header where it waited and the trailer (see finish()).
  bool write_rest(std::uint64_t depth);

  verilog_hex::ImageWriter& output_;
  const verilog_hex::OutputFormat& format_;
  int width_;
  bool shares_pool_ = false;   // with other outputs: its buffer goes back once unused
  std::string likely_header_;  // written before the depth was known
  std::unique_ptr<verilog_hex::ScratchFile> scratch_;
  std::unique_ptr<verilog_hex::ImageWriter> held_;
};

}  // namespace tool_run
