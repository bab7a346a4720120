// The file system of Linux and other POSIX systems.

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/random.h>
#include <sys/xattr.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "file_system.hpp"
#include "interrupts.hpp"
#include "path_parts.hpp"

namespace platform {
namespace {

// How many links in a chain the system itself follows.
constexpr int kMaxLinks = 40;

#ifdef __linux__
// Where the kernel keeps a file's access ACL: named users and groups and the mask.
constexpr const char* kAccessAcl = "system.posix_acl_access";
#endif

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

// What a new file is given when it is closed, before it is renamed into place.
struct FinalAttributes {
  mode_t mode = 0;
  std::optional<gid_t> group;  // the replaced file's, where the runner may keep it
  std::string acl;             // empty without an access ACL
};

class PosixOutput final : public OutputFile {
 public:
  PosixOutput(int fd, std::optional<FinalAttributes> final_attributes)
      : fd_(fd), final_(std::move(final_attributes)) {}
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
    const bool finished = !final_ || apply_final_attributes();
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 && finished;
  }

 private:
  // The group first, as a change of group clears set-id bits; the ACL before the mode,
  // whose group bits are the ACL's mask.
  bool apply_final_attributes() {
    if (final_->group && ::fchown(fd_, static_cast<uid_t>(-1), *final_->group) != 0 &&
        errno != EPERM) {
      return false;
    }
#ifdef __linux__
    if (!final_->acl.empty() &&
        ::fsetxattr(fd_, kAccessAcl, final_->acl.data(), final_->acl.size(), 0) != 0) {
      return false;
    }
#endif
    return ::fchmod(fd_, final_->mode) == 0;
  }

  int fd_;
  std::optional<FinalAttributes> final_;
};

class PosixFolderLock final : public FolderLock {
 public:
  explicit PosixFolderLock(int fd) : fd_(fd) {}
  ~PosixFolderLock() override {
    if (fd_ >= 0) ::close(fd_);  // releases the lock
  }
  PosixFolderLock(const PosixFolderLock&) = delete;
  PosixFolderLock& operator=(const PosixFolderLock&) = delete;

 private:
  int fd_;
};

// The permission bits, group and access ACL of an existing file; nothing when it cannot
// be read.
std::optional<FinalAttributes> attributes_of(const std::string& name) {
  struct stat info {};
  if (::stat(name.c_str(), &info) != 0) return std::nullopt;
  FinalAttributes attributes;
  attributes.mode = info.st_mode & 07777;
  attributes.group = info.st_gid;
#ifdef __linux__
  for (;;) {
    const ssize_t size = ::getxattr(name.c_str(), kAccessAcl, nullptr, 0);
    if (size < 0) {
      if (errno == ENODATA || errno == ENOTSUP) break;  // no ACL, or none possible here
      return std::nullopt;
    }
    attributes.acl.resize(static_cast<std::size_t>(size));
    const ssize_t read =
        ::getxattr(name.c_str(), kAccessAcl, attributes.acl.data(), attributes.acl.size());
    if (read >= 0) {
      attributes.acl.resize(static_cast<std::size_t>(read));
      break;
    }
    if (errno != ERANGE) return std::nullopt;  // ERANGE: it grew meanwhile
  }
#endif
  return attributes;
}

// Linux's rule for links in sticky folders that everybody may write to: such a link
// is followed only when it belongs to the runner or to the folder's owner.
bool may_follow(const std::string& link, const struct stat& link_info) {
  if (link_info.st_uid == ::geteuid()) return true;
  const std::string_view folder = path_parts(link).folder;
  struct stat folder_info {};
  if (::stat(folder.empty() ? "." : std::string(folder).c_str(), &folder_info) != 0) return false;
  const bool sticky_for_all = (folder_info.st_mode & S_ISVTX) && (folder_info.st_mode & S_IWOTH);
  return !sticky_for_all || link_info.st_uid == folder_info.st_uid;
}

NameResult name_result(bool done) {
  if (done) return NameResult::done;
  return errno == EEXIST ? NameResult::taken : NameResult::failed;
}

class PosixFileSystem final : public FileSystem {
 public:
  PosixFileSystem() {
    // The mask is read once, before any thread could make a file meanwhile.
    umask_ = ::umask(0);
    ::umask(umask_);
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
    status.writable = ::access(name.c_str(), W_OK) == 0;
    return status;
  }

