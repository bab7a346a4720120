// Seeded random round trips through the converter and the splitter, in memory. Set
// VH_PROPERTY_SEED to repeat a failing case: the seed is printed with every failure.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bank_extraction.hpp"
#include "byte_conversion.hpp"
#include "general_rules_image.hpp"
#include "intel_hex_conversion.hpp"
#include "memory_streams.hpp"
#include "verilog_hex.hpp"

namespace {

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start) + "<no line end>");
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// A byte list in the many forms a byte line may take; text that is no number is a zero.
std::string random_byte_list(std::mt19937& random, std::vector<unsigned>& bytes) {
  static const char* const kForms[] = {"%02x", "%02X", "0x%02x", " %x", "+%X", "\t0%02x", "1%02x"};
  std::string text;
  const std::size_t count = random() % 200;
  char line[16];
  for (std::size_t i = 0; i < count; ++i) {
    if (random() % 20 == 0) {
      text += random() % 2 ? "; note" : "  ";
      bytes.push_back(0);
    } else {
      bytes.push_back(random() & 0xFF);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"  // forms from the table above
      std::snprintf(line, sizeof line, kForms[random() % std::size(kForms)], bytes.back());
#pragma GCC diagnostic pop
      text += line;
    }
    if (i + 1 < count || random() % 2) text += random() % 2 ? "\r\n" : "\n";
  }
  return text;
}

// An Intel HEX record of the data, checksum included, with its line end.
std::string intel_hex_record(unsigned type, unsigned address, const std::vector<unsigned>& data) {
  std::vector<unsigned> bytes = {static_cast<unsigned>(data.size()), address >> 8 & 0xFF,
                                 address & 0xFF, type};
  bytes.insert(bytes.end(), data.begin(), data.end());
  unsigned sum = 0;
  for (const unsigned b : bytes) sum += b;
  bytes.push_back(-sum & 0xFF);
  std::string text = ":";
  char digits[4];
  for (const unsigned b : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", b & 0xFF);
    text += digits;
  }
  return text + "\n";
}

TEST(Property, IntelHexPlacesEveryByteAtItsAddress) {
  // From seed 500 on: words whose size does not divide the converter's run of 64 KiB and
  // a word, and records from address 1 that end inside words, up to a byte short of the
  // run's end, then a hole of two bytes inside the word that the run's end cuts.
  constexpr unsigned kOddSizes[] = {3, 5, 6, 7, 48, 500};
  for (unsigned seed = 1; seed < 512; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const bool at_run_end = seed >= 500;
    const unsigned per_word = at_run_end          ? kOddSizes[seed % 6]
                              : random() % 4 == 0 ? 64
                                                  : 1 + random() % 8;
    const bool big_endian = random() % 2;
    const std::uint64_t hole = 0x10000 + per_word - 1;
    // Runs of bytes with gaps, some of them far past 64 KiB, under 04 bases.
    std::map<std::uint64_t, unsigned> placed;
    std::string records;
    std::uint64_t address = at_run_end     ? 1
                            : random() % 2 ? 0x80000000u + random() % 0x20000
                                           : random() % 64;
    const std::uint32_t first =
        at_run_end ? 0 : static_cast<std::uint32_t>(address - random() % 3 * (address > 2));
    unsigned base = 0x10000;  // none set yet
    for (unsigned run = at_run_end ? 300 : random() % 12; run > 0; --run) {
      std::uint64_t count = 1 + random() % 40;
      if (at_run_end) {
        count = std::min<std::uint64_t>(
            {255, address < hole ? hole - address : 255, 0x10000 - (address & 0xFFFF)});
        if ((address + count) % per_word == 0 && address + count != hole && count > 1) --count;
      }
      if ((address & 0xFFFF) + count > 0x10000) address = (address | 0xFFFF) + 1;
      if (address >> 16 != base) {
        base = static_cast<unsigned>(address >> 16);
        records += intel_hex_record(4, 0, {base >> 8, base & 0xFF});
      }
      std::vector<unsigned> data(count);
      for (std::size_t i = 0; i < count; ++i) placed[address + i] = data[i] = random() & 0xFF;
      records += intel_hex_record(0, address & 0xFFFF, data);
      address += count;
      if (!at_run_end) address += random() % 3 == 0 ? random() % 100000 : random() % 20;
      if (address == hole) address += 2;
    }
    records += ":00000001FF\n";
    // The words that hold a byte, each written once in ascending order.
    std::map<std::uint64_t, std::vector<unsigned>> words;
    for (const auto& [at, value] : placed) {
      auto& word = words.try_emplace((at - first) / per_word, per_word, 0).first->second;
      word[(at - first) % per_word] = value;
    }
    std::string expected;
    char text[24];
    for (const auto& [word, values] : words) {
      std::snprintf(text, sizeof text, "@%llX\t", static_cast<unsigned long long>(word));
      expected += text;
      for (unsigned k = 0; k < per_word; ++k) {
        std::snprintf(text, sizeof text, "%02X", values[big_endian ? k : per_word - 1 - k]);
        expected += text;
      }
      expected += "\r\n";
    }
    std::string image;
    verilog_hex::TextReader input(
        test::memory_input(records),
        random() % 2 && !at_run_end ? 0 : 1 << 16);  // 255-byte records whole
    verilog_hex::ImageWriter output(test::memory_output(image), random() % 64);
    converter::ImageWords image_words(output, per_word, big_endian, 0);
    converter::AddressedBytes bytes(image_words, first, false);
    const auto converted = converter::convert_intel_hex(input, bytes);
    ASSERT_TRUE(converted.ok());
    ASSERT_TRUE(output.finish());
    ASSERT_EQ(image, expected);
  }
}

