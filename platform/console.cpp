#include "console.hpp"

#include <cstdarg>
#include <cstdio>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "windows_api.hpp"
#endif

namespace platform {
namespace {

class StandardStreams final : public Console {
 public:
  StandardStreams() {
    // Each message leaves at once, so that a run ended by a signal has shown all it printed.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
  }
  void out(std::string_view text) override { write(stdout, text); }
  void err(std::string_view text) override { write(stderr, text); }

 private:
  static void write(std::FILE* stream, std::string_view text) {
#ifdef _WIN32
    // Redirected, the messages are the UTF-8 bytes as on every platform; in a console
    // window they are handed over as UTF-16, so that names show as written whatever the
    // console's code page.
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (!text.empty() && GetConsoleMode(handle, &mode)) {
      const std::wstring wide_text = wide(text);
      DWORD written = 0;
      WriteConsoleW(handle, wide_text.data(), static_cast<DWORD>(wide_text.size()), &written,
                    nullptr);
      return;
    }
#endif
    std::fwrite(text.data(), 1, text.size(), stream);
  }
};

}  // namespace

void Console::printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (length > 0) {
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, again);
    text.pop_back();
    out(text);
  }
  va_end(again);
}

Console& real_console() {
  static StandardStreams console;
  return console;
}

}  // namespace platform
