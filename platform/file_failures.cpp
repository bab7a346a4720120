// The failures a run notes, so that it can say which file failed and why.

#include <cstring>

#include "file_system.hpp"

namespace platform {
namespace {

// A file's name as the run knows it, under which its failed steps are noted.
class Noting {
 protected:
  Noting(FileSystem& files, std::string name) : files_(files), name_(std::move(name)) {}
  bool noted(bool done) {
    if (!done) files_.note_failure(name_);
    return done;
  }
  std::ptrdiff_t noted(std::ptrdiff_t count) {
    noted(count >= 0);
    return count;
  }

 private:
  FileSystem& files_;
  std::string name_;
};

class NotedInput final : public InputFile, Noting {
 public:
  NotedInput(FileSystem& files, std::string name, std::unique_ptr<InputFile> file)
      : Noting(files, std::move(name)), file_(std::move(file)) {}
  std::ptrdiff_t read(std::span<char> into) override { return noted(file_->read(into)); }
  std::ptrdiff_t read_at(std::uint64_t position, std::span<char> into) override {
    return noted(file_->read_at(position, into));
  }
  bool can_read_at() const override { return file_->can_read_at(); }

 private:
  std::unique_ptr<InputFile> file_;
};

class NotedOutput final : public OutputFile, Noting {
 public:
  NotedOutput(FileSystem& files, std::string name, std::unique_ptr<OutputFile> file)
      : Noting(files, std::move(name)), file_(std::move(file)) {}
  bool write(std::string_view bytes) override { return noted(file_->write(bytes)); }
  bool cut_back(std::uint64_t size) override { return noted(file_->cut_back(size)); }
  bool close() override { return noted(file_->close()); }
  std::optional<bool> append_from(verilog_hex::ScratchFile& scratch, std::uint64_t size) override {
    const std::optional<bool> appended = file_->append_from(scratch, size);
    if (appended) noted(*appended);
    return appended;
  }
  bool can_rewrite() const override { return file_->can_rewrite(); }
  bool write_at(std::uint64_t position, std::string_view bytes) override {
    return noted(file_->write_at(position, bytes));
  }
  std::ptrdiff_t read_at(std::uint64_t position, std::span<char> into) override {
    return noted(file_->read_at(position, into));
  }

 private:
  std::unique_ptr<OutputFile> file_;
};

class NotedScratch final : public verilog_hex::ScratchFile, Noting {
 public:
  NotedScratch(FileSystem& files, std::string name, std::unique_ptr<verilog_hex::ScratchFile> file)
      : Noting(files, std::move(name)), file_(std::move(file)) {}
  bool write(std::string_view bytes) override { return noted(file_->write(bytes)); }
  std::ptrdiff_t read_at(std::uint64_t position, std::span<char> into) override {
    return noted(file_->read_at(position, into));
  }
  bool clear() override { return noted(file_->clear()); }
  int handle() const override { return file_->handle(); }

 private:
  std::unique_ptr<verilog_hex::ScratchFile> file_;
};

}  // namespace

void FileSystem::note_failure(std::string_view name, std::string_view cause) {
  std::string words = cause.empty() ? last_cause() : std::string(cause);
  const std::lock_guard lock(mutex_);
  if (!first_failure_) first_failure_ = FileFailure{std::string(name), std::move(words)};
}

void FileSystem::note_left_behind(std::string_view name) {
  std::string words = last_cause();
  const std::lock_guard lock(mutex_);
  left_behind_.push_back({std::string(name), std::move(words)});
}

std::optional<FileFailure> FileSystem::first_failure() const {
  const std::lock_guard lock(mutex_);
  return first_failure_;
}

std::vector<FileFailure> FileSystem::left_behind() const {
  const std::lock_guard lock(mutex_);
  return left_behind_;
}

std::string cause_of(int error) { return std::strerror(error); }

std::unique_ptr<InputFile> noting_failures(FileSystem& files, std::string name,
                                           std::unique_ptr<InputFile> file) {
  if (!file) return nullptr;
  return std::make_unique<NotedInput>(files, std::move(name), std::move(file));
}

std::unique_ptr<OutputFile> noting_failures(FileSystem& files, std::string name,
                                            std::unique_ptr<OutputFile> file) {
  if (!file) return nullptr;
  return std::make_unique<NotedOutput>(files, std::move(name), std::move(file));
}

std::unique_ptr<verilog_hex::ScratchFile> noting_failures(
    FileSystem& files, std::string name, std::unique_ptr<verilog_hex::ScratchFile> file) {
  if (!file) return nullptr;
  return std::make_unique<NotedScratch>(files, std::move(name), std::move(file));
}

}  // namespace platform
