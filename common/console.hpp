#pragma once

#include <cstdio>

// Console messages. Standard output and standard error carry their bytes unchanged, so
// the messages are the same on every platform, whatever the console does with them.
namespace console {

void init();

inline void print(const char* text) { std::fputs(text, stdout); }

#ifdef __MINGW32__
// The toolchain selects mingw's own C99 printf family, which knows "%zu".
void printf(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
#else
void printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
#endif

inline void error(const char* text) { std::fputs(text, stderr); }

}  // namespace console
