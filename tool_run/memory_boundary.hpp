#pragma once

#include <new>
#include <span>
#include <string_view>

#include "console.hpp"
#include "file_system.hpp"
#include "run_status.hpp"

namespace tool_run {

// Runs a tool's steps on its arguments. Where memory runs out, what they made is
// removed as they unwind, and the run ends with a message instead of an abort.
using ToolSteps = int (*)(std::span<const std::string_view> args, platform::Console& console,
                          platform::FileSystem& files);
inline int run_reporting_memory_failures(ToolSteps steps, std::span<const std::string_view> args,
                                         platform::Console& console, platform::FileSystem& files) {
  try {
    return steps(args, console, files);
  } catch (const std::bad_alloc&) {
    console.out("ERR: Not enough memory.\n");
    return kFailureStatus;
  }
}

}  // namespace tool_run
