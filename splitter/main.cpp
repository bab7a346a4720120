// marisk: spreads a VerilogHex image of wide words over several narrower bank files.

#include <string_view>
#include <vector>

#include "marisk_run.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  return marisk::run(args, vh::real_console(), vh::real_file_system());
}
