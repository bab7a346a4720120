#include "word_line.hpp"

#include "number_parse.hpp"

namespace verilog_hex {

std::optional<WordLine> parse_word_line(std::string_view line) {
  line = line.substr(0, line.find('\0'));
  const std::size_t field = line.find_first_not_of('\t');
  if (field == std::string_view::npos) return std::nullopt;
  const std::size_t tab = line.find('\t', field);
  if (tab == std::string_view::npos) return std::nullopt;
  std::string_view data = line.substr(tab + 1);
  if (!data.empty() && data.back() == '\n') data.remove_suffix(1);
  if (data.empty()) return std::nullopt;
  return WordLine{parse_digits(line.substr(field + 1, tab - field - 1), 16), data};
}

}  // namespace verilog_hex
