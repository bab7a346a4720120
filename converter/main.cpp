// tolvane: converts a byte list (one hexadecimal byte a line) into a VerilogHex file of
// 8-, 16- or 32-bit words.

#include <string>
#include <string_view>
#include <vector>

#include "arguments.hpp"
#include "console.hpp"
#include "file_system.hpp"
#include "tolvane_run.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments = platform::program_arguments(argc, argv);
  const std::vector<std::string_view> args(arguments.begin(), arguments.end());
  return converter::run(args, platform::real_console(), platform::real_file_system());
}
