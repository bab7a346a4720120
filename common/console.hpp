#pragma once

#include <cstdio>

// Console messages. Standard output and standard error carry their bytes unchanged, so
// the messages are the same on every platform, whatever the console does with them.
namespace console {

void init();

inline void print(const char* text) { std::fputs(text, stdout); }

void printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

inline void error(const char* text) { std::fputs(text, stderr); }

}  // namespace console
