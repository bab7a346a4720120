#include "addressed_input.hpp"

#include <vector>

namespace converter {

using verilog_hex::ConversionResult;
using verilog_hex::Stop;

ConversionResult place_sources(std::span<const std::unique_ptr<AddressedSource>> sources,
                               AddressedBytes& bytes) {
  struct Waiting {
    Run run;
    bool has_run = false;
    std::uint64_t end = 0;  // of this input's runs placed so far
  };
  std::vector<Waiting> waiting(sources.size());
  const auto refused = [](ConversionResult result, std::size_t input, std::uint32_t where) {
    result.input = static_cast<std::uint32_t>(input);
    result.line = where;
    return result;
  };
  // The input's next run; a refusal where it has one or its runs go backwards.
  const auto fetch = [&](std::size_t input) -> std::optional<ConversionResult> {
    Waiting& next = waiting[input];
    if (auto stop = sources[input]->next(next.run)) {
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
        return refused(*refusal, input, run.where);
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
