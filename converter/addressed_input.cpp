#include "addressed_input.hpp"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace converter {

using verilog_hex::ConversionResult;
using verilog_hex::Stop;

namespace {

// The refusal of a run the memory refuses, and the line it names: where records were
// joined, the first of them that is refused.
std::pair<ConversionResult, std::uint32_t> first_refusal(const AddressedBytes& bytes,
                                                         const Run& run, ConversionResult whole) {
  std::uint32_t where = run.where;
  for (std::uint64_t at = 0; run.record_size > 0 && at < run.whole; at += run.record_size) {
    const std::uint64_t size = std::min<std::uint64_t>(run.record_size, run.whole - at);
    if (auto refusal = bytes.check(run.address + at, size)) return {*refusal, where};
    ++where;
  }
  return {whole, run.where};
}

}  // namespace

ConversionResult place_sources(std::span<const std::unique_ptr<AddressedSource>> sources,
                               AddressedBytes& bytes) {
  struct Waiting {
    Run run;
    bool has_run = false;
    bool fetched = false;   // its first run was asked for
    std::uint64_t end = 0;  // of this input's runs placed so far
  };
  std::vector<Waiting> waiting(sources.size());
  const auto refused = [](ConversionResult result, std::size_t input, std::uint32_t where) {
    result.input = static_cast<std::uint32_t>(input);
    result.line = where;
    return result;
  };
  // The input's next run; a refusal where it has one or its runs go backwards. Records
  // are joined only below the other inputs' next runs, so that every check meets them
  // in the order it would meet them one by one.
  const auto fetch = [&](std::size_t input) -> std::optional<ConversionResult> {
    Waiting& next = waiting[input];
    std::uint64_t limit = UINT64_MAX;
    for (std::size_t k = 0; k < sources.size(); ++k) {
      if (k != input && !waiting[k].fetched) limit = 0;
      if (k != input && waiting[k].has_run) limit = std::min(limit, waiting[k].run.address);
    }
    next.fetched = true;
    if (auto stop = sources[input]->next(next.run, limit)) {
      if (stop->ok()) return std::nullopt;
      stop->input = static_cast<std::uint32_t>(input);
      return stop;
    }
    if (next.run.address < next.end) {
      return refused(verilog_hex::stopped(Stop::below_earlier_end, 0,
                                          static_cast<std::uint32_t>(next.run.address)),
                     input, next.run.where);
    }
    next.has_run = true;
    return std::nullopt;
  };
  for (std::size_t input = 0; input < sources.size(); ++input) {
    if (auto stop = fetch(input)) return *stop;
  }
  std::uint64_t end = 0;      // of every run placed so far
  std::size_t end_input = 0;  // the input whose run reaches there
  for (;;) {
    if (bytes.failed()) return verilog_hex::stopped(Stop::write_failed);
    // The lowest run next, on a tie the input named first.
    std::size_t input = sources.size();
    for (std::size_t k = 0; k < sources.size(); ++k) {
      if (waiting[k].has_run &&
          (input == sources.size() || waiting[k].run.address < waiting[input].run.address)) {
        input = k;
      }
    }
    if (input == sources.size()) break;
    Waiting& current = waiting[input];
    const Run& run = current.run;
    if (run.address < end && end_input != input) {
      ConversionResult overlap =
          verilog_hex::stopped(Stop::inputs_overlap, 0, static_cast<std::uint32_t>(run.address));
      overlap.limit = static_cast<std::uint32_t>(end_input);
      overlap.input = static_cast<std::uint32_t>(input);
      return overlap;
    }
    if (run.whole > 0) {
      if (auto refusal = bytes.check(run.address, run.whole)) {
        const auto [first, where] = first_refusal(bytes, run, *refusal);
        return refused(first, input, where);
      }
    }
    if (auto refusal = bytes.place(run.address, run.bytes.data(), run.bytes.size())) {
      return refused(*refusal, input, run.where);
    }
    current.end = run.address + run.bytes.size();
    if (current.end > end) {
      end = current.end;
      end_input = input;
    }
    current.has_run = false;
    if (auto stop = fetch(input)) return *stop;
  }
  bytes.finish();
  return {};
}

}  // namespace converter
