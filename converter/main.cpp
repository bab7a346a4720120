// tolvane: converts a byte list (one hexadecimal byte a line) into a VerilogHex file of
// 8-, 16- or 32-bit words.

#include <string>
#include <string_view>
#include <vector>

#include "arguments.hpp"
#include "tolvane_run.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments = vh::program_arguments(argc, argv);
  const std::vector<std::string_view> args(arguments.begin(), arguments.end());
  return tolvane::run(args, vh::real_console(), vh::real_file_system());
}
