#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "addressed_bytes.hpp"
#include "conversion_result.hpp"
#include "text_reader.hpp"

namespace converter {

// One run of bytes an addressed input gives at its address: a record's data, or a piece
// of a segment.
struct Run {
  std::uint64_t address = 0;
  std::span<const std::uint8_t> bytes;
  std::uint32_t where = 0;  // the record's line or the segment's number, for a refusal
  // The bytes of the record or segment that this run begins, checked against the memory
  // before any is placed; 0 for a later piece of it.
  std::uint64_t whole = 0;
  // Records gathered into one run: the bytes of each (the last may hold fewer), their
  // lines following one another from where. 0: the run is one record or a segment's.
  std::uint32_t record_size = 0;
};

// An addressed input (Intel HEX, S-records, ELF) read a run at a time, in its own order,
// so that several can be read side by side and none is held whole.
class AddressedSource {
 public:
  virtual ~AddressedSource() = default;
  // Gives the next run, whose bytes stay valid until the next call; nothing then. At the
  // input's end a stop of done, else why it stopped and where. A run of records may
  // join several, as long as they end at or below limit; it holds one at least.
  virtual std::optional<verilog_hex::ConversionResult> next(Run& run, std::uint64_t limit) = 0;
};

// Places the runs of every input in ascending address order, read side by side, so that
// their bytes make one image. Within an input, runs must ascend without overlap; bytes of
// two inputs must not overlap. A refusal about one input gives its index as input.
verilog_hex::ConversionResult place_sources(
    std::span<const std::unique_ptr<AddressedSource>> sources, AddressedBytes& bytes);

// A data record as gather() decodes it straight from the buffer.
struct DataRecord {
  std::uint64_t address;
  std::uint32_t size;     // of its data
  std::size_t line_size;  // its line, LF included
};

// The lines of a record file, numbered from 1, blank lines skipped: the loop that Intel
// HEX and S-records share.
class RecordLines {
 public:
  RecordLines(verilog_hex::TextReader& input, char mark) : input_(input), mark_(mark) {}

  // Reads the next line that is not blank, handing it to parse(text), which gives
  // whether it is a record (the text is gone once it returns); nothing at the input's
  // end, or once a read failed. True for a record: parsed, and not cut by the reader nor
  // followed by more than blanks before its end.
  template <class Parse>
  std::optional<bool> next(Parse parse) {
    while (const auto line = input_.read_whole_line()) {
      ++number_;
      const bool blank = (*line)[0] != mark_ && verilog_hex::is_blank_line(*line);
      const bool parsed = !blank && parse(*line);
      const bool whole = line->back() == '\n' || input_.at_end() || input_.rest_of_line_is_blank();
      if (blank && whole) continue;
      return parsed && whole;
    }
    return std::nullopt;
  }
  // Data records straight from the buffer, joined into one run: while the buffered text
  // begins with a whole line that decode(text, out) takes as a common data record (its
  // bytes stored at out, kMaxRecord at most), of the first record's size
  // (the last may be smaller), continuing the run, ending at or below limit, and while
  // room is left. Any other line is left to next(). Gives the run, empty where the
  // first line is no such record.
  static constexpr std::size_t kMaxRecord = 256;
  template <class Decode>
  Run gather(Decode decode, std::span<std::uint8_t> room, std::uint64_t limit) {
    Run run;
    const std::string_view text = input_.buffered();
    std::size_t taken = 0;
    std::size_t used = 0;
    while (used + kMaxRecord <= room.size()) {
      const std::optional<DataRecord> record = decode(text.substr(taken), room.data() + used);
      if (!record || record->size == 0 || record->address + record->size > limit) break;
      if (used == 0) {
        run.address = record->address;
        run.where = number_ + 1;
        run.record_size = record->size;
      } else if (record->address != run.address + used || record->size > run.record_size) {
        break;
      }
      used += record->size;
      taken += record->line_size;
      ++number_;
      if (record->size < run.record_size) break;  // the run's last
    }
    input_.consume(taken);
    run.bytes = room.first(used);
    run.whole = used;
    return run;
  }
  std::uint32_t number() const { return number_; }
  bool failed() const { return input_.failed(); }
  // The refusal of the line just read.
  verilog_hex::ConversionResult refuse(verilog_hex::Stop stop, std::uint32_t value = 0) const {
    return verilog_hex::stopped(stop, number_, value);
  }

 private:
  verilog_hex::TextReader& input_;
  char mark_;  // a record's first character: a line that begins so is never blank
  std::uint32_t number_ = 0;
};

}  // namespace converter
