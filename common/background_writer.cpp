#include "background_writer.hpp"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace verilog_hex {

// The one thread that writes handed-over buffers, started with the first of them.
class WriterThread {
 public:
  static WriterThread& instance() {
    static WriterThread writer;
    return writer;
  }
  ~WriterThread() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

  // Waits until the output has no buffer being written.
  void wait(std::unique_lock<std::mutex>& lock, const BackgroundWriter& output) {
    changed_.wait(lock, [&] { return !output.busy_; });
  }
  std::mutex& mutex() { return mutex_; }

  // Queues the output's job; false when no thread can be had.
  bool queue(BackgroundWriter& output) {
    if (!thread_.joinable()) {
      try {
        thread_ = std::thread(&WriterThread::run, this);
      } catch (const std::system_error&) {
        return false;
      }
    }
    output.busy_ = true;
    jobs_.push_back(&output);
    changed_.notify_all();
    return true;
  }

 private:
  void run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return !jobs_.empty() || stopping_; });
      if (jobs_.empty()) return;
      BackgroundWriter& output = *jobs_.front();
      jobs_.pop_front();
      lock.unlock();
      const bool written = output.sink_->write(output.job_);
      lock.lock();
      if (!written) output.failed_ = true;
      output.busy_ = false;
      changed_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<BackgroundWriter*> jobs_;
  bool stopping_ = false;
  std::thread thread_;
};

bool BackgroundWriter::start(std::string_view bytes) {
  WriterThread& writer = WriterThread::instance();
  std::unique_lock lock(writer.mutex());
  writer.wait(lock, *this);
  if (failed_) return false;
  job_ = bytes;
  if (!writer.queue(*this)) failed_ = !sink_->write(bytes);  // in the caller's time instead
  return !failed_;
}

bool BackgroundWriter::close(std::string_view last) {
  if (closed_) return !failed_;
  closed_ = true;
  {
    WriterThread& writer = WriterThread::instance();
    std::unique_lock lock(writer.mutex());
    writer.wait(lock, *this);
  }
  if (!last.empty() && !failed_ && !sink_->write(last)) failed_ = true;
  if (!sink_->close()) failed_ = true;
  return !failed_;
}

}  // namespace verilog_hex
