// A word line that parses writes back as a line that parses to the same word.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "../memory_streams.hpp"
#include "verilog_hex.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const auto word = verilog_hex::parse_word_line(line);
  if (!word) return 0;
  if (word->data.empty() || word->data.find('\0') != std::string_view::npos) std::abort();

  std::string written;
  verilog_hex::ImageWriter writer(test::memory_output(written), 4096);
  // A line from the reader holds no LF before its end.
  if (word->data.find('\n') != std::string_view::npos) return 0;
  writer.write_word(word->address, word->data);
  if (!writer.finish() || !written.ends_with("\r\n")) std::abort();
  const auto again =
      verilog_hex::parse_word_line(std::string_view(written).substr(0, written.size() - 2));
  if (!again || again->address != word->address || again->data != word->data) std::abort();
  return 0;
}
