#include "bank_naming.hpp"

#include <cstdio>

#include "file_name.hpp"
#include "image_writer.hpp"
#include "number_parse.hpp"

namespace splitter {

std::optional<std::string> form_base_name(std::string_view input_name, std::int32_t bank_count) {
  const auto [folder, file] = verilog_hex::name_parts(input_name);

  const std::size_t token1_start = file.find_first_not_of('0');
  if (token1_start == std::string_view::npos) return std::nullopt;
  const std::size_t token1_end = file.find('0', token1_start);
  if (token1_end == std::string_view::npos) return std::nullopt;
  const std::string_view token2 = verilog_hex::name_stem(file.substr(token1_end + 1));
  if (token2.empty()) return std::nullopt;

  std::string number_text("0");
  number_text += token2;
  const std::uint32_t number = verilog_hex::parse_unsigned(number_text, 16);
  const std::uint32_t scaled = number * static_cast<std::uint32_t>(bank_count);
  char digits[16];
  std::snprintf(digits, sizeof digits, "%x", static_cast<unsigned>(scaled));
  std::string base(folder);
  base += file.substr(token1_start, token1_end - token1_start);
  base += "0x";
  base += digits;
  return base;
}

std::string bank_file_name(std::string_view base_name, std::int32_t bank,
                           std::string_view extension) {
  std::string name(base_name);
  name += '_';
  name += std::to_string(bank);
  name += extension;
  return name;
}

}  // namespace splitter
