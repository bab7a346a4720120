// marisk: spreads a VerilogHex image of wide words over several narrower bank files.

#include <string>
#include <string_view>
#include <vector>

#include "arguments.hpp"
#include "marisk_run.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments = verilog_hex::program_arguments(argc, argv);
  const std::vector<std::string_view> args(arguments.begin(), arguments.end());
  return splitter::run(args, verilog_hex::real_console(), verilog_hex::real_file_system());
}
