#pragma once

#include <string_view>

namespace platform {

// Where a tool's messages go: standard output and standard error, or memory in tests.
// The bytes pass unchanged, so the messages are the same on every platform.
class Console {
 public:
  virtual ~Console() = default;
  virtual void out(std::string_view text) = 0;
  virtual void err(std::string_view text) = 0;

  // Formats like printf and writes to out().
#ifdef __MINGW32__
  // The toolchain selects mingw's own C99 printf family, which knows "%zu".
  void printf(const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));
#else
  void printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
#endif
};

// Standard output and standard error of the process.
Console& real_console();

}  // namespace platform
