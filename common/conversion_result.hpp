#pragma once

#include <cstdint>
#include <string>

namespace verilog_hex {

// Why a conversion stopped.
enum class Stop {
  done,
  read_failed,          // the input could not be read
  not_positionable,     // an input read at positions is a pipe
  write_failed,         // the output could not be written: reading stopped there
  not_a_record,         // an Intel HEX line that is no record
  wrong_checksum,       // an Intel HEX record whose bytes do not sum to 0
  unknown_record_type,  // item: the type as the record gives it
  below_earlier_end,    // value: the record's first byte address
  below_first_address,  // value: the record's first byte address
  past_last_word,       // value: the word, limit: the memory's last word
  word_too_wide,        // item: the word as written
  not_above,            // value: a word that does not lie above the one before it
  past_depth,           // value: a word at the depth or past it, limit: the last word
  too_few_digits,       // item: a data text shorter than the banks' digits together
  not_writable,         // item: a data text or word that the format cannot hold
  no_words,             // a format that writes every word of the memory found none
  not_elf,              // no ELF file, or its program header table is not whole
  segment_past_end,     // line: an ELF segment's number; its bytes lie past the file's end
  segment_past_4gib,    // line: an ELF segment's number; it reaches past 4 GiB
  segments_overlap,     // limit and line: two ELF segments' numbers, in address order
  count_mismatch,       // an S-record count; value: the count, limit: the data records
  inputs_overlap,       // value: the lowest address both give, limit and input: the inputs
};

// What a conversion gives its run: why it stopped and, where a message names them, the
// text input's line (counted from 1) and the values it names.
struct ConversionResult {
  Stop stop = Stop::done;
  std::uint32_t line = 0;
  std::uint32_t value = 0;
  std::uint32_t limit = 0;
  std::string item;
  std::uint32_t input = 0;  // of several inputs, the one the refusal is about

  bool ok() const { return stop == Stop::done; }
};

inline ConversionResult stopped(Stop stop, std::uint32_t line = 0, std::uint32_t value = 0) {
  ConversionResult result;
  result.stop = stop;
  result.line = line;
  result.value = value;
  return result;
}

}  // namespace verilog_hex
