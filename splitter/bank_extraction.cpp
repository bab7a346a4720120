#include "bank_extraction.hpp"

#include <string>

#include "bank_naming.hpp"

namespace marisk {

std::string_view data_slice(std::string_view data, std::int32_t slice, std::int32_t digits) {
  const auto offset = static_cast<std::size_t>(slice) * static_cast<std::size_t>(digits);
  if (offset >= data.size()) return {};
  return data.substr(offset, static_cast<std::size_t>(digits));
}

bool write_slice(vh::TextReader& input, vh::TextWriter& bank, std::int32_t slice,
                 std::int32_t digits) {
  if (!input.rewind()) return false;
  while (!input.at_end()) {
    const auto line = input.read_line();
    if (!line) {
      if (input.failed()) return false;
      continue;
    }
    const auto word = vh::parse_word_line(*line);
    if (!word) continue;
    bank.write_address(word->address);
    bank.write_text(data_slice(word->data, slice, digits));
    bank.write_line_end();
  }
  return true;
}

SplitStatus write_banks(vh::TextReader& input, std::string_view base_name, std::int32_t bank_count,
                        std::int32_t split_width, bool big_endian) {
  const std::int32_t digits = 2 * (split_width / 8);
  for (std::int32_t slice = 0; slice < bank_count; ++slice) {
    const std::string name = bank_file_name(base_name, bank_number(slice, bank_count, big_endian));
    auto sink = vh::ByteSink::create_file(name);
    if (!sink) return SplitStatus::io_failed;
    vh::TextWriter bank(std::move(*sink));
    const bool read = write_slice(input, bank, slice, digits);
    if (!bank.finish() || !read) return SplitStatus::io_failed;
  }
  return SplitStatus::ok;
}

}  // namespace marisk
