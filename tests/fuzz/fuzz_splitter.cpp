// Bank naming never fails on any name, and the extraction of any input writes exactly
// what the general rules give for each whole line, in every bank.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "../memory_streams.hpp"
#include "bank_extraction.hpp"
#include "bank_naming.hpp"
#include "verilog_hex.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::int32_t bank_count = 1 + data[0] % 127;
  const std::int32_t digits = 2 * (1 + data[1] % 8);
  const std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::size_t name_end = rest.find('\n');
  const std::string_view name = rest.substr(0, name_end);
  const std::string_view image =
      name_end == std::string_view::npos ? "" : rest.substr(name_end + 1);

  if (const auto base = splitter::form_base_name(name, bank_count)) {
    const std::string_view folder = verilog_hex::name_parts(name).folder;
    if (!base->starts_with(folder)) std::abort();
    if (base->find("0x", folder.size()) == std::string::npos) std::abort();
    const std::string bank = splitter::bank_file_name(*base, bank_count - 1);
    if (bank.size() < 4 || bank.compare(bank.size() - 3, 3, ".vh") != 0) std::abort();
  }

  verilog_hex::TextReader input(test::memory_input(image), data[1]);
  const std::int32_t checked = std::min(bank_count, std::int32_t{4});
  std::vector<std::string> written(static_cast<std::size_t>(checked));
  std::vector<std::unique_ptr<verilog_hex::ImageWriter>> writers;
  std::vector<verilog_hex::ImageWriter*> banks;
  for (std::string& text : written) {
    writers.push_back(
        std::make_unique<verilog_hex::ImageWriter>(test::memory_output(text), data[0]));
    banks.push_back(writers.back().get());
  }
  if (!splitter::split_words(input, banks, digits)) std::abort();
  for (std::int32_t slice = 0; slice < checked; ++slice) {
    if (!writers[static_cast<std::size_t>(slice)]->finish()) std::abort();
    const std::string& bank = written[static_cast<std::size_t>(slice)];
    // The same bank by the general rules alone, whole line by whole line: the text with
    // its CR bytes dropped, cut at 0x1A, without a UTF-8 mark at its start.
    std::string text;
    for (const char c : image.substr(0, image.find('\x1a'))) {
      if (c != '\r') text += c;
    }
    if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
    std::string expected;
    for (std::size_t start = 0; start < text.size();) {
      const std::size_t lf = std::min(text.find('\n', start), text.size());
      const auto word =
          verilog_hex::parse_word_line(std::string_view(text).substr(start, lf - start));
      start = lf + 1;
      if (!word) continue;
      char address[16];
      std::snprintf(address, sizeof address, "@%X\t", word->address);
      expected += address;
      expected += splitter::data_slice(word->data, slice, digits);
      expected += "\r\n";
    }
    if (bank != expected) std::abort();
  }
  return 0;
}
