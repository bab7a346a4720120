// Any byte list converts to exactly what the general line-by-line rules give.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "byte_conversion.hpp"
#include "verilog_hex.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const auto data_width = static_cast<std::uint8_t>(data[0] < 8 ? 8 + data[0] : data[0]);
  const bool big_endian = data[0] & 1;
  const std::string_view byte_list(reinterpret_cast<const char*>(data + 1), size - 1);

  // The same image by the general rules alone, line by line.
  const std::size_t per_word = data_width / 8u;
  std::string bytes;
  vh::TextReader lines(vh::ByteSource::from_memory(byte_list), 4096);
  while (const auto line = lines.read_line())
    bytes += static_cast<char>(tolvane::parse_byte_line(*line));
  std::string expected;
  for (std::size_t first = 0; first < bytes.size(); first += per_word) {
    char text[16];
    std::snprintf(text, sizeof text, "@%zX\t", first / per_word);
    expected += text;
    for (std::size_t k = 0; k < per_word; ++k) {
      const std::size_t at = first + (big_endian ? k : per_word - 1 - k);
      std::snprintf(text, sizeof text, "%02X",
                    at < bytes.size() ? static_cast<std::uint8_t>(bytes[at]) : 0);
      expected += text;
    }
    expected += "\r\n";
  }

  std::string image;
  vh::TextReader input(vh::ByteSource::from_memory(byte_list), data[0]);
  vh::TextWriter output(vh::ByteSink::to_memory(image), data[0] / 8u);
  if (tolvane::convert_bytes(input, output, data_width, big_endian) != tolvane::ConvertStatus::ok)
    std::abort();
  if (!output.finish()) std::abort();

  if (image != expected) std::abort();
  return 0;
}
