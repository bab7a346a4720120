#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "file_system.hpp"

namespace verilog_hex {

// Output buffers of one size that writers take to fill and the writer thread gives back
// once their bytes are written. At most count of them exist, each made when first
// needed, so that any number of outputs can share one memory budget.
class BufferPool {
 public:
  BufferPool(std::size_t size, std::size_t count) : size_(size), left_to_make_(count) {}

  std::size_t size() const { return size_; }
  // A buffer to fill; waits while all are being written.
  std::unique_ptr<char[]> take();
  void give(std::unique_ptr<char[]> buffer);

 private:
  std::mutex mutex_;
  std::condition_variable returned_;
  std::vector<std::unique_ptr<char[]>> free_;
  std::size_t size_;
  std::size_t left_to_make_;
};

// Writes full buffers to a file on the process's writer thread, so that the caller fills
// the next buffer while the system copies the last one. One thread serves every
// output, in the order their buffers were handed over; without a thread the bytes are
// written at once.
class BackgroundWriter {
 public:
  explicit BackgroundWriter(std::unique_ptr<OutputFile> sink) : sink_(std::move(sink)) {}
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;
  ~BackgroundWriter() { close(); }

  // Hands the buffer's first size bytes over, to be written after this output's
  // earlier ones; the buffer then goes back to the pool. False once any write has failed.
  bool start(std::unique_ptr<char[]> buffer, std::size_t size, BufferPool& pool);
  // Waits for the buffers handed over, writes the last bytes in the caller's time (no
  // thread is started for a small output) and closes the file; false when any write or
  // the close failed.
  bool close(std::string_view last = {});

 private:
  friend class WriterThread;

  std::unique_ptr<OutputFile> sink_;
  std::size_t pending_ = 0;  // buffers handed over and not yet written; guarded, like
  bool failed_ = false;      // this, by the writer thread's lock
  bool closed_ = false;
  bool handed_over_ = false;  // start() was called
};

}  // namespace verilog_hex
