// Any byte list converts to exactly what the general line-by-line rules give.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "../general_rules_image.hpp"
#include "byte_conversion.hpp"
#include "verilog_hex.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const auto data_width = static_cast<std::uint8_t>(data[0] < 8 ? 8 + data[0] : data[0]);
  const bool big_endian = data[0] & 1;
  const std::string_view byte_list(reinterpret_cast<const char*>(data + 1), size - 1);

  std::string image;
  verilog_hex::TextReader input(test::memory_input(byte_list), data[0]);
  verilog_hex::ImageWriter output(test::memory_output(image), data[0] / 8u);
  if (!test::converts(input, output, data_width, big_endian)) std::abort();
  if (!output.finish()) std::abort();

  if (image != test::image_by_general_rules(byte_list, data_width / 8u, big_endian)) std::abort();
  return 0;
}
