#include "memory_file_system.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "memory_streams.hpp"
#include "path_parts.hpp"
#include "same_file.hpp"

namespace test {
namespace {

using platform::NameResult;

class Input final : public verilog_hex::InputFile {
 public:
  Input(MemoryFileSystem& files, std::string bytes) : files_(files), bytes_(std::move(bytes)) {}
  std::ptrdiff_t read(std::span<char> into) override {
    if (files_.step_fails(Step::read)) return -1;
    const std::size_t count = std::min(into.size(), bytes_.size() - offset_);
    std::memcpy(into.data(), bytes_.data() + offset_, count);
    offset_ += count;
    return static_cast<std::ptrdiff_t>(count);
  }
  std::ptrdiff_t read_at(std::uint64_t position, std::span<char> into) override {
    if (files_.step_fails(Step::read)) return -1;
    if (position >= bytes_.size()) return 0;
    const std::size_t count = std::min(into.size(), bytes_.size() - position);
    std::memcpy(into.data(), bytes_.data() + position, count);
    return static_cast<std::ptrdiff_t>(count);
  }
  bool can_read_at() const override { return true; }

 private:
  MemoryFileSystem& files_;
  std::string bytes_;
  std::size_t offset_ = 0;
};

class Output final : public verilog_hex::OutputFile {
 public:
  Output(MemoryFileSystem& files, std::string name, std::optional<MemoryFile> final_attributes)
      : files_(files), name_(std::move(name)), final_(std::move(final_attributes)) {}
  bool write(std::string_view bytes) override {
    if (files_.step_fails(Step::write)) return false;
    files_.append(name_, bytes);
    return true;
  }
  // Devices cannot be cut back.
  bool cut_back(std::uint64_t size) override {
    return !files_.step_fails(Step::write) && files_.cut_back(name_, size);
  }
  bool close() override {
    if (files_.step_fails(Step::close)) return false;
    return !final_ || files_.finish_new_file(name_, *final_);
  }
  bool can_rewrite() const override { return final_.has_value(); }
  bool write_at(std::uint64_t position, std::string_view bytes) override {
    if (files_.step_fails(Step::write)) return false;
    files_.write_at(name_, position, bytes);
    return true;
  }
  std::ptrdiff_t read_at(std::uint64_t position, std::span<char> into) override {
    if (files_.step_fails(Step::read)) return -1;
    return files_.read_at(name_, position, into);
  }

 private:
  MemoryFileSystem& files_;
  std::string name_;
  std::optional<MemoryFile> final_;
};

class Lock final : public platform::FolderLock {
 public:
  Lock(MemoryFileSystem& files, platform::FileId folder) : files_(files), folder_(folder) {}
  platform::FileId folder() const override { return folder_; }
  bool take() override { return !files_.step_fails(Step::lock); }

