#pragma once

#include <span>
#include <string_view>

#include "console.hpp"
#include "file_system.hpp"

namespace splitter {

// The whole run of marisk on its arguments (the program name not among them): every
// message goes to the console and every file through the file system. Gives the exit
// status.
int run(std::span<const std::string_view> args, platform::Console& console,
        platform::FileSystem& files);

}  // namespace splitter
