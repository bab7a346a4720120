#pragma once

#include <memory>
#include <string_view>

#include "file_system.hpp"

namespace verilog_hex {

// Writes one buffer at a time to a file on the process's writer thread, so that the
// caller fills the next buffer while the system copies the last one. One thread serves
// every output, in the order their buffers were handed over; without a thread the
// bytes are written at once.
class BackgroundWriter {
 public:
  explicit BackgroundWriter(std::unique_ptr<OutputFile> sink) : sink_(std::move(sink)) {}
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;
  ~BackgroundWriter() { close(); }

  // Waits for this output's previous buffer, then hands these bytes over; they must stay
  // as they are until the next start() or close(). False once any write has failed.
  bool start(std::string_view bytes);
  // Waits for the buffer being written, writes the last bytes in the caller's time (no
  // thread is started for a small output) and closes the file; false when any write or
  // the close failed.
  bool close(std::string_view last = {});

 private:
  friend class WriterThread;

  std::unique_ptr<OutputFile> sink_;
  std::string_view job_;  // guarded by the writer thread's lock, like the two below
  bool busy_ = false;
  bool failed_ = false;
  bool closed_ = false;
};

}  // namespace verilog_hex
