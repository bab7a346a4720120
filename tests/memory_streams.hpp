#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "byte_streams.hpp"

namespace test {

// Reads the bytes, which must outlive the file.
std::unique_ptr<verilog_hex::InputFile> memory_input(std::string_view bytes);
// Appends to the string, which must outlive the file.
std::unique_ptr<verilog_hex::OutputFile> memory_output(std::string& target);

}  // namespace test
