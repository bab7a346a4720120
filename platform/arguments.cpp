#include "arguments.hpp"

#ifdef _WIN32
#include "windows_api.hpp"
// After the API it needs.
#include <shellapi.h>
#endif

namespace platform {

std::vector<std::string> program_arguments(int argc, char** argv) {
#ifdef _WIN32
  int count = 0;
  if (wchar_t** wide_args = CommandLineToArgvW(GetCommandLineW(), &count)) {
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) args.push_back(narrow(wide_args[i]));
    LocalFree(wide_args);
    return args;
  }
#endif
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace platform
