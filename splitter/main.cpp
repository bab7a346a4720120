// marisk: spreads a VerilogHex image of wide words over several narrower bank files.

#include <string>
#include <string_view>
#include <vector>

#include "arguments.hpp"
#include "marisk_run.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments = vh::program_arguments(argc, argv);
  const std::vector<std::string_view> args(arguments.begin(), arguments.end());
  return marisk::run(args, vh::real_console(), vh::real_file_system());
}
