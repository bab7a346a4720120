#include "output_batch.hpp"

#include <algorithm>
#include <optional>

#include "interrupts.hpp"
#include "path_parts.hpp"

namespace platform {
namespace {

// Names made at random are retried this often when taken, so that files planted at
// them can neither stop a run nor be mistaken for its own.
constexpr int kNameAttempts = 100;

// A hidden name may be this long even where the target's own name is shorter: every
// file system takes names of this length.
constexpr std::size_t kShortName = 40;

}  // namespace

// ".NAME.TAG.tmp" next to the target: hidden, unguessable, and no longer than the
// target's own name where that is long, so that it fits wherever the target fits.
std::string OutputBatch::hidden_name(const std::string& target, std::string_view suffix) {
  const auto [folder, file] = path_parts(target);
  const std::string tag = files_.unique_text();
  const std::size_t overhead = 2 + tag.size() + suffix.size();
  const std::size_t budget = std::max(file.size(), kShortName);
  std::size_t keep = budget > overhead ? std::min(file.size(), budget - overhead) : 0;
  // Whole UTF-8 characters only.
  while (keep > 0 && keep < file.size() &&
         (static_cast<unsigned char>(file[keep]) & 0xC0) == 0x80) {
    --keep;
  }
  std::string name(folder);
  name += '.';
  name += file.substr(0, keep);
  name += '.';
  name += tag;
  name += suffix;
  return name;
}

std::unique_ptr<OutputFile> OutputBatch::open(const std::string& name) {
  const std::optional<std::string> target = files_.resolve_links(name);
  if (!target) return nullptr;
  const FileStatus status = files_.status(*target);
  switch (status.kind) {
    case FileKind::directory:
      return nullptr;
    case FileKind::other:
      return files_.open_existing(*target);
    case FileKind::regular:
      if (!status.writable) return nullptr;
      break;
    case FileKind::missing:
      break;
  }
  for (const Output& output : outputs_) {
    if (output.target == *target || files_.same_file(output.target, *target)) return nullptr;
  }
  const bool existed = status.kind == FileKind::regular;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string temporary = hidden_name(*target, ".tmp");
    NewFile made = files_.create_new(temporary, existed ? target : std::nullopt);
    if (made.result == NameResult::done) {
      Output& output = outputs_.emplace_back();
      output.target = *target;
      output.temporary = std::move(temporary);
      return std::move(made.file);
    }
    if (made.result == NameResult::failed) return nullptr;
  }
  return nullptr;
}

bool OutputBatch::commit() {
  // An interrupt waits until every output has its new name or every old file is back.
  const HeldInterrupts held;
  if (!held) {
    discard();
    return false;
  }
  std::vector<std::string> folders;
  for (const Output& output : outputs_) {
    const std::string_view folder = path_parts(output.target).folder;
    folders.emplace_back(folder.empty() ? "." : folder);
  }
  // Always in the same order, so that two runs never wait for each other.
  std::sort(folders.begin(), folders.end());
  folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
  std::vector<std::unique_ptr<FolderLock>> locks;
  for (const std::string& folder : folders) {
    locks.push_back(files_.lock_folder(folder));
    if (!locks.back()) {
      discard();
      return false;
    }
  }

  // With several files to rename, each old one keeps a second name until all are
  // renamed, so that a failure can put every old one back. Whether a file is old is
  // seen now, under the lock: another run may have made it since it was opened.
  const bool several = outputs_.size() > 1;
  for (Output& output : outputs_) {
    output.existed = files_.status(output.target).kind == FileKind::regular;
    if (several && output.existed && !make_backup(output)) {
      roll_back();
      return false;
    }
  }
  for (Output& output : outputs_) {
    if (!files_.rename(output.temporary, output.target)) {
      roll_back();
      return false;
    }
    output.renamed = true;
  }
  for (const Output& output : outputs_) {
    if (!output.backup.empty()) files_.remove(output.backup);
  }
  outputs_.clear();
  return true;
}

bool OutputBatch::make_backup(Output& output) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string backup = hidden_name(output.target, ".old");
    const NameResult linked = files_.link(output.target, backup);
    if (linked == NameResult::taken) continue;
    if (linked == NameResult::done) {
      output.backup = std::move(backup);
      return true;
    }
    // No hard links here: the old file is moved aside, and moved back on a failure.
    const NameResult moved = files_.move_to_new_name(output.target, backup);
    if (moved == NameResult::taken) continue;
    if (moved == NameResult::failed) return false;
    output.backup = std::move(backup);
    output.moved_aside = true;
    return true;
  }
  return false;
}

void OutputBatch::roll_back() {
  for (auto output = outputs_.rbegin(); output != outputs_.rend(); ++output) {
    if (!output->backup.empty()) {
      // A backup that cannot be put back stays: it is the old file.
      if (output->renamed || output->moved_aside) {
        files_.rename(output->backup, output->target);
      } else {
        files_.remove(output->backup);
      }
    } else if (output->renamed && !output->existed) {
      files_.remove(output->target);
    }
    if (!output->renamed) files_.remove(output->temporary);
  }
  outputs_.clear();
}

void OutputBatch::discard() {
  for (const Output& output : outputs_) files_.remove(output.temporary);
  outputs_.clear();
}

}  // namespace platform
