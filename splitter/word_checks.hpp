#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "bank_layout.hpp"
#include "conversion_result.hpp"
#include "hex_digits.hpp"
#include "output_format.hpp"
#include "pending_words.hpp"

namespace splitter {

// The checks each word must pass where the banks are more than VerilogHex lines: in
// this order, its address after the word before it (in a dense format or with a
// depth) and below the depth, its data text's digits for all banks, and characters
// the format holds. The word before is the last word that stood: a skipped line's
// words are forgotten.
class WordChecks {
 public:
  WordChecks(const BankLayout& layout, std::size_t wanted)
      : format_(*layout.format),
        depth_(layout.depth),
        wanted_(wanted),
        ordered_(layout.format->dense || layout.depth != 0),
        active_(!(layout.format == &verilog_hex::kVerilogHex && layout.depth == 0)) {}

  bool active() const { return active_; }
  // The refusal of a word whose data text is fills fill characters, then digits (as
  // written: written), or nothing.
  std::optional<verilog_hex::ConversionResult> check(std::uint32_t line, std::uint32_t address,
                                                     std::size_t fills, char fill,
                                                     std::string_view digits,
                                                     std::string_view written) {
    if (auto refused = check_address(line, address)) return refused;
    if (auto refused = check_digits(line, fills + digits.size(), written)) return refused;
    const std::size_t checked_fills = std::min(fills, wanted_);
    if ((checked_fills > 0 && !verilog_hex::format_holds(format_, {&fill, 1})) ||
        !verilog_hex::format_holds(format_, digits.substr(0, wanted_ - checked_fills))) {
      return refusal(verilog_hex::Stop::not_writable, line, written);
    }
    stands(address);
    return std::nullopt;
  }
  // A word line's word, its data text as written, with sixteen bytes readable from its
  // start: the same checks, its characters sixteen at a time where the banks take no
  // more.
  std::optional<verilog_hex::ConversionResult> check_word_line(std::uint32_t line,
                                                               std::uint32_t address,
                                                               std::string_view data) {
    const bool in_order = !ordered_ || !has_last_ || address > last_;
    if (in_order && (depth_ == 0 || address < depth_) && wanted_ <= verilog_hex::kHexScanWidth &&
        data.size() >= wanted_ && verilog_hex::leading_hex_digits(data.data()) >= wanted_) {
      stands(address);  // hexadecimal digits, which every format holds
      return std::nullopt;
    }
    return check(line, address, 0, '0', data, data);
  }
  // Word lines' words, the first on the line given, with their addresses: the refusal of
  // the first refused, or nothing. The common run (in order, below the depth, hexadecimal
  // digits for all banks) is told in one pass.
  std::optional<verilog_hex::ConversionResult> check_word_lines(
      std::uint32_t first_line, std::span<const WordText> words,
      std::span<const std::uint32_t> addresses) {
    std::size_t i = 0;
    if (wanted_ <= verilog_hex::kHexScanWidth) {
      const std::uint64_t end = depth_ != 0 ? depth_ : std::uint64_t{1} << 32;
      std::uint64_t floor = ordered_ && has_last_ ? std::uint64_t{last_} + 1 : 0;
      for (; i < words.size(); ++i) {
        const std::uint64_t address = addresses[i];
        if (address < floor || address >= end || words[i].data_size < wanted_ ||
            verilog_hex::leading_hex_digits(words[i].data) < wanted_) {
          break;
        }
        if (ordered_) floor = address + 1;
      }
      if (i > 0) stands(addresses[i - 1]);
    }
    for (; i < words.size(); ++i) {
      const std::string_view data(words[i].data, words[i].data_size);
      if (auto refused =
              check_word_line(first_line + static_cast<std::uint32_t>(i), addresses[i], data)) {
        return refused;
      }
    }
    return std::nullopt;
  }
  std::optional<verilog_hex::ConversionResult> check_address(std::uint32_t line,
                                                             std::uint32_t address) const {
    if (ordered_ && has_last_ && address <= last_) {
      return verilog_hex::stopped(verilog_hex::Stop::not_above, line, address);
    }
    if (depth_ != 0 && address >= depth_) {
      verilog_hex::ConversionResult refused =
          verilog_hex::stopped(verilog_hex::Stop::past_depth, line, address);
      refused.limit = depth_ - 1;
      return refused;
    }
    return std::nullopt;
  }
  // Outside VerilogHex, a data text of count digits must hold those of all banks.
  std::optional<verilog_hex::ConversionResult> check_digits(std::uint32_t line, std::size_t count,
                                                            std::string_view written) const {
    if (&format_ != &verilog_hex::kVerilogHex && count < wanted_) {
      return refusal(verilog_hex::Stop::too_few_digits, line, written);
    }
    return std::nullopt;
  }
  void stands(std::uint32_t address) {
    has_last_ = true;
    last_ = address;
  }
  // A word line read in pieces: the characters of a piece that go into banks.
  std::optional<verilog_hex::ConversionResult> check_characters(std::uint32_t line,
                                                                std::string_view piece,
                                                                std::string_view written) const {
    if (verilog_hex::format_holds(format_, piece)) return std::nullopt;
    return refusal(verilog_hex::Stop::not_writable, line, written);
  }
  void begin_line() {
    line_has_last_ = has_last_;
    line_last_ = last_;
  }
  void drop_line() {
    has_last_ = line_has_last_;
    last_ = line_last_;
  }

 private:
  static verilog_hex::ConversionResult refusal(verilog_hex::Stop stop, std::uint32_t line,
                                               std::string_view written) {
    verilog_hex::ConversionResult refused = verilog_hex::stopped(stop, line);
    refused.item = written;
    return refused;
  }

  const verilog_hex::OutputFormat& format_;
  std::uint32_t depth_;
  std::size_t wanted_;
  bool ordered_;
  bool active_;
  bool has_last_ = false;
  std::uint32_t last_ = 0;
  bool line_has_last_ = false;
  std::uint32_t line_last_ = 0;
};

}  // namespace splitter
