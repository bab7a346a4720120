// The file system of Linux and other POSIX systems.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <string>

#include "file_system.hpp"

namespace verilog_hex {
namespace {

// The files made by create_new() and not yet renamed or removed. The signal handler
// reads the slots, so a name stays in memory for the whole run once registered.
constexpr std::size_t kMaxPending = 512;
std::array<std::atomic<const char*>, kMaxPending> pending_files{};
std::deque<std::string> pending_names;

// SIGPIPE too: a closed pipe on standard output ends the run like an interrupt.
constexpr std::array kInterrupts = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

extern "C" void remove_pending_files_and_end(int signal_number) {
  for (auto& slot : pending_files) {
    if (const char* name = slot.load(std::memory_order_acquire)) ::unlink(name);
  }
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);  // delivered once the handler returns: the run ends as it would have
}

void catch_interrupts() {
  static bool caught = false;
  if (caught) return;
  caught = true;
  for (const int signal_number : kInterrupts) {
    struct sigaction old {};
    ::sigaction(signal_number, nullptr, &old);
    if (old.sa_handler == SIG_IGN) continue;  // nohup and the like stay in force
    struct sigaction action {};
    action.sa_handler = remove_pending_files_and_end;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal_number, &action, nullptr);
  }
}

bool track(const std::string& name) {
  catch_interrupts();
  for (auto& slot : pending_files) {
    if (slot.load(std::memory_order_relaxed) == nullptr) {
      slot.store(pending_names.emplace_back(name).c_str(), std::memory_order_release);
      return true;
    }
  }
  return false;
}

void untrack(const std::string& name) {
  for (auto& slot : pending_files) {
    const char* tracked = slot.load(std::memory_order_relaxed);
    if (tracked != nullptr && name == tracked) slot.store(nullptr, std::memory_order_release);
  }
}

class PosixInput final : public InputFile {
 public:
  explicit PosixInput(int fd) : fd_(fd) {}
  ~PosixInput() override { ::close(fd_); }
  std::ptrdiff_t read(std::span<char> into) override {
    for (;;) {
      const ssize_t count = ::read(fd_, into.data(), into.size());
      if (count >= 0 || errno != EINTR) return count;
    }
  }

 private:
  int fd_;
};

class PosixOutput final : public OutputFile {
 public:
  explicit PosixOutput(int fd) : fd_(fd) {}
  ~PosixOutput() override {
    if (fd_ >= 0) ::close(fd_);
  }
  bool write(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t count = ::write(fd_, bytes.data(), bytes.size());
      if (count < 0 && errno == EINTR) continue;
      if (count <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
  }
  bool close() override {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

class PosixFileSystem final : public FileSystem {
 public:
  PosixFileSystem() {
    // A file-size limit makes a write fail instead of ending the run unreported.
    ::signal(SIGXFSZ, SIG_IGN);
  }

  std::unique_ptr<InputFile> open_input(const std::string& name) override {
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
      ::close(fd);
      return nullptr;
    }
    return std::make_unique<PosixInput>(fd);
  }

  FileStatus status(const std::string& name) override {
    struct stat info {};
    if (::stat(name.c_str(), &info) != 0) return {};
    FileStatus status;
    status.kind = S_ISREG(info.st_mode)   ? FileKind::regular
                  : S_ISDIR(info.st_mode) ? FileKind::directory
                                          : FileKind::other;
    status.permissions = info.st_mode & 07777;
    status.writable = ::access(name.c_str(), W_OK) == 0;
    return status;
  }

  std::string resolve_links(const std::string& name) override {
    std::string current = name;
    for (int depth = 0; depth < 40; ++depth) {
      struct stat info {};
      if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
      std::string target(static_cast<std::size_t>(info.st_size) + 1, '\0');
      const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
      if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return current;
      target.resize(static_cast<std::size_t>(length));
      if (target[0] != '/') {
        const std::size_t slash = current.rfind('/');
        target.insert(0, slash == std::string::npos ? "" : current.substr(0, slash + 1));
      }
      current = std::move(target);
    }
    return current;
  }

  bool same_file(const std::string& a, const std::string& b) override {
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
  }

  std::unique_ptr<OutputFile> create_new(const std::string& name,
                                         std::optional<std::uint32_t> permissions) override {
    if (!track(name)) return nullptr;
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      untrack(name);
      return nullptr;
    }
    if (permissions) ::fchmod(fd, static_cast<mode_t>(*permissions));
    return std::make_unique<PosixOutput>(fd);
  }

  std::unique_ptr<OutputFile> open_existing(const std::string& name) override {
    const int fd = ::open(name.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixOutput>(fd);
  }

  bool link(const std::string& existing, const std::string& name) override {
    return ::link(existing.c_str(), name.c_str()) == 0;
  }

  bool rename(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) return false;
    untrack(from);
    return true;
  }

  bool remove(const std::string& name) override {
    const bool removed = ::unlink(name.c_str()) == 0;
    untrack(name);
    return removed;
  }

  std::string run_tag() override { return std::to_string(::getpid()); }

  void defer_interrupts(bool deferred) override {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal_number : kInterrupts) sigaddset(&set, signal_number);
    ::pthread_sigmask(deferred ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
  }
};

}  // namespace

FileSystem& real_file_system() {
  static PosixFileSystem files;
  return files;
}

}  // namespace verilog_hex