 private:
  MemoryFileSystem& files_;
  platform::FileId folder_;
};

bool is_folder_name(const std::string& name) {
  return name.empty() || name == "." || name == ".." || name.ends_with('/');
}

}  // namespace

const char* step_name(Step step) {
  constexpr const char* kNames[] = {"read", "write",  "close",      "create", "link",
                                    "lock", "rename", "permission", "acl"};
  return kNames[static_cast<int>(step)];
}

// Its failures set errno as the system's would, so that a run can say why.
bool MemoryFileSystem::step_fails(Step step) {
  std::lock_guard lock(mutex_);
  const bool fails = ++counts_[static_cast<int>(step)] == failing_count_ && step == failing_step_;
  if (fails) errno = EIO;
  return fails;
}

std::string MemoryFileSystem::last_cause() { return platform::cause_of(errno); }

void MemoryFileSystem::append(const std::string& name, std::string_view bytes) {
  std::lock_guard lock(mutex_);
  if (devices.contains(name)) return;
  MemoryFile& file = files[name];
  if (file.permissions & 077) exposed = true;
  file.bytes += bytes;
}

bool MemoryFileSystem::cut_back(const std::string& name, std::uint64_t size) {
  std::lock_guard lock(mutex_);
  if (devices.contains(name)) return false;
  files[name].bytes.resize(static_cast<std::size_t>(size));
  return true;
}

void MemoryFileSystem::write_at(const std::string& name, std::uint64_t position,
                                std::string_view bytes) {
  std::lock_guard lock(mutex_);
  std::string& file = files[name].bytes;
  const auto at = static_cast<std::size_t>(position);
  if (file.size() < at + bytes.size()) file.resize(at + bytes.size());
  file.replace(at, bytes.size(), bytes);
}

std::ptrdiff_t MemoryFileSystem::read_at(const std::string& name, std::uint64_t position,
                                         std::span<char> into) {
  std::lock_guard lock(mutex_);
  const std::string& file = files[name].bytes;
  if (position >= file.size()) return 0;
  const std::size_t count = std::min(into.size(), file.size() - static_cast<std::size_t>(position));
  std::memcpy(into.data(), file.data() + position, count);
  return static_cast<std::ptrdiff_t>(count);
}

bool MemoryFileSystem::finish_new_file(const std::string& name, const MemoryFile& like) {
  if (step_fails(Step::permission)) return false;
  if (!like.acl.empty() && step_fails(Step::acl)) return false;
  std::lock_guard lock(mutex_);
  MemoryFile& file = files[name];
  file.permissions = like.permissions;
  file.acl = like.acl;
  file.group = like.group;
  return true;
}

bool MemoryFileSystem::plant_stale(const std::string& name, bool& planted_once) {
  if (!stale_names || planted_once) return false;
  planted_once = true;
  files[name] = planted[name] = MemoryFile{"stale\n", 0644, ""};
  return true;
}

std::map<std::string, MemoryFile>::iterator MemoryFileSystem::find(const std::string& name) {
  const auto exact = files.find(name);
  if (exact != files.end() || !ignore_case) return exact;
  return std::find_if(files.begin(), files.end(), [&](const auto& file) {
    return platform::equal_ignoring_case(file.first, name);
  });
}

std::string MemoryFileSystem::canonical(const std::string& name) const {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= name.size()) {
    const std::size_t end = std::min(name.find('/', start), name.size());
    const std::string part = name.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
      const auto link = folder_links.find(part);
      if (end < name.size() && parts.size() == 1 && link != folder_links.end()) {
        parts.back() = link->second;
      }
    }
    start = end + 1;
  }
  std::string joined;
  for (const std::string& part : parts) joined += (joined.empty() ? "" : "/") + part;
  return joined;
}

std::unique_ptr<verilog_hex::InputFile> MemoryFileSystem::open_input(const std::string& name) {
  std::lock_guard lock(mutex_);
  const auto file = find(name);
  if (file == files.end()) {
    errno = directories.contains(name) || is_folder_name(name) ? EISDIR : ENOENT;
    return nullptr;
  }
  return std::make_unique<Input>(*this, file->second.bytes);
}

platform::FileStatus MemoryFileSystem::status(const std::string& name) {
  std::lock_guard lock(mutex_);
  platform::FileStatus status;
  if (directories.contains(name)) {
    status.kind = platform::FileKind::directory;
  } else if (devices.contains(name)) {
    status.kind = platform::FileKind::other;
  } else if (const auto file = find(name); file != files.end()) {
    status.kind = platform::FileKind::regular;
    if (!pipes.contains(name)) status.size = file->second.bytes.size();
    if (!(file->second.permissions & 0200)) return status;  // not writable by its owner
  } else {
    return status;
  }
  status.writable = !read_only.contains(name);
  status.replaceable = !others_files.contains(name);
  return status;
}

std::optional<std::string> MemoryFileSystem::resolve_links(const std::string& name) {
  std::lock_guard lock(mutex_);
  // As Linux, at most 40 links are followed.
  std::string current = name;
  for (int hops = 0;; ++hops) {
    const auto link = links.find(current);
    if (link == links.end()) return current;
    if (hops == 40) return std::nullopt;
    current = link->second;
  }
}

std::optional<platform::FileId> MemoryFileSystem::identity(const std::string& name) {
  const auto target = resolve_links(name);
  if (!target) return std::nullopt;
  std::lock_guard lock(mutex_);
  if (!is_folder_name(*target) && !directories.contains(*target) && !devices.contains(*target) &&
      find(*target) == files.end()) {
    return std::nullopt;
  }
  // Each spelling its own identity where case is ignored: the name as asked.
  return platform::FileId{1, std::hash<std::string>{}(canonical(*target))};
}

std::optional<bool> MemoryFileSystem::listed(const std::string& name) {
  std::lock_guard lock(mutex_);
  const auto [folder, file] = platform::path_parts(name);
  const std::string folder_name = canonical(std::string(folder));
  for (const auto& [stored, bytes] : files) {
    const auto [stored_folder, stored_file] = platform::path_parts(stored);
    if (stored_file == file && canonical(std::string(stored_folder)) == folder_name) return true;
  }
  return false;
}

