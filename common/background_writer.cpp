#include "background_writer.hpp"

#include <system_error>

namespace vh {

bool BackgroundWriter::start(std::string_view bytes) {
  std::unique_lock lock(mutex_);
  wait(lock);
  if (failed_) return false;
  if (!thread_.joinable()) {
    try {
      thread_ = std::thread(&BackgroundWriter::run, this);
    } catch (const std::system_error&) {
      // No thread to be had: write in the caller's time instead.
      failed_ = !sink_->write(bytes);
      return !failed_;
    }
  }
  job_ = bytes;
  busy_ = true;
  changed_.notify_all();
  return true;
}

bool BackgroundWriter::close(std::string_view last) {
  if (closed_) return !failed_;
  closed_ = true;
  {
    std::unique_lock lock(mutex_);
    wait(lock);
    stopping_ = true;
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
  if (!last.empty() && !failed_ && !sink_->write(last)) failed_ = true;
  if (!sink_->close()) failed_ = true;
  return !failed_;
}

void BackgroundWriter::wait(std::unique_lock<std::mutex>& lock) {
  changed_.wait(lock, [this] { return !busy_; });
}

void BackgroundWriter::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return busy_ || stopping_; });
    if (!busy_) return;
    const std::string_view bytes = job_;
    lock.unlock();
    const bool written = sink_->write(bytes);
    lock.lock();
    if (!written) failed_ = true;
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace vh
