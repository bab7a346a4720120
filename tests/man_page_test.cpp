// The manual pages render without warnings and name every option the programs accept.

#include <gtest/gtest.h>

#include <string>

#include "test_programs.hpp"

namespace {

struct Page {
  const char* name;
  const char* program;
  const char* page;
  friend void PrintTo(const Page& p, std::ostream* os) { *os << p.name; }
};

class ManPage : public testing::TestWithParam<Page> {};

TEST_P(ManPage, RendersWithoutWarnings) {
  test::TempDir dir;
  const auto result = test::run_program(
      "/bin/sh",
      {"-c", std::string("LC_ALL=C MANWIDTH=80 man --warnings -l '") + GetParam().page + "'"},
      dir.path());
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_NE(result.out.find("EXIT STATUS"), std::string::npos);
}

// Which letters a program accepts is asked of the program itself, so that an option
// added later cannot be left out of its page unnoticed.
TEST_P(ManPage, NamesEveryOptionTheProgramAccepts) {
  const std::string page = test::read_file(GetParam().page);
  test::TempDir dir;
  int accepted = 0;
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    bool accepts = false;
    for (const std::string value : {"", "M", "8"}) {
      const std::string option = std::string("-") + letter + value;
      const auto result = test::run_program(GetParam().program, {option}, dir.path());
      accepts = accepts || result.out.find("Invalid paremeter") == std::string::npos;
    }
    if (!accepts) continue;
    ++accepted;
    const std::string roff = std::string("\\-") + letter;
    EXPECT_TRUE(page.find(".B " + roff) != std::string::npos ||
                page.find(".BI " + roff) != std::string::npos)
        << "-" << letter << " is accepted but not in the page";
  }
  EXPECT_GE(accepted, 3);
}

INSTANTIATE_TEST_SUITE_P(Pages, ManPage,
                         testing::Values(Page{"tolvane", TOLVANE_PATH, MAN_DIR "/tolvane.1"},
                                         Page{"marisk", MARISK_PATH, MAN_DIR "/marisk.1"}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
