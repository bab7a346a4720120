#pragma once

#include <memory>

#include "buffer_sink.hpp"

namespace platform {

// Writes full buffers to the file on the process's writer thread, so that the caller
// fills the next buffer while the system copies the last one. One thread serves every
// output, in the order their buffers were handed over; where no thread can be had, the
// bytes are written at once. The last bytes are written in the caller's time, so that a
// small output starts no thread.
std::unique_ptr<verilog_hex::BufferSink> write_in_background(
    std::unique_ptr<verilog_hex::OutputFile> file);

}  // namespace platform