platform::NewFile MemoryFileSystem::create_new(const std::string& name,
                                               const std::optional<std::string>& like) {
  if (step_fails(Step::create)) return {};
  std::lock_guard lock(mutex_);
  if (refuse_new_files) {
    errno = EACCES;
    return {};
  }
  if (find(name) != files.end() || directories.contains(name) ||
      plant_stale(name, stale_file_planted_)) {
    return {.file = nullptr, .result = NameResult::taken};
  }
  MemoryFile final_attributes;
  if (like) final_attributes = find(*like)->second;
  files[name] = MemoryFile{"", 0600, ""};
  return {.file = std::make_unique<Output>(*this, name, final_attributes),
          .result = NameResult::done};
}

// Made and written as any file here, failing where those steps are to fail.
std::unique_ptr<verilog_hex::ScratchFile> MemoryFileSystem::create_scratch(const std::string&) {
  if (step_fails(Step::create)) return nullptr;
  return memory_scratch(
      [this](std::size_t size) {
        if (step_fails(Step::write)) return true;
        const std::lock_guard lock(mutex_);
        largest_scratch = std::max(largest_scratch, size);
        return false;
      },
      [this] { return step_fails(Step::read); });
}

std::unique_ptr<verilog_hex::OutputFile> MemoryFileSystem::open_existing(const std::string& name) {
  std::lock_guard lock(mutex_);
  if (!devices.contains(name)) return nullptr;
  return std::make_unique<Output>(*this, name, std::nullopt);
}

platform::NameResult MemoryFileSystem::link(const std::string& existing, const std::string& name) {
  if (step_fails(Step::link)) return NameResult::failed;
  std::lock_guard lock(mutex_);
  if (!hard_links) {
    errno = EPERM;
    return NameResult::failed;
  }
  const auto file = find(existing);
  if (file == files.end()) return NameResult::failed;
  if (find(name) != files.end() || plant_stale(name, stale_backup_planted_)) {
    return NameResult::taken;
  }
  files[name] = file->second;  // the old file is never written again, only replaced
  if (others_files.contains(existing)) others_files.insert(name);
  return NameResult::done;
}

platform::NameResult MemoryFileSystem::move_to_new_name(const std::string& from,
                                                        const std::string& to) {
  if (step_fails(Step::rename)) return NameResult::failed;
  std::lock_guard lock(mutex_);
  const auto file = find(from);
  if (file == files.end() || others_files.contains(from)) return NameResult::failed;
  if (find(to) != files.end() || plant_stale(to, stale_backup_planted_)) return NameResult::taken;
  MemoryFile moved = std::move(file->second);
  files.erase(file);
  files[to] = std::move(moved);
  return NameResult::done;
}

bool MemoryFileSystem::rename(const std::string& from, const std::string& to) {
  if (step_fails(Step::rename)) return false;
  std::lock_guard lock(mutex_);
  const auto file = find(from);
  if (file == files.end() || directories.contains(to) || others_files.contains(from) ||
      others_files.contains(to)) {
    errno = file == files.end() ? ENOENT : directories.contains(to) ? EISDIR : EPERM;
    return false;
  }
  MemoryFile moved = std::move(file->second);
  files.erase(file);
  if (const auto replaced = find(to); replaced != files.end()) files.erase(replaced);
  files[to] = std::move(moved);
  return true;
}

bool MemoryFileSystem::remove(const std::string& name) {
  std::lock_guard lock(mutex_);
  const auto file = find(name);
  if (file == files.end() || others_files.contains(name)) {
    errno = file == files.end() ? ENOENT : EPERM;
    return false;
  }
  files.erase(file);
  return true;
}

std::unique_ptr<platform::FolderLock> MemoryFileSystem::folder_lock(const std::string& folder) {
  std::string locked = folder;
  while (drop_boxes.contains(canonical(locked))) locked = canonical(locked + "/..");
  const auto id = identity(locked);
  if (!id) return nullptr;
  return std::make_unique<Lock>(*this, *id);
}

std::string MemoryFileSystem::unique_text() {
  std::lock_guard lock(mutex_);
  char text[16];
  std::snprintf(text, sizeof text, "u%07d", ++names_made_);
  return text;
}

}  // namespace test
