#include "file_error.hpp"

#include "run_status.hpp"

namespace tool_run {

void report_file_error(platform::Console& console, std::string_view program,
                       const platform::FileSystem& files) {
  console.out(kFileError);
  const auto line = [&](const platform::FileFailure& failure, std::string_view what) {
    std::string text(program);
    text += ": ";
    text += failure.name;
    text += ": ";
    text += what;
    text += failure.cause;
    text += '\n';
    console.err(text);
  };
  if (const auto failure = files.first_failure()) line(*failure, "");
  for (const platform::FileFailure& left : files.left_behind()) line(left, "left behind: ");
}

std::unique_ptr<verilog_hex::ScratchFile> open_scratch(platform::FileSystem& files,
                                                       const std::string& output) {
  auto scratch = files.create_scratch(output);
  if (!scratch) files.note_failure(kScratchName);
  return platform::noting_failures(files, std::string(kScratchName), std::move(scratch));
}

}  // namespace tool_run
