#pragma once

#include <string_view>

#include "console.hpp"
#include "run_status.hpp"

namespace tool_run {

// What -q leaves of standard output: the errors ("ERR:" messages and the file error)
// and the help text where it is asked for. Standard error passes whole.
class QuietConsole final : public platform::Console {
 public:
  explicit QuietConsole(platform::Console& console) : console_(console) {}
  void out(std::string_view text) override {
    if (text.starts_with("ERR:") || text == kFileError) console_.out(text);
  }
  void err(std::string_view text) override { console_.err(text); }
  void help(std::string_view text) { console_.out(text); }

 private:
  platform::Console& console_;
};

// Prints help text, which -q lets through.
inline void show_help(platform::Console& console, std::string_view text) {
  if (auto* quiet = dynamic_cast<QuietConsole*>(&console)) return quiet->help(text);
  console.out(text);
}

}  // namespace tool_run
