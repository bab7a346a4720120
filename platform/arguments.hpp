#pragma once

#include <string>
#include <vector>

namespace platform {

// The command-line arguments after the program name, as UTF-8: on Windows taken from
// the Unicode command line, so that every file name passes whole.
std::vector<std::string> program_arguments(int argc, char** argv);

}  // namespace platform
