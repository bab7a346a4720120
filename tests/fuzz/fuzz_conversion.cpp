// Any byte list converts to well-formed word lines numbered from 0, one per started word.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "byte_conversion.hpp"
#include "verilog_hex.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const auto data_width = static_cast<std::uint8_t>(data[0] < 8 ? 8 + data[0] : data[0]);
  const bool big_endian = data[0] & 1;
  const std::string_view byte_list(reinterpret_cast<const char*>(data + 1), size - 1);

  std::size_t lines = 0;
  vh::TextReader counter(vh::ByteSource::from_memory(byte_list), 4096);
  while (counter.read_line()) ++lines;

  std::string image;
  vh::TextReader input(vh::ByteSource::from_memory(byte_list), data[0]);
  vh::TextWriter output(vh::ByteSink::to_memory(image), data[0] / 8u);
  if (tolvane::convert_bytes(input, output, data_width, big_endian) != tolvane::ConvertStatus::ok)
    std::abort();
  if (!output.finish()) std::abort();

  const std::size_t per_word = data_width / 8u;
  vh::TextReader check(vh::ByteSource::from_memory(image), 4096);
  std::uint32_t address = 0;
  while (const auto line = check.read_line()) {
    const auto word = vh::parse_word_line(*line);
    if (!word || word->address != address++ || word->data.size() != 2 * per_word) std::abort();
    if (word->data.find_first_not_of("0123456789ABCDEF") != std::string_view::npos) std::abort();
  }
  if (address != (lines + per_word - 1) / per_word) std::abort();
  return 0;
}
