#pragma once

#include <cstddef>
#include <string_view>

namespace verilog_hex {

// Text formed at compile time, such as a help line that lists a table's rows, kept for
// the program's whole run. Forming more than the capacity does not compile.
template <std::size_t kCapacity>
class FixedText {
 public:
  constexpr FixedText& operator+=(std::string_view text) {
    for (const char c : text) text_[size_++] = c;
    return *this;
  }
  constexpr std::string_view view() const { return {text_, size_}; }

 private:
  char text_[kCapacity] = {};
  std::size_t size_ = 0;
};

// Items as people list them: "a, b, c or d", each as name(item) gives it (an empty name
// leaves the item out), the last two joined by last_join.
template <std::size_t kCapacity, class Items, class Name>
constexpr FixedText<kCapacity> listed(const Items& items, Name name, std::string_view last_join) {
  std::size_t count = 0;
  for (const auto& item : items) count += name(item).empty() ? 0 : 1;
  FixedText<kCapacity> text;
  std::size_t at = 0;
  for (const auto& item : items) {
    if (name(item).empty()) continue;
    if (at > 0) text += at + 1 == count ? last_join : ", ";
    text += name(item);
    ++at;
  }
  return text;
}

}  // namespace verilog_hex
