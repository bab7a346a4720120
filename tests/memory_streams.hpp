#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "byte_streams.hpp"

namespace test {

// Reads the bytes, which must outlive the file.
std::unique_ptr<verilog_hex::InputFile> memory_input(std::string_view bytes);
// Appends to the string, which must outlive the file.
std::unique_ptr<verilog_hex::OutputFile> memory_output(std::string& target);
// A scratch file in memory; write_fails(size), where given, is asked before each write
// with the size the file would then have, and read_fails() before each read.
std::unique_ptr<verilog_hex::ScratchFile> memory_scratch(
    std::function<bool(std::size_t)> write_fails = {}, std::function<bool()> read_fails = {});

}  // namespace test
