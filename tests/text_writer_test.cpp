#include <gtest/gtest.h>

#include <string>

#include "verilog_hex.hpp"

namespace {

TEST(TextWriter, StoresEachLfAsCrLfAndNothingElseChanges) {
  std::string out;
  {
    vh::TextWriter writer(vh::memory_output(out));
    writer.write_text("a\nb\r\n\n%s%d\t\x1a");
    EXPECT_TRUE(writer.finish());
  }
  EXPECT_EQ(out, "a\r\nb\r\r\n\r\n%s%d\t\x1a");
}

TEST(TextWriter, WritesWordLines) {
  std::string out;
  vh::TextWriter writer(vh::memory_output(out));
  for (const std::uint32_t address : {0u, 0xAu, 0x10u, 0xABCDEFu, 0xFFFFFFFFu, 0x10000000u}) {
    writer.write_word_line(address, "0a%s");
  }
  writer.write_word_line(1, "");
  ASSERT_TRUE(writer.finish());
  EXPECT_EQ(out,
            "@0\t0a%s\r\n@A\t0a%s\r\n@10\t0a%s\r\n@ABCDEF\t0a%s\r\n@FFFFFFFF\t0a%s\r\n"
            "@10000000\t0a%s\r\n@1\t\r\n");
}

TEST(TextWriter, SmallBufferKeepsTheOrder) {
  std::string small_out;
  std::string large_out;
  vh::TextWriter small(vh::memory_output(small_out), 0);
  vh::TextWriter large(vh::memory_output(large_out));
  const std::string long_text(1000, 'q');
  for (std::uint32_t i = 0; i < 500; ++i) {
    for (vh::TextWriter* writer : {&small, &large}) {
      writer->write_word_line(i * 0x1357, i % 50 == 0 ? long_text : "x");
      writer->write_text(i % 50 == 0 ? long_text + "\n" + long_text : "x\ny\n");
    }
  }
  ASSERT_TRUE(small.finish());
  ASSERT_TRUE(large.finish());
  EXPECT_EQ(small_out, large_out);
  EXPECT_GT(small_out.size(), 20000u);
}

// Full buffers are written while the next one fills: a failure of any of them, the first
// or one in the middle of many, must still reach finish().
TEST(TextWriter, ReportsAFullDisk) {
  for (const std::size_t lines : {1, 100000}) {
    auto sink = vh::real_file_system().open_existing("/dev/full");
    ASSERT_TRUE(sink);
    vh::TextWriter writer(std::move(sink), 4096);
    for (std::size_t i = 0; i < lines; ++i) writer.write_text("ab\n");
    EXPECT_FALSE(writer.finish()) << lines << " lines";
    EXPECT_FALSE(writer.finish()) << "asked again";
  }
}

}  // namespace
