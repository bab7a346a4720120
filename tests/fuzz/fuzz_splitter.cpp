// Bank naming never fails on any name, and the extraction of any input writes exactly
// what the rules give for each whole line, in every bank: word lines as they are, and
// the words of every other line read as a memory file.

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "../memory_streams.hpp"
#include "bank_extraction.hpp"
#include "bank_naming.hpp"
#include "verilog_hex.hpp"

namespace {

struct Words {
  std::vector<std::pair<std::uint32_t, std::string>> words;
  verilog_hex::Stop stop = verilog_hex::Stop::done;
  std::uint32_t line = 0;
  std::string item;
};

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }
bool is_hex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }
bool is_unknown(char c) { return std::string_view("xXzZ?").find(c) != std::string_view::npos; }

// Word lines as they are; every other line item by item, kept only when it holds nothing
// but white space, comments and items.
Words words_by_plain_rules(std::string_view text, std::size_t word_digits) {
  Words out;
  std::uint32_t address = 0;
  bool in_comment = false;
  std::uint32_t number = 0;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t lf = std::min(text.find('\n', start), text.size());
    std::string_view line = text.substr(start, lf - start);
    line = line.substr(0, line.find('\0'));
    start = lf + 1;
    ++number;
    if (const auto word = verilog_hex::parse_word_line(line)) {
      out.words.emplace_back(word->address, std::string(word->data));
      address = word->address + 1;
      continue;
    }
    const std::size_t kept = out.words.size();
    std::uint32_t at = address;
    bool comment = in_comment;
    bool other = false;
    std::string too_wide;
    for (std::size_t i = 0; i < line.size() && !other;) {
      if (comment) {
        const std::size_t close = line.find("*/", i);
        comment = close == std::string_view::npos;
        i = comment ? line.size() : close + 2;
      } else if (is_space(line[i])) {
        ++i;
      } else if (line.substr(i, 2) == "//") {
        break;
      } else if (line.substr(i, 2) == "/*") {
        comment = true;
        i += 2;
      } else if (line[i] == '/') {
        other = true;
      } else {
        std::size_t end = i;
        while (end < line.size() && !is_space(line[end]) && line[end] != '/') ++end;
        const std::string_view item = line.substr(i, end - i);
        i = end;
        std::string digits;
        bool fits = true;
        for (const char c : item.substr(item[0] == '@')) {
          if (c == '_') continue;
          fits = fits && (is_hex(c) || (item[0] != '@' && is_unknown(c)));
          digits += c;
        }
        if (!fits || digits.empty()) {
          other = true;
        } else if (item[0] == '@') {
          at = digits.find_first_not_of('0') == std::string::npos ||
                       digits.size() - digits.find_first_not_of('0') <= 8
                   ? static_cast<std::uint32_t>(std::stoull(digits, nullptr, 16) & 0xFFFFFFFF)
                   : 0xFFFFFFFF;
        } else {
          while (digits.size() > word_digits && digits[0] == '0') digits.erase(0, 1);
          if (digits.size() > word_digits) {
            if (too_wide.empty()) too_wide = item;
          } else {
            const char fill = is_unknown(digits[0]) ? digits[0] : '0';
            out.words.emplace_back(at, std::string(word_digits - digits.size(), fill) + digits);
          }
          ++at;
        }
      }
    }
    if (other) {
      out.words.resize(kept);
      in_comment = false;
      continue;
    }
    if (!too_wide.empty()) {
      out.stop = verilog_hex::Stop::word_too_wide;
      out.line = number;
      out.item = too_wide;
      return out;
    }
    address = at;
    in_comment = comment;
  }
  return out;
}

}  // namespace

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

  // Word items fill texts narrower and wider than the banks take, and, now and then,
  // wider than any formed at once.
  const std::size_t word_digits = data[1] & 0x80 ? 5000 : 1 + (data[0] ^ data[1]) % 40;
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
  const auto result = splitter::split_words(input, banks, digits, word_digits,
                                            [] { return test::memory_scratch(); });

  // The same by the rules read plainly, whole line by whole line: the text with its CR
  // bytes dropped, cut at 0x1A, without a UTF-8 mark at its start.
  std::string text;
  for (const char c : image.substr(0, image.find('\x1a'))) {
    if (c != '\r') text += c;
  }
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
  const Words expected = words_by_plain_rules(text, word_digits);
  if (result.stop != expected.stop || result.line != expected.line ||
      result.item != expected.item) {
    std::abort();
  }
  if (!result.ok()) return 0;
  for (std::int32_t slice = 0; slice < checked; ++slice) {
    if (!writers[static_cast<std::size_t>(slice)]->finish()) std::abort();
    std::string bank;
    for (const auto& [address, data_text] : expected.words) {
      char field[16];
      std::snprintf(field, sizeof field, "@%X\t", address);
      bank += field;
      bank += splitter::data_slice(data_text, slice, digits);
      bank += "\r\n";
    }
    if (written[static_cast<std::size_t>(slice)] != bank) std::abort();
  }
  return 0;
}
