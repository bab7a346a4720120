// The reader hands out the input's text, CR dropped, cut at 0x1A and a UTF-8 mark at the
// start skipped, in lines of at most 255 characters, the same whatever its buffer size.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "../memory_streams.hpp"
#include "verilog_hex.hpp"

namespace {

// Lines as a byte list reads them: cut after 255 characters.
constexpr std::size_t kCut = 255;

std::vector<std::string> read_lines(verilog_hex::TextReader& reader) {
  std::vector<std::string> lines;
  while (const auto line = reader.read_line(kCut)) {
    if (line->size() > kCut) std::abort();
    const std::size_t lf = line->find('\n');
    if (lf != std::string_view::npos && lf + 1 != line->size()) std::abort();
    lines.emplace_back(*line);
  }
  if (!reader.at_end() || reader.failed()) std::abort();
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::size_t small = size > 0 ? data[0] * 4u : 0;

  verilog_hex::TextReader large(test::memory_input(bytes), size + kCut);
  verilog_hex::TextReader tiny(test::memory_input(bytes), small);
  const auto lines = read_lines(large);
  if (read_lines(tiny) != lines) std::abort();

  std::string expected;
  for (const char c : bytes.substr(0, bytes.find('\x1a'))) {
    if (c != '\r') expected += c;
  }
  if (expected.starts_with("\xEF\xBB\xBF")) expected.erase(0, 3);  // a UTF-8 mark at the start
  std::string joined;
  for (const auto& line : lines) joined += line;
  if (joined != expected) std::abort();
  return 0;
}
