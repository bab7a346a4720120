#include "formatted_image.hpp"

#include <vector>

#include "file_error.hpp"

namespace tool_run {
namespace {

// Writes to the end of a scratch file.
class ScratchOutput final : public verilog_hex::OutputFile {
 public:
  explicit ScratchOutput(verilog_hex::ScratchFile& scratch) : scratch_(scratch) {}
  bool write(std::string_view bytes) override { return scratch_.write(bytes); }
  bool cut_back(std::uint64_t) override { return false; }
  bool close() override { return true; }

 private:
  verilog_hex::ScratchFile& scratch_;
};

}  // namespace

std::unique_ptr<FormattedImage> FormattedImage::open(
    platform::FileSystem& files, const std::string& name, verilog_hex::ImageWriter& output,
    const verilog_hex::OutputFormat& format, std::uint64_t depth, std::uint64_t likely_depth,
    int width, std::shared_ptr<verilog_hex::BufferPool> pool) {
  auto image = std::make_unique<FormattedImage>(output, format, width);
  image->shares_pool_ = pool != nullptr;
  output.set_format(format);
  if (!format.header_names_depth || depth != 0) {
    output.write_text(verilog_hex::format_header(format, depth, width));
    // On its way at once where banks share a pool: banks in rows of chips (which have
    // a depth) hold buffers only while their row is written.
    if (image->shares_pool_) output.release();
    return image;
  }
  if (likely_depth != 0 && output.can_rewrite()) {
    image->likely_header_ = verilog_hex::format_header(format, likely_depth, width);
    output.write_text(image->likely_header_);
    return image;
  }
  image->scratch_ = open_scratch(files, name);
  if (!image->scratch_) return nullptr;
  auto sink = verilog_hex::write_at_once(std::make_unique<ScratchOutput>(*image->scratch_));
  image->held_ = pool ? std::make_unique<verilog_hex::ImageWriter>(std::move(sink), pool)
                      : std::make_unique<verilog_hex::ImageWriter>(std::move(sink));
  image->held_->set_format(format);
  return image;
}

bool FormattedImage::finish(std::uint64_t depth) {
  const bool whole = write_rest(depth);
  if (shares_pool_) output_.release();  // as the header
  return whole;
}

bool FormattedImage::write_rest(std::uint64_t depth) {
  if (!likely_header_.empty() &&
      !output_.replace_start(likely_header_.size(),
                             verilog_hex::format_header(format_, depth, width_))) {
    return false;
  }
  if (held_) {
    const std::uint64_t size = held_->position();
    if (!held_->finish()) return false;
    held_.reset();  // its buffers back to the pool
    output_.write_text(verilog_hex::format_header(format_, depth, width_));
    // Copied inside the system where it can, else through a block here.
    if (const std::optional<bool> appended = output_.append_from(*scratch_, size)) {
      output_.write_text(format_.trailer);
      return *appended;
    }
    std::vector<char> block(64 * 1024);
    for (std::uint64_t at = 0;;) {
      const std::ptrdiff_t count = scratch_->read_at(at, block);
      if (count < 0) return false;
      if (count == 0) break;
      output_.write_text({block.data(), static_cast<std::size_t>(count)});
      at += static_cast<std::uint64_t>(count);
    }
  }
  output_.write_text(format_.trailer);
  return true;
}

}  // namespace tool_run
