#pragma once

#include <condition_variable>
#include <mutex>
#include <string_view>
#include <thread>

#include "file_system.hpp"

namespace vh {

// Writes one buffer at a time to a sink on a thread of its own, so that the caller fills
// the next buffer while the system copies the last one. Without a thread it writes at once.
class BackgroundWriter {
 public:
  explicit BackgroundWriter(std::unique_ptr<OutputFile> sink) : sink_(std::move(sink)) {}
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;
  ~BackgroundWriter() { close(); }

  // Waits for the previous buffer, then writes these bytes, which must stay as they are
  // until the next start() or close(). False once any write has failed.
  bool start(std::string_view bytes);
  // Waits for the buffer being written, writes the last bytes in the caller's time (no
  // thread is started for a small output) and releases the sink; false when any write or
  // the close failed.
  bool close(std::string_view last = {});

 private:
  void wait(std::unique_lock<std::mutex>& lock);
  void run();

  std::unique_ptr<OutputFile> sink_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string_view job_;
  bool busy_ = false;
  bool stopping_ = false;
  bool failed_ = false;
  bool closed_ = false;
  std::thread thread_;
};

}  // namespace vh
