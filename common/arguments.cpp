#include "arguments.hpp"

#ifdef _WIN32
#include "windows_api.hpp"
// After the API it needs.
#include <shellapi.h>
#endif

namespace verilog_hex {

std::vector<std::string> program_arguments(int argc, char** argv) {
#ifdef _WIN32
  int count = 0;
  if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) {
      const int length = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
      std::string arg(static_cast<std::size_t>(length > 0 ? length : 1), '\0');
      WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), length, nullptr, nullptr);
      arg.pop_back();  // the terminating NUL
      args.push_back(std::move(arg));
    }
    LocalFree(wide);
    return args;
  }
#endif
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace verilog_hex
