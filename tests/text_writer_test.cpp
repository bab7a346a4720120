#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "background_writer.hpp"
#include "memory_file_system.hpp"
#include "memory_streams.hpp"
#include "numbered_words.hpp"
#include "verilog_hex.hpp"

namespace {

TEST(TextWriter, StoresTheBytesExactly) {
  std::string out;
  {
    verilog_hex::TextWriter writer(test::memory_output(out));
    writer.append("a\nb\r\n\n%s%d\t\x1a");
    EXPECT_TRUE(writer.finish());
  }
  EXPECT_EQ(out, "a\nb\r\n\n%s%d\t\x1a");
}

TEST(ImageWriter, WritesWordLines) {
  std::string out;
  verilog_hex::ImageWriter writer(test::memory_output(out));
  for (const std::uint32_t address : {0u, 0xAu, 0x10u, 0xABCDEFu, 0xFFFFFFFFu, 0x10000000u}) {
    writer.write_word(address, "0a%s");
  }
  writer.write_word(1, "");
  ASSERT_TRUE(writer.finish());
  EXPECT_EQ(out,
            "@0\t0a%s\r\n@A\t0a%s\r\n@10\t0a%s\r\n@ABCDEF\t0a%s\r\n@FFFFFFFF\t0a%s\r\n"
            "@10000000\t0a%s\r\n@1\t\r\n");
}

TEST(AddressField, CopiesDigitsInTheWrittenFormAndFormsAllOthers) {
  for (const auto& [digits, field] : std::vector<std::pair<std::string, std::string>>{
           {"0", "@0\t"},
           {"1F", "@1F\t"},
           {"FFFFFFFF", "@FFFFFFFF\t"},
           {"", "@0\t"},
           {"00", "@0\t"},
           {"0A", "@A\t"},
           {"a", "@A\t"},
           {"ffffffff", "@FFFFFFFF\t"},
           {"00000001", "@1\t"},
           {"10000000", "@10000000\t"},
       }) {
    const std::string read = "@" + digits + "\t" + std::string(16, 'x');  // readable past
    EXPECT_EQ(
        verilog_hex::AddressField::from_field(std::string_view(read).substr(0, digits.size() + 2))
            .text(),
        field)
        << digits;
  }
}

// Lines that cross buffer ends at every offset, addresses of every length at the end
// of a buffer, and lines longer than the buffer come out as with one large buffer.
TEST(Writers, SmallBuffersKeepTheOrder) {
  const auto write_all = [](std::size_t capacity, std::string& text, std::string& image) {
    const std::string long_text(1000, 'q');
    verilog_hex::TextWriter lines(test::memory_output(text), capacity);
    verilog_hex::ImageWriter words(test::memory_output(image), capacity);
    for (std::uint32_t i = 0; i < 500; ++i) {
      lines.append(i % 50 == 0 ? long_text + "\r\n" + long_text : "x\r\ny\r\n");
      const std::uint32_t address = i % 9 == 0 ? 0xFFFFFFFF - i : i * 0x1357;
      words.write_word(address, i % 50 == 0 ? long_text : std::string(i % 19, 'x'));
      words.write_word(address + 1, i % 3 == 0 ? "" : "ab");
    }
    EXPECT_TRUE(lines.finish());
    EXPECT_TRUE(words.finish());
  };
  std::string large_text;
  std::string large_image;
  write_all(verilog_hex::TextWriter::kDefaultCapacity, large_text, large_image);
  EXPECT_GT(large_image.size(), 20000u);
  std::vector<std::size_t> capacities = {0, 1000};
  // An address field of any length ends at every offset of these buffers.
  for (std::size_t capacity = 32; capacity <= 64; ++capacity) capacities.push_back(capacity);
  for (const std::size_t capacity : capacities) {
    std::string text;
    std::string image;
    write_all(capacity, text, image);
    EXPECT_EQ(text, large_text) << "capacity " << capacity;
    EXPECT_EQ(image, large_image) << "capacity " << capacity;
  }
}

// Writers of one pool written one after another need a buffer only while in use: one
// is taken with the first byte and given back by release() and finish(), bytes and
// order kept.
TEST(TextWriter, SharesItsPoolsBuffersOneWriterAtATime) {
  const auto pool = std::make_shared<verilog_hex::BufferPool>(32, 1);
  std::string first_out;
  std::string second_out;
  verilog_hex::TextWriter first(verilog_hex::write_at_once(test::memory_output(first_out)), pool);
  verilog_hex::TextWriter second(verilog_hex::write_at_once(test::memory_output(second_out)), pool);
  first.append(std::string(40, 'a'));
  first.release();
  second.append("b");
  second.release();
  second.release();
  first.append("c");
  EXPECT_EQ(first.position(), 41u);
  EXPECT_TRUE(first.finish());
  second.append("d");
  EXPECT_TRUE(second.finish());
  std::string first_expected(40, 'a');
  first_expected += 'c';  // in steps, which g++'s bounds check reads right
  EXPECT_EQ(first_out, first_expected);
  EXPECT_EQ(second_out, "bd");
}

// Full buffers are written while the next one fills: a failure of any of them, the first
// or one in the middle of many, and one followed by good writes, must still reach finish().
TEST(TextWriter, ReportsAFullDisk) {
  for (const std::size_t lines : {1, 100000}) {
    auto sink = platform::real_file_system().open_existing("/dev/full");
    ASSERT_TRUE(sink);
    verilog_hex::TextWriter writer(platform::write_in_background(std::move(sink)), 4096);
    for (std::size_t i = 0; i < lines; ++i) writer.append("ab\r\n");
    EXPECT_FALSE(writer.finish()) << lines << " lines";
    EXPECT_FALSE(writer.finish()) << "asked again";
  }
  for (const int failing_write : {1, 3, 40}) {
    test::MemoryFileSystem files;
    files.fail(test::Step::write, failing_write);
    auto made = files.create_new("out.vh", std::nullopt);
    ASSERT_TRUE(made.file);
    verilog_hex::TextWriter writer(platform::write_in_background(std::move(made.file)), 4096);
    for (std::size_t i = 0; i < 100000; ++i) writer.append("ab\r\n");
    EXPECT_FALSE(writer.finish()) << "write " << failing_write << " of many fails";
  }
}

// Numbered words in every format come out as the same words written one at a time:
// batches cut at every buffer size, a coe lead at each batch's start, addresses across
// each sixteenth and from any first line.
class NumberedWords : public testing::TestWithParam<const verilog_hex::OutputFormat*> {};

TEST_P(NumberedWords, BatchesAsWordByWord) {
  const verilog_hex::OutputFormat& format = *GetParam();
  const auto write = [&](std::size_t capacity, bool batched) {
    std::string image;
    verilog_hex::ImageWriter words(test::memory_output(image), capacity);
    words.set_format(format);
    words.write_word(0x7, "0123");  // a first line that is no batch's
    std::uint32_t address = 0xC;
    for (const std::size_t count : {std::size_t{1}, std::size_t{40}, std::size_t{300}}) {
      if (!batched) {
        for (std::size_t i = 0; i < count; ++i) words.write_word(address++, "A5A5");
      } else {
        address = verilog_hex::write_fill_words(words, address, count, 2, 0xA5);
      }
      address += 0xFFF0;
    }
    EXPECT_TRUE(words.finish());
    return image;
  };
  for (const std::size_t capacity : {std::size_t{40}, std::size_t{64}, std::size_t{100},
                                     verilog_hex::TextWriter::kDefaultCapacity}) {
    EXPECT_EQ(write(capacity, true), write(capacity, false)) << capacity;
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, NumberedWords, testing::ValuesIn([] {
                           std::vector<const verilog_hex::OutputFormat*> formats;
                           for (const auto& format : verilog_hex::kOutputFormats) {
                             formats.push_back(&format);
                           }
                           return formats;
                         }()),
                         [](const auto& param_info) {
                           return std::string(param_info.param->name);
                         });

}  // namespace
