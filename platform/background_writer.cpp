#include "background_writer.hpp"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "interrupts.hpp"

namespace platform {
namespace {

using verilog_hex::BufferPool;

class BackgroundWriter;

// The one thread that writes handed-over buffers, started with the first of them.
class WriterThread {
 public:
  struct Job {
    BackgroundWriter* output;
    std::unique_ptr<char[]> buffer;
    std::size_t size;
    BufferPool* pool;
  };

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

  std::mutex& mutex() { return mutex_; }
  // Waits until the output has no buffer waiting to be written.
  void wait(std::unique_lock<std::mutex>& lock, const BackgroundWriter& output);
  // Queues the job; false when no thread can be had.
  bool queue(Job& job);

 private:
  void run();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> jobs_;
  bool stopping_ = false;
  std::thread thread_;
};

class BackgroundWriter final : public verilog_hex::BufferSink {
 public:
  explicit BackgroundWriter(std::unique_ptr<verilog_hex::OutputFile> sink)
      : sink_(std::move(sink)) {}
  ~BackgroundWriter() override { close({}); }

  bool start(std::unique_ptr<char[]> buffer, std::size_t size, BufferPool& pool) override;
  bool cut_back(std::uint64_t size) override;
  std::optional<bool> append_from(verilog_hex::ScratchFile& scratch, std::uint64_t size) override;
  bool can_rewrite() const override { return sink_->can_rewrite(); }
  bool replace_start(std::uint64_t end, std::uint64_t size, std::string_view start) override;
  bool close(std::string_view last) override;

 private:
  friend class WriterThread;

  // Until every buffer handed over is written.
  void wait_for_writes();

  std::unique_ptr<verilog_hex::OutputFile> sink_;
  std::size_t pending_ = 0;  // buffers handed over and not yet written; guarded, like
  bool failed_ = false;      // this, by the writer thread's lock
  bool closed_ = false;
  bool handed_over_ = false;  // start() was called
};

void WriterThread::wait(std::unique_lock<std::mutex>& lock, const BackgroundWriter& output) {
  changed_.wait(lock, [&] { return output.pending_ == 0; });
}

bool WriterThread::queue(Job& job) {
  if (!thread_.joinable()) {
    // Started while interrupts are held, the thread never takes one: they reach the
    // run's own thread, which holds them off while it renames the outputs. Fault
    // signals still reach it.
    const HeldInterrupts held;
    try {
      thread_ = std::thread(&WriterThread::run, this);
    } catch (const std::system_error&) {
    } catch (const std::bad_alloc&) {  // either way the caller writes instead
    }
    if (!thread_.joinable()) return false;
  }
  ++job.output->pending_;
  jobs_.push_back(std::move(job));
  changed_.notify_all();
  return true;
}

void WriterThread::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return !jobs_.empty() || stopping_; });
    if (jobs_.empty()) return;
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    const bool skipped = job.output->failed_;  // the output is lost anyway
    lock.unlock();
    const bool written = skipped || job.output->sink_->write({job.buffer.get(), job.size});
    job.pool->give(std::move(job.buffer));
    lock.lock();
    if (!written) job.output->failed_ = true;
    --job.output->pending_;
    changed_.notify_all();
  }
}

bool BackgroundWriter::start(std::unique_ptr<char[]> buffer, std::size_t size, BufferPool& pool) {
  handed_over_ = true;
  WriterThread& writer = WriterThread::instance();
  std::unique_lock lock(writer.mutex());
  WriterThread::Job job{this, std::move(buffer), size, &pool};
  if (!failed_ && !writer.queue(job)) {
    failed_ = !sink_->write({job.buffer.get(), size});  // in the caller's time instead
  }
  const bool ok = !failed_;
  lock.unlock();
  if (job.buffer) pool.give(std::move(job.buffer));  // not queued
  return ok;
}

void BackgroundWriter::wait_for_writes() {
  if (!handed_over_) return;  // nothing to wait for, and no writer to make in a destructor
  WriterThread& writer = WriterThread::instance();
  std::unique_lock lock(writer.mutex());
  writer.wait(lock, *this);
}

bool BackgroundWriter::cut_back(std::uint64_t size) {
  wait_for_writes();
  // Only the caller hands this output buffers: none is being written now.
  if (!failed_ && !sink_->cut_back(size)) failed_ = true;
  return !failed_;
}

std::optional<bool> BackgroundWriter::append_from(verilog_hex::ScratchFile& scratch,
                                                  std::uint64_t size) {
  wait_for_writes();
  // As in cut_back(): none of this output's buffers is being written now.
  if (failed_) return false;
  const std::optional<bool> appended = sink_->append_from(scratch, size);
  if (appended == false) failed_ = true;
  return appended;
}

bool BackgroundWriter::replace_start(std::uint64_t end, std::uint64_t size,
                                     std::string_view start) {
  wait_for_writes();
  // As in cut_back(): none of this output's buffers is being written now.
  if (!failed_ && !verilog_hex::replace_start(*sink_, end, size, start)) failed_ = true;
  return !failed_;
}

bool BackgroundWriter::close(std::string_view last) {
  if (closed_) return !failed_;
  closed_ = true;
  wait_for_writes();
  if (!last.empty() && !failed_ && !sink_->write(last)) failed_ = true;
  if (!sink_->close()) failed_ = true;
  return !failed_;
}

}  // namespace

std::unique_ptr<verilog_hex::BufferSink> write_in_background(
    std::unique_ptr<verilog_hex::OutputFile> file) {
  return std::make_unique<BackgroundWriter>(std::move(file));
}

}  // namespace platform
