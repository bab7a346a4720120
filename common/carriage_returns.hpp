#pragma once

#include <cstddef>

namespace verilog_hex {

// Removes every CR byte from the bytes in place, keeping the order of the rest; gives
// how many remain.
std::size_t drop_carriage_returns(char* bytes, std::size_t count);

}  // namespace verilog_hex
