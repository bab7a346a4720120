#include "buffer_sink.hpp"

#include <algorithm>

namespace verilog_hex {

BufferPool::BufferPool(std::size_t size, std::size_t count) : size_(size) {
  free_.reserve(count);
  for (std::size_t k = 0; k < count; ++k) {
    free_.push_back(std::make_unique_for_overwrite<char[]>(size));
  }
}

std::unique_ptr<char[]> BufferPool::take() {
  std::unique_lock lock(mutex_);
  returned_.wait(lock, [this] { return !free_.empty(); });
  auto buffer = std::move(free_.back());
  free_.pop_back();
  return buffer;
}

void BufferPool::give(std::unique_ptr<char[]> buffer) {
  {
    std::lock_guard lock(mutex_);
    free_.push_back(std::move(buffer));
  }
  returned_.notify_one();
}

bool replace_start(OutputFile& file, std::uint64_t end, std::uint64_t size,
                   std::string_view start) {
  if (start.size() != size) {
    // Moved a block at a time, from the end that is not overwritten before it is read.
    std::vector<char> block(64 * 1024);
    const std::uint64_t rest = end - size;
    const bool down = start.size() < size;
    for (std::uint64_t moved = 0; moved < rest;) {
      const std::size_t count =
          static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), rest - moved));
      const std::uint64_t at = down ? moved : rest - moved - count;
      for (std::size_t got = 0; got < count;) {
        const std::ptrdiff_t read =
            file.read_at(size + at + got, {block.data() + got, count - got});
        if (read <= 0) return false;
        got += static_cast<std::size_t>(read);
      }
      if (!file.write_at(start.size() + at, {block.data(), count})) return false;
      moved += count;
    }
  }
  return file.write_at(0, start) && file.cut_back(end - size + start.size());
}

namespace {

class ImmediateSink final : public BufferSink {
 public:
  explicit ImmediateSink(std::unique_ptr<OutputFile> file) : file_(std::move(file)) {}
  ~ImmediateSink() override { close({}); }
  bool start(std::unique_ptr<char[]> buffer, std::size_t size, BufferPool& pool) override {
    if (!failed_ && !file_->write({buffer.get(), size})) failed_ = true;
    pool.give(std::move(buffer));
    return !failed_;
  }
  bool cut_back(std::uint64_t size) override {
    if (!failed_ && !file_->cut_back(size)) failed_ = true;
    return !failed_;
  }
  std::optional<bool> append_from(ScratchFile& scratch, std::uint64_t size) override {
    if (failed_) return false;
    const std::optional<bool> appended = file_->append_from(scratch, size);
    if (appended == false) failed_ = true;
    return appended;
  }
  bool can_rewrite() const override { return file_->can_rewrite(); }
  bool replace_start(std::uint64_t end, std::uint64_t size, std::string_view start) override {
    if (!failed_ && !verilog_hex::replace_start(*file_, end, size, start)) failed_ = true;
    return !failed_;
  }
  bool close(std::string_view last) override {
    if (closed_) return !failed_;
    closed_ = true;
    if (!last.empty() && !failed_ && !file_->write(last)) failed_ = true;
    if (!file_->close()) failed_ = true;
    return !failed_;
  }

 private:
  std::unique_ptr<OutputFile> file_;
  bool failed_ = false;
  bool closed_ = false;
};

}  // namespace

std::unique_ptr<BufferSink> write_at_once(std::unique_ptr<OutputFile> file) {
  return std::make_unique<ImmediateSink>(std::move(file));
}

}  // namespace verilog_hex
