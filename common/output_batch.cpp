#include "output_batch.hpp"

#include <optional>

#include "file_name.hpp"

namespace verilog_hex {

std::string OutputBatch::temporary_name(const std::string& target) {
  const auto [folder, file] = split_file_name(target);
  // Hidden, and short enough to fit where the target's own name fits.
  return std::string(folder) + "." + std::string(file.substr(0, 200)) + "." + files_.run_tag() +
         "-" + std::to_string(names_made_++) + ".tmp";
}

std::unique_ptr<OutputFile> OutputBatch::open(const std::string& name) {
  const std::string target = files_.resolve_links(name);
  const FileStatus status = files_.status(target);
  switch (status.kind) {
    case FileKind::directory:
      return nullptr;
    case FileKind::other:
      return files_.open_existing(target);
    case FileKind::regular:
      if (!status.writable) return nullptr;
      break;
    case FileKind::missing:
      break;
  }
  const bool existed = status.kind == FileKind::regular;
  const auto permissions = existed ? std::optional(status.permissions) : std::nullopt;
  // A name left by an earlier run that was killed is passed over.
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::string temporary = temporary_name(target);
    if (auto file = files_.create_new(temporary, permissions)) {
      outputs_.push_back({target, std::move(temporary), existed});
      return file;
    }
  }
  if (!existed) return nullptr;
  auto file = files_.open_existing(target);
  if (file) outputs_.push_back({target, "", existed});
  return file;
}

bool OutputBatch::commit() {
  files_.defer_interrupts(true);
  std::size_t replacing = 0;
  for (const Output& output : outputs_) replacing += !output.temporary.empty();
  // With several files to rename, each old file keeps a second name until all are
  // renamed, so that a failed rename can put the old ones back.
  std::vector<std::string> backups(outputs_.size());
  bool renamed_all = true;
  std::size_t renamed = 0;
  for (; renamed < outputs_.size(); ++renamed) {
    const Output& output = outputs_[renamed];
    if (output.temporary.empty()) continue;
    if (replacing > 1 && output.existed) {
      std::string backup = temporary_name(output.target);
      if (files_.link(output.target, backup)) backups[renamed] = std::move(backup);
    }
    if (!files_.rename(output.temporary, output.target)) {
      renamed_all = false;
      break;
    }
  }
  if (renamed_all) {
    for (const std::string& backup : backups) {
      if (!backup.empty()) files_.remove(backup);
    }
    outputs_.clear();
  } else {
    roll_back(renamed, backups);
    discard();
  }
  files_.defer_interrupts(false);
  return renamed_all;
}

void OutputBatch::roll_back(std::size_t renamed, const std::vector<std::string>& backups) {
  for (std::size_t i = renamed; i-- > 0;) {
    Output& output = outputs_[i];
    if (output.temporary.empty()) continue;
    if (!backups[i].empty()) {
      files_.rename(backups[i], output.target);
    } else if (!output.existed) {
      files_.remove(output.target);
    }
    output.temporary.clear();  // nothing of it is left under that name
  }
  if (backups.size() > renamed && !backups[renamed].empty()) files_.remove(backups[renamed]);
}

void OutputBatch::discard() {
  for (const Output& output : outputs_) {
    if (!output.temporary.empty()) files_.remove(output.temporary);
  }
  outputs_.clear();
}

}  // namespace verilog_hex
