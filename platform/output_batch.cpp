#include "output_batch.hpp"

#include <algorithm>
#include <cerrno>
#include <optional>

#include "background_writer.hpp"
#include "interrupts.hpp"
#include "path_parts.hpp"
#include "same_file.hpp"

namespace platform {
namespace {

// Names made at random are retried this often when taken, so that files planted at
// them can neither stop a run nor be mistaken for its own.
constexpr int kNameAttempts = 100;

// A hidden name may be this long even where the target's own name is shorter: every
// file system takes names of this length.
constexpr std::size_t kShortName = 40;

bool continues_character(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The length of UTF-8 text in UTF-16 units, in which NTFS, exFAT and FAT count a name:
// a character of four bytes takes two units, any other one.
std::size_t utf16_units(std::string_view text) {
  std::size_t units = 0;
  for (const char c : text) {
    if (!continues_character(c)) units += static_cast<unsigned char>(c) >= 0xF0 ? 2 : 1;
  }
  return units;
}

}  // namespace

// ".NAME.TAG.tmp" next to the target: hidden, unguessable, and no longer than the
// target's own name where that is long, in bytes and in UTF-16 units, so that it fits
// wherever the target fits.
std::string OutputBatch::hidden_name(const std::string& target, std::string_view suffix) {
  const PathParts parts = path_parts(target);
  const std::string_view folder = parts.folder;
  const std::string_view file = parts.file;  // a variable of its own, for the lambda below
  const std::string tag = files_.unique_text();
  const std::size_t overhead = 2 + tag.size() + suffix.size();  // ASCII: bytes and units
  const std::size_t byte_budget = std::max(file.size(), kShortName);
  const std::size_t unit_budget = std::max(utf16_units(file), kShortName);
  std::size_t keep = byte_budget > overhead ? std::min(file.size(), byte_budget - overhead) : 0;
  // Whole characters only, within both budgets.
  const auto fits = [&](std::size_t bytes) {
    return bytes == 0 || (!(bytes < file.size() && continues_character(file[bytes])) &&
                          utf16_units(file.substr(0, bytes)) + overhead <= unit_budget);
  };
  while (!fits(keep)) --keep;
  std::string name(folder);
  name += '.';
  name += file.substr(0, keep);
  name += '.';
  name += tag;
  name += suffix;
  return name;
}

std::unique_ptr<OutputFile> OutputBatch::open(const std::string& name) {
  auto file = open_target(name);
  if (!file) return nullptr;
  return noting_failures(files_, name, std::move(file));
}

std::unique_ptr<OutputFile> OutputBatch::open_target(const std::string& name) {
  const auto refused = [&](std::string_view cause = {}) {
    files_.note_failure(name, cause);
    return nullptr;
  };
  const std::optional<std::string> target = files_.resolve_links(name);
  if (!target) return refused();
  const FileStatus status = files_.status(*target);
  switch (status.kind) {
    case FileKind::directory:
      return refused(cause_of(EISDIR));
    case FileKind::other: {
      auto device = files_.open_existing(*target);
      return device ? std::move(device) : refused();
    }
    case FileKind::regular:
      if (!status.writable) return refused(cause_of(EACCES));
      break;
    case FileKind::missing:
      break;
  }
  // Two outputs that end at one file, there or not yet, would lose one's content. Names
  // that differ other than in case are one file only where the file's identity says so.
  const std::optional<FileId> id = files_.identity(*target);
  const std::string_view file = path_parts(*target).file;
  for (const Output& output : outputs_) {
    if (output.target == *target || (id && output.id == id)) return refused(cause_of(EEXIST));
    if (equal_ignoring_case(path_parts(output.target).file, file) &&
        (same_file(files_, output.target, *target) ||
         same_entry(files_, output.target, *target, output.temporary))) {
      return refused(cause_of(EEXIST));
    }
  }
  const bool existed = status.kind == FileKind::regular;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string temporary = hidden_name(*target, ".tmp");
    NewFile made = files_.create_new(temporary, existed ? target : std::nullopt);
    if (made.result == NameResult::done) {
      Output& output = outputs_.emplace_back();
      output.name = name;
      output.target = *target;
      output.id = id;
      output.temporary = std::move(temporary);
      return std::move(made.file);
    }
    if (made.result == NameResult::failed) return refused();
  }
  return refused(cause_of(EEXIST));
}

verilog_hex::ImageWriter* OutputBatch::open_image(const std::string& name,
                                                  std::shared_ptr<verilog_hex::BufferPool> pool) {
  auto file = open(name);
  if (!file) return nullptr;
  auto sink = write_in_background(std::move(file));
  writers_.push_back(pool ? std::make_unique<verilog_hex::ImageWriter>(std::move(sink), pool)
                          : std::make_unique<verilog_hex::ImageWriter>(std::move(sink)));
  return writers_.back().get();
}

bool OutputBatch::commit() {
  bool written = true;
  for (const auto& writer : writers_) written = writer->finish() && written;
  writers_.clear();
  if (!written) {
    discard();
    return false;
  }
  // Each folder's lock once, known by what the folder is whatever name reaches it, and
  // all in the order of their identities, so that no run waits for itself or for a
  // run that waits for it. While a run waits, an interrupt ends it as it would any time
  // before the renames: its temporary files go, every old file stays.
  std::vector<std::unique_ptr<FolderLock>> locks;
  for (const Output& output : outputs_) {
    locks.push_back(files_.folder_lock(folder_of(output.target)));
    if (!locks.back()) {
      files_.note_failure(output.name);
      discard();
      return false;
    }
  }
  std::stable_sort(locks.begin(), locks.end(),
                   [](const auto& a, const auto& b) { return a->folder() < b->folder(); });
  locks.erase(std::unique(locks.begin(), locks.end(),
                          [](const auto& a, const auto& b) { return a->folder() == b->folder(); }),
              locks.end());
  for (const auto& lock : locks) {
    if (!lock->take()) {
      files_.note_failure(outputs_.front().name);
      discard();
      return false;
    }
  }
  // From here an interrupt waits until every output has its new name or every old file
  // is back.
  const HeldInterrupts held;
  if (!held) {
    files_.note_failure(outputs_.front().name);
    discard();
    return false;
  }

  // With several files to rename, each old one keeps a second name until all are
  // renamed, so that a failure can put every old one back. Whether a file is old is
  // seen now, under the lock: another run may have made it since it was opened.
  // A file the runner may not replace fails the commit before any second name is made:
  // such a name could not be removed again, and would keep another user's file.
  const bool several = outputs_.size() > 1;
  for (Output& output : outputs_) {
    const FileStatus status = files_.status(output.target);
    output.existed = status.kind == FileKind::regular;
    if (output.existed && !status.replaceable) {
      files_.note_failure(output.name, cause_of(EPERM));
      roll_back();
      return false;
    }
    if (several && output.existed && !make_backup(output)) {
      files_.note_failure(output.name);
      roll_back();
      return false;
    }
  }
  for (Output& output : outputs_) {
    if (!files_.rename(output.temporary, output.target)) {
      files_.note_failure(output.name);
      roll_back();
      return false;
    }
    output.renamed = true;
  }
  for (const Output& output : outputs_) {
    if (!output.backup.empty()) remove_own(output.backup);
  }
  outputs_.clear();
  return true;
}

void OutputBatch::remove_own(const std::string& name) {
  if (!files_.remove(name)) files_.note_left_behind(name);
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
        if (!files_.rename(output->backup, output->target)) files_.note_left_behind(output->backup);
      } else {
        remove_own(output->backup);
      }
    } else if (output->renamed && !output->existed) {
      remove_own(output->target);
    }
    if (!output->renamed) remove_own(output->temporary);
  }
  outputs_.clear();
}

void OutputBatch::discard() {
  for (const Output& output : outputs_) remove_own(output.temporary);
  outputs_.clear();
}

}  // namespace platform
