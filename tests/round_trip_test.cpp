// Converts random bytes with tolvane, splits the image with marisk, and checks that the
// banks put back together give the original bytes.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "test_programs.hpp"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

TEST(RoundTrip, BanksPutBackTogetherGiveTheBytes) {
  for (const bool big_endian : {true, false}) {
    for (const std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{4001}}) {
      SCOPED_TRACE((big_endian ? "big-endian, " : "little-endian, ") + std::to_string(count));
      test::TempDir dir;
      std::mt19937 random(static_cast<unsigned>(count));
      std::vector<unsigned> bytes;
      std::string byte_list;
      for (std::size_t i = 0; i < count; ++i) {
        bytes.push_back(random() & 0xFF);
        char line[8];
        std::snprintf(line, sizeof line, i % 2 ? "%02x\r\n" : "%02X\n", bytes.back());
        byte_list += line;
      }
      test::write_file(dir.path() / "bytes.txt", byte_list);
      ASSERT_EQ(test::run_program(TOLVANE_PATH, {"-d32", "bytes.txt"}, dir.path()).status, 0);
      fs::rename(dir.path() / "bytes.vh", dir.path() / "img_0x100.vh");
      const auto split =
          test::run_program(MARISK_PATH, {big_endian ? "-eM" : "-eL", "img_0x100.vh"}, dir.path());
      ASSERT_EQ(split.status, 0) << split.out;

      std::vector<std::vector<std::string>> banks;
      for (int bank = 0; bank < 4; ++bank) {
        const int file = big_endian ? 3 - bank : bank;  // leftmost slice first
        banks.push_back(
            lines_of(test::read_file(dir.path() / ("img_0x400_" + std::to_string(file) + ".vh"))));
      }
      const std::size_t words = (count + 3) / 4;
      std::vector<unsigned> rebuilt;
      for (std::size_t word = 0; word < words; ++word) {
        char address[32];
        std::snprintf(address, sizeof address, "@%zX\t", word);
        std::string digits;
        for (const auto& bank : banks) {
          ASSERT_EQ(bank.size(), words);
          ASSERT_EQ(bank[word].rfind(address, 0), 0u) << bank[word];
          digits += bank[word].substr(std::string(address).size());
        }
        ASSERT_EQ(digits.size(), 8u);
        for (std::size_t i = 0; i < 8; i += 2) {
          rebuilt.push_back(static_cast<unsigned>(std::stoul(digits.substr(i, 2), nullptr, 16)));
        }
      }
      std::vector<unsigned> expected = bytes;
      expected.resize(words * 4, 0);  // the last word is padded with zero bytes
      EXPECT_EQ(rebuilt, expected);
    }
  }
}

}  // namespace
