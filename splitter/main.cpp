// marisk: spreads a VerilogHex image of wide words over several narrower bank files.

#include <string>
#include <string_view>
#include <vector>

#include "arguments.hpp"
#include "console.hpp"
#include "file_system.hpp"
#include "marisk_run.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments = platform::program_arguments(argc, argv);
  const std::vector<std::string_view> args(arguments.begin(), arguments.end());
  return splitter::run(args, platform::real_console(), platform::real_file_system());
}