TEST(Property, ConvertSplitAndPutBackGivesTheBytes) {
  const char* seed_text = std::getenv("VH_PROPERTY_SEED");
  const unsigned first =
      seed_text ? static_cast<unsigned>(std::strtoul(seed_text, nullptr, 10)) : 1;
  const unsigned runs = seed_text ? 1 : 2000;
  for (unsigned seed = first; seed < first + runs; ++seed) {
    SCOPED_TRACE("VH_PROPERTY_SEED=" + std::to_string(seed));
    std::mt19937 random(seed);
    std::vector<unsigned> bytes;
    const std::string byte_list = random_byte_list(random, bytes);
    const unsigned per_word = 1 + random() % 8;
    const auto data_width = static_cast<std::uint8_t>(per_word * 8 + random() % 8);
    const bool big_endian = random() % 2;

    std::string image;
    verilog_hex::TextReader input(test::memory_input(byte_list), random() % 2 ? 0 : 1 << 16);
    verilog_hex::ImageWriter output(test::memory_output(image), random() % 64);
    ASSERT_TRUE(test::converts(input, output, data_width, big_endian));
    ASSERT_TRUE(output.finish());

    // The same bytes as a binary file give the same image.
    std::string binary_bytes(bytes.begin(), bytes.end());
    std::string binary_image;
    verilog_hex::BlockReader binary(test::memory_input(binary_bytes), random() % 2 ? 0 : 1 << 16);
    verilog_hex::ImageWriter binary_output(test::memory_output(binary_image), random() % 64);
    ASSERT_TRUE(test::converts(binary, binary_output, data_width, big_endian));
    ASSERT_TRUE(binary_output.finish());
    EXPECT_EQ(binary_image, image);

    // And so do they as Intel HEX records of any length.
    std::string records;
    for (std::size_t at = 0; at < bytes.size();) {
      const std::size_t count = std::min<std::size_t>(1 + random() % 40, bytes.size() - at);
      records +=
          intel_hex_record(0, static_cast<unsigned>(at),
                           std::vector<unsigned>(bytes.begin() + at, bytes.begin() + at + count));
      if (random() % 8 == 0) records += " \t\r\n";
      at += count;
    }
    std::string hex_image;
    verilog_hex::TextReader hex(test::memory_input(records), random() % 2 ? 0 : 1 << 16);
    verilog_hex::ImageWriter hex_output(test::memory_output(hex_image), random() % 64);
    converter::ImageWords hex_words(hex_output, per_word, big_endian, 0);
    converter::AddressedBytes hex_bytes(hex_words, 0, false);
    ASSERT_TRUE(converter::convert_intel_hex(hex, hex_bytes).ok());
    ASSERT_TRUE(hex_output.finish());
    EXPECT_EQ(hex_image, image);

    // The image reads back as words 0, 1, 2, ... of two upper-case digits a byte.
    bytes.resize((bytes.size() + per_word - 1) / per_word * per_word, 0);
    const auto image_lines = split_lines(image);
    ASSERT_EQ(image_lines.size(), bytes.size() / per_word);
    for (std::size_t i = 0; i < image_lines.size(); ++i) {
      const auto word = verilog_hex::parse_word_line(image_lines[i]);
      ASSERT_TRUE(word) << image_lines[i];
      EXPECT_EQ(word->address, i);
      std::string expected;
      char digits[4];
      for (unsigned k = 0; k < per_word; ++k) {
        std::snprintf(digits, sizeof digits, "%02X",
                      bytes[i * per_word + (big_endian ? k : per_word - 1 - k)]);
        expected += digits;
      }
      EXPECT_EQ(word->data, expected);
    }

    // Split into byte banks and put back together.
    verilog_hex::TextReader image_input(test::memory_input(image), random() % 2 ? 0 : 1 << 16);
    std::vector<unsigned> rebuilt(bytes.size());
    std::vector<std::string> bank_texts(per_word);
    std::vector<std::unique_ptr<verilog_hex::ImageWriter>> writers;
    std::vector<verilog_hex::ImageWriter*> banks;
    for (std::string& text : bank_texts) {
      writers.push_back(
          std::make_unique<verilog_hex::ImageWriter>(test::memory_output(text), random() % 64));
      banks.push_back(writers.back().get());
    }
    ASSERT_TRUE(splitter::split_words(image_input, banks, 2, 2 * per_word, [] {
                  return test::memory_scratch();
                }).ok());
    for (unsigned slice = 0; slice < per_word; ++slice) {
      ASSERT_TRUE(writers[slice]->finish());
      const std::string& bank = bank_texts[slice];
      const auto bank_lines = split_lines(bank);
      ASSERT_EQ(bank_lines.size(), image_lines.size());
      for (std::size_t i = 0; i < bank_lines.size(); ++i) {
        const auto word = verilog_hex::parse_word_line(bank_lines[i]);
        ASSERT_TRUE(word) << bank_lines[i];
        EXPECT_EQ(word->address, i);
        ASSERT_EQ(word->data.size(), 2u);
        const unsigned position = big_endian ? slice : per_word - 1 - slice;
        rebuilt[i * per_word + position] = verilog_hex::parse_unsigned(word->data, 16);
      }
    }
    EXPECT_EQ(rebuilt, bytes);
    if (HasFailure()) return;
  }
}

}  // namespace
