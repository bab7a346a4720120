#include "buffer_sink.hpp"

namespace verilog_hex {

std::unique_ptr<char[]> BufferPool::take() {
  std::unique_lock lock(mutex_);
  if (free_.empty() && left_to_make_ > 0) {
    --left_to_make_;
    return std::make_unique_for_overwrite<char[]>(size_);
  }
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
