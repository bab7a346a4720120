#include "memory_file_system.hpp"

#include <algorithm>
#include <cstring>

namespace test {
namespace {

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

 private:
  MemoryFileSystem& files_;
  std::string bytes_;
  std::size_t offset_ = 0;
};

class Output final : public verilog_hex::OutputFile {
 public:
  Output(MemoryFileSystem& files, std::string name) : files_(files), name_(std::move(name)) {}
  bool write(std::string_view bytes) override {
    if (files_.step_fails(Step::write)) return false;
    files_.append(name_, bytes);
    return true;
  }
  bool close() override { return !files_.step_fails(Step::close); }

 private:
  MemoryFileSystem& files_;
  std::string name_;
};

}  // namespace

const char* step_name(Step step) {
  switch (step) {
    case Step::read:
      return "read";
    case Step::write:
      return "write";
    case Step::close:
      return "close";
    case Step::rename:
      return "rename";
  }
  return "?";
}

bool MemoryFileSystem::step_fails(Step step) {
  std::lock_guard lock(mutex_);
  return ++counts_[static_cast<int>(step)] == failing_count_ && step == failing_step_;
}

void MemoryFileSystem::append(const std::string& name, std::string_view bytes) {
  std::lock_guard lock(mutex_);
  if (devices.contains(name)) return;
  files[name].bytes += bytes;
}

std::unique_ptr<verilog_hex::InputFile> MemoryFileSystem::open_input(const std::string& name) {
  std::lock_guard lock(mutex_);
  const auto file = files.find(name);
  if (file == files.end()) return nullptr;
  return std::make_unique<Input>(*this, file->second.bytes);
}

verilog_hex::FileStatus MemoryFileSystem::status(const std::string& name) {
  std::lock_guard lock(mutex_);
  verilog_hex::FileStatus status;
  if (directories.contains(name)) {
    status.kind = verilog_hex::FileKind::directory;
  } else if (devices.contains(name)) {
    status.kind = verilog_hex::FileKind::other;
  } else if (const auto file = files.find(name); file != files.end()) {
    status.kind = verilog_hex::FileKind::regular;
    status.permissions = file->second.permissions;
  } else {
    return status;
  }
  status.writable = !read_only.contains(name);
  return status;
}

bool MemoryFileSystem::same_file(const std::string& a, const std::string& b) {
  std::lock_guard lock(mutex_);
  return a == b && files.contains(a);
}

std::unique_ptr<verilog_hex::OutputFile> MemoryFileSystem::create_new(
    const std::string& name, std::optional<std::uint32_t> permissions) {
  std::lock_guard lock(mutex_);
  if (refuse_new_files || files.contains(name) || directories.contains(name)) return nullptr;
  files[name] = MemoryFile{"", permissions.value_or(0644)};
  return std::make_unique<Output>(*this, name);
}

std::unique_ptr<verilog_hex::OutputFile> MemoryFileSystem::open_existing(const std::string& name) {
  std::lock_guard lock(mutex_);
  if (devices.contains(name)) return std::make_unique<Output>(*this, name);
  const auto file = files.find(name);
  if (file == files.end() || read_only.contains(name)) return nullptr;
  file->second.bytes.clear();
  return std::make_unique<Output>(*this, name);
}

bool MemoryFileSystem::link(const std::string& existing, const std::string& name) {
  std::lock_guard lock(mutex_);
  const auto file = files.find(existing);
  if (file == files.end() || files.contains(name)) return false;
  files[name] = file->second;  // the old file is never written again, only replaced
  return true;
}

bool MemoryFileSystem::rename(const std::string& from, const std::string& to) {
  if (step_fails(Step::rename)) return false;
  std::lock_guard lock(mutex_);
  const auto file = files.find(from);
  if (file == files.end()) return false;
  MemoryFile moved = std::move(file->second);
  files.erase(file);
  files[to] = std::move(moved);
  return true;
}

bool MemoryFileSystem::remove(const std::string& name) {
  std::lock_guard lock(mutex_);
  return files.erase(name) == 1;
}

}  // namespace test
