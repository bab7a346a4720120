#include "console.hpp"

#include <cstdarg>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace console {

void init() {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
}

void printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stdout, format, args);
  va_end(args);
}

}  // namespace console