  std::optional<std::string> resolve_links(const std::string& name) override {
    std::string current = name;
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
      struct stat info {};
      if (::lstat(current.c_str(), &info) != 0) {
        if (errno == ELOOP) return std::nullopt;
        return current;  // missing, or failing later where it is used
      }
      if (!S_ISLNK(info.st_mode)) return current;
      if (hops == kMaxLinks || !may_follow(current, info)) return std::nullopt;
      std::string target(static_cast<std::size_t>(info.st_size) + 1, '\0');
      const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
      if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return std::nullopt;
      target.resize(static_cast<std::size_t>(length));
      if (target[0] != '/') target.insert(0, path_parts(current).folder);
      current = std::move(target);
    }
    return std::nullopt;
  }

  bool same_file(const std::string& a, const std::string& b) override {
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
  }

  NewFile create_new(const std::string& name, const std::optional<std::string>& like) override {
    std::optional<FinalAttributes> final_attributes;
    if (like) {
      final_attributes = attributes_of(*like);
      if (!final_attributes) return {};
    } else {
      final_attributes.emplace().mode = static_cast<mode_t>(0666 & ~umask_);
    }
    const HeldInterrupts held;
    if (!held || !remove_when_interrupted(name)) return {};
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      const NameResult result = name_result(false);
      keep_when_interrupted(name);
      return {.file = nullptr, .result = result};
    }
    return {.file = std::make_unique<PosixOutput>(fd, std::move(final_attributes)),
            .result = NameResult::done};
  }

  std::unique_ptr<OutputFile> open_existing(const std::string& name) override {
    // Never cut: a regular file that took the device's place meanwhile is refused.
    const int fd = ::open(name.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)) {
      ::close(fd);
      return nullptr;
    }
    return std::make_unique<PosixOutput>(fd, std::nullopt);
  }

  NameResult link(const std::string& existing, const std::string& name) override {
    return name_result(::link(existing.c_str(), name.c_str()) == 0);
  }

  NameResult move_to_new_name(const std::string& from, const std::string& to) override {
#ifdef __linux__
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
      return NameResult::done;
    }
    if (errno != EINVAL && errno != ENOSYS) return name_result(false);
#endif
    // Where the file system cannot refuse to replace, a name seen free is taken.
    struct stat info {};
    if (::lstat(to.c_str(), &info) == 0) return NameResult::taken;
    if (errno != ENOENT) return NameResult::failed;
    return name_result(::rename(from.c_str(), to.c_str()) == 0);
  }

  bool rename(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) return false;
    keep_when_interrupted(from);
    return true;
  }

  bool remove(const std::string& name) override {
    const bool removed = ::unlink(name.c_str()) == 0;
    keep_when_interrupted(name);
    return removed;
  }

  std::unique_ptr<FolderLock> lock_folder(const std::string& folder) override {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
      // A folder that may be written but not read cannot be locked; the run goes on.
      return errno == EACCES ? std::make_unique<PosixFolderLock>(-1) : nullptr;
    }
    auto lock = std::make_unique<PosixFolderLock>(fd);
    for (;;) {
      if (::flock(fd, LOCK_EX) == 0) return lock;
      if (errno == EINTR) continue;
      // Some network shares and FUSE file systems have no locks; the run goes on.
      if (errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL) return lock;
      return nullptr;
    }
  }

  std::string unique_text() override {
    unsigned char random[8] = {};
    fill_random(random, sizeof random);
    constexpr std::string_view kCharacters = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string text;
    for (const unsigned char byte : random) text += kCharacters[byte % kCharacters.size()];
    return text;
  }

 private:
  static void fill_random(unsigned char* bytes, std::size_t size) {
#ifdef __linux__
    if (::getrandom(bytes, size, 0) == static_cast<ssize_t>(size)) return;
#else
    ::arc4random_buf(bytes, size);
    return;
#endif
    // Without the kernel's randomness: still different every time, and retried on a clash.
    static std::uint64_t counter = 0;
    std::uint64_t mixed =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (static_cast<std::uint64_t>(::getpid()) << 32) ^ ++counter;
    for (std::size_t i = 0; i < size; ++i) {
      mixed = mixed * 6364136223846793005u + 1442695040888963407u;
      bytes[i] = static_cast<unsigned char>(mixed >> 56);
    }
  }

  mode_t umask_ = 022;
};

}  // namespace

FileSystem& real_file_system() {
  static PosixFileSystem files;
  return files;
}

}  // namespace platform
