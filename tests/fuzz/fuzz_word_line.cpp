// A word line that parses writes back as a line that parses to the same word.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "verilog_hex.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const auto word = vh::parse_word_line(line);
  if (!word) return 0;
  if (word->data.empty() || word->data.find('\0') != std::string_view::npos) std::abort();

  std::string written;
  vh::TextWriter writer(vh::ByteSink::to_memory(written), 4096);
  writer.write_address(word->address);
  writer.write_text(word->data);
  if (!writer.finish()) std::abort();
  const auto again = vh::parse_word_line(written);
  if (!again || again->address != word->address) std::abort();
  // LF inside the data text comes back as CR LF; nothing else changes.
  if (word->data.find('\n') == std::string_view::npos && again->data != word->data) std::abort();
  return 0;
}
