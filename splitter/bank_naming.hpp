#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace splitter {

// The base name of the bank files. The input name's directory part is kept as it stands;
// in its file name, leading "0" characters are skipped and token 1 runs up to the next
// "0". After that "0", leading "." are skipped and token 2 runs up to the next ".". The
// name number is the hexadecimal value of "0" and token 2; the base name is token 1,
// "0x" and the name number times the bank count (modulo 2^32) in lower-case hex.
// Empty when the name has no token 1 or no token 2.
std::optional<std::string> form_base_name(std::string_view input_name, std::int32_t bank_count);

// base name, "_", the bank number in decimal, the extension.
std::string bank_file_name(std::string_view base_name, std::int32_t bank,
                           std::string_view extension = ".vh");

// The bank that receives slice j of each word (0 is the leftmost slice): with big-endian
// order the leftmost slice goes to the highest-numbered bank.
inline std::int32_t bank_number(std::int32_t slice, std::int32_t bank_count, bool big_endian) {
  return big_endian ? bank_count - 1 - slice : slice;
}

}  // namespace splitter
