// The file system of Linux and other POSIX systems.

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/random.h>
#include <sys/sendfile.h>
#include <sys/xattr.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>

#include "file_system.hpp"
#include "interrupts.hpp"
#include "path_parts.hpp"

namespace platform {
namespace {

// How many links in a chain the system itself follows.
constexpr int kMaxLinks = 40;

// How far up a folder lock may be looked for.
constexpr int kMaxFolderDepth = 256;

#ifdef __linux__
// Where the kernel keeps a file's access ACL: named users and groups and the mask.
constexpr const char* kAccessAcl = "system.posix_acl_access";
#endif

// Every byte, from the position where one is given, retried where a signal or a short
// write cut it off.
bool write_all(int fd, std::string_view bytes, std::optional<std::uint64_t> position = {}) {
  while (!bytes.empty()) {
    const ssize_t count =
        position ? ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(*position))
                 : ::write(fd, bytes.data(), bytes.size());
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(count));
    if (position) *position += static_cast<std::uint64_t>(count);
  }
  return true;
}

// As many bytes from the position as one read gives; -1 where the file cannot be read
// there (a pipe).
std::ptrdiff_t read_at_position(int fd, std::uint64_t position, std::span<char> into) {
  for (;;) {
    const ssize_t count = ::pread(fd, into.data(), into.size(), static_cast<off_t>(position));
    if (count >= 0 || errno != EINTR) return count;
  }
}

// The first size bytes of from appended to to inside the kernel: copy_file_range where
// the two files allow it, else sendfile (which writes to any file, a pipe too); nothing
// where neither takes them, before a byte is copied. In parts, so that each call ends
// soon.
std::optional<bool> copy_in_kernel([[maybe_unused]] int from, [[maybe_unused]] int to,
                                   [[maybe_unused]] std::uint64_t size) {
#ifdef __linux__
  constexpr std::uint64_t kPart = 8 << 20;
  bool ranges = true;
  off_t at = 0;
  while (static_cast<std::uint64_t>(at) < size) {
    const auto part =
        static_cast<std::size_t>(std::min(size - static_cast<std::uint64_t>(at), kPart));
    ssize_t count;
    if (ranges) {
      loff_t offset = at;
      count = ::copy_file_range(from, &offset, to, nullptr, part, 0);
      at = offset;
      if (count < 0 && at == 0 &&
          (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
           errno == EBADF)) {
        ranges = false;
        continue;
      }
    } else {
      count = ::sendfile(to, from, &at, part);
      if (count < 0 && at == 0 && (errno == EINVAL || errno == ENOSYS)) return std::nullopt;
    }
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return false;
    if (count == 0) {  // the scratch file ends short of what was written to it
      errno = EIO;
      return false;
    }
  }
  return true;
#else
  return std::nullopt;
#endif
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
  std::ptrdiff_t read_at(std::uint64_t position, std::span<char> into) override {
    return read_at_position(fd_, position, into);
  }
  bool can_read_at() const override { return ::lseek(fd_, 0, SEEK_CUR) >= 0; }

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
  bool write(std::string_view bytes) override { return write_all(fd_, bytes); }
  bool cut_back(std::uint64_t size) override {
    const auto offset = static_cast<off_t>(size);
    return ::ftruncate(fd_, offset) == 0 && ::lseek(fd_, offset, SEEK_SET) == offset;
  }
  std::optional<bool> append_from(verilog_hex::ScratchFile& scratch, std::uint64_t size) override {
    if (scratch.handle() < 0) return std::nullopt;
    return copy_in_kernel(scratch.handle(), fd_, size);
  }
  // A new file is made readable and writable (see create_new); a device is not.
  bool can_rewrite() const override { return final_.has_value(); }
  bool write_at(std::uint64_t position, std::string_view bytes) override {
    return write_all(fd_, bytes, position);
  }
  std::ptrdiff_t read_at(std::uint64_t position, std::span<char> into) override {
    return read_at_position(fd_, position, into);
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
    // Without an ACL to keep, none stays: not even what the folder gives new files.
    if (final_->acl.empty()) {
      if (::fremovexattr(fd_, kAccessAcl) != 0 && errno != ENODATA && errno != ENOTSUP) {
        return false;
      }
    } else if (::fsetxattr(fd_, kAccessAcl, final_->acl.data(), final_->acl.size(), 0) != 0) {
      return false;
    }
#endif
    return ::fchmod(fd_, final_->mode) == 0;
  }

  int fd_;
  std::optional<FinalAttributes> final_;
};

// A file without a name: written at its end, read at any position.
class PosixScratch final : public verilog_hex::ScratchFile {
 public:
  explicit PosixScratch(int fd) : fd_(fd) {}
  ~PosixScratch() override { ::close(fd_); }
  bool write(std::string_view bytes) override { return write_all(fd_, bytes); }
  std::ptrdiff_t read_at(std::uint64_t position, std::span<char> into) override {
    return read_at_position(fd_, position, into);
  }
  bool clear() override { return ::ftruncate(fd_, 0) == 0 && ::lseek(fd_, 0, SEEK_SET) == 0; }
  int handle() const override { return fd_; }

 private:
  int fd_;
};

// Its group or others may write it but not read it.
bool is_drop_box(mode_t mode) {
  return ((mode & S_IWGRP) != 0 && (mode & S_IRGRP) == 0) ||
         ((mode & S_IWOTH) != 0 && (mode & S_IROTH) == 0);
}

FileId id_of(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

// flock() on the folder, which the kernel releases when the run dies.
class PosixFolderLock final : public FolderLock {
 public:
  PosixFolderLock(int fd, FileId folder) : fd_(fd), folder_(folder) {}
  ~PosixFolderLock() override {
    if (fd_ >= 0) ::close(fd_);  // releases the lock
  }
  PosixFolderLock(const PosixFolderLock&) = delete;
  PosixFolderLock& operator=(const PosixFolderLock&) = delete;

  FileId folder() const override { return folder_; }
  // Interrupts are not held here: an ending signal removes the run's files and ends it.
  bool take() override {
    if (fd_ < 0) return true;  // no folder above could be read: the run goes on
    for (;;) {
      if (::flock(fd_, LOCK_EX) == 0) return true;
      if (errno == EINTR) continue;
      // Some network shares and FUSE file systems have no locks; the run goes on.
      return errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL;
    }
  }

 private:
  int fd_;
  FileId folder_;
};

#ifdef __linux__
// An extended attribute's whole value, as read(value, size) reads it: empty where there
// is none (or none possible), nothing when it cannot be read.
template <typename Read>
std::optional<std::string> attribute(Read read) {
  for (;;) {
    const ssize_t size = read(nullptr, 0);
    if (size < 0) {
      if (errno == ENODATA || errno == ENOTSUP) return std::string();
      return std::nullopt;
    }
    std::string value(static_cast<std::size_t>(size), '\0');
    const ssize_t length = read(value.data(), value.size());
    if (length >= 0) {
      value.resize(static_cast<std::size_t>(length));
      return value;
    }
    if (errno != ERANGE) return std::nullopt;  // ERANGE: it grew meanwhile
  }
}
#endif

NameResult name_result(bool done) {
  if (done) return NameResult::done;
  return errno == EEXIST ? NameResult::taken : NameResult::failed;
}

// The permission bits, group and access ACL of an existing file; nothing when it cannot
// be read.
std::optional<FinalAttributes> attributes_of(const std::string& name) {
  struct stat info {};
  if (::stat(name.c_str(), &info) != 0) return std::nullopt;
  FinalAttributes attributes;
  attributes.mode = info.st_mode & 07777;
  attributes.group = info.st_gid;
#ifdef __linux__
  auto acl = attribute([&](char* value, std::size_t size) {
    return ::getxattr(name.c_str(), kAccessAcl, value, size);
  });
  if (!acl) return std::nullopt;
  attributes.acl = std::move(*acl);
#endif
  return attributes;
}

// What the system gives a file made at the name with mode 0666 (0666 less the umask, or
// what the folder's default ACL gives): a file made there to ask, never written. It has
// no name where the file system can make such a file; else it is made at the name and
// removed again, and whoever opens it meanwhile finds nothing. The file that is written
// is made anew, private.
NameResult ask_new_file_attributes(const std::string& name, FinalAttributes& attributes) {
  int fd = -1;
#ifdef O_TMPFILE
  fd = ::open(folder_of(name).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
#endif
  const bool named = fd < 0;
  if (named) fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return name_result(false);
  struct stat info {};
  const bool known = ::fstat(fd, &info) == 0;
  attributes.mode = info.st_mode & 07777;
#ifdef __linux__
  auto acl = attribute(
      [&](char* value, std::size_t size) { return ::fgetxattr(fd, kAccessAcl, value, size); });
#else
  std::optional<std::string> acl = std::string();
#endif
  ::close(fd);
  if ((named && ::unlink(name.c_str()) != 0) || !known || !acl) return NameResult::failed;
  attributes.acl = std::move(*acl);
  return NameResult::done;
}

// Linux's rule for links, FIFOs and devices in sticky folders that everybody may write
// to: such a file is used only when it belongs to the runner or to the folder's owner,
// whatever the system's own protection is set to, since another user may have planted it.
bool may_use(const std::string& name, const struct stat& info) {
  if (info.st_uid == ::geteuid()) return true;
  struct stat folder_info {};
  if (::stat(folder_of(name).c_str(), &folder_info) != 0) return false;
  const bool sticky_for_all = (folder_info.st_mode & S_ISVTX) && (folder_info.st_mode & S_IWOTH);
  return !sticky_for_all || info.st_uid == folder_info.st_uid;
}

// Linux's rule for sticky folders: a name there is removed or replaced only by the
// file's owner, the folder's owner or root. No call asks it without doing it.
bool may_replace(const std::string& name, const struct stat& info) {
  const uid_t runner = ::geteuid();
  if (runner == 0 || info.st_uid == runner) return true;
  struct stat folder_info {};
  if (::stat(folder_of(name).c_str(), &folder_info) != 0) return false;
  return (folder_info.st_mode & S_ISVTX) == 0 || folder_info.st_uid == runner;
}

class PosixFileSystem final : public FileSystem {
 public:
  std::unique_ptr<InputFile> open_input(const std::string& name) override {
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
      if (S_ISDIR(info.st_mode)) errno = EISDIR;
      const int error = errno;
      ::close(fd);
      errno = error;
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
    if (S_ISREG(info.st_mode)) status.size = static_cast<std::uint64_t>(info.st_size);
    status.replaceable = may_replace(name, info);
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
      if (hops == kMaxLinks || !may_use(current, info)) {
        errno = hops == kMaxLinks ? ELOOP : EACCES;
        return std::nullopt;
      }
      std::string target(static_cast<std::size_t>(info.st_size) + 1, '\0');
      const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
      if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return std::nullopt;
      target.resize(static_cast<std::size_t>(length));
      if (target[0] != '/') target.insert(0, path_parts(current).folder);
      // A descriptor's link to a pipe or socket ("pipe:[N]" in /proc/self/fd) names no
      // file: the system reaches the pipe through the link itself, which is written
      // directly, as a FIFO is.
      struct stat named {
      }, reached{};
      if (::lstat(target.c_str(), &named) != 0 && errno == ENOENT &&
          ::stat(current.c_str(), &reached) == 0 &&
          (S_ISFIFO(reached.st_mode) || S_ISSOCK(reached.st_mode))) {
        return current;
      }
      current = std::move(target);
    }
    return std::nullopt;
  }

  std::optional<FileId> identity(const std::string& name) override {
    struct stat info {};
    if (::stat(name.c_str(), &info) != 0) return std::nullopt;
    return id_of(info);
  }

  std::optional<bool> listed(const std::string& name) override {
    const std::string_view file = path_parts(name).file;
    DIR* dir = ::opendir(folder_of(name).c_str());
    if (dir == nullptr) return std::nullopt;
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
      if (file == entry->d_name) {
        found = true;
        break;
      }
    }
    ::closedir(dir);
    return found;
  }

  NewFile create_new(const std::string& name, const std::optional<std::string>& like) override {
    std::optional<FinalAttributes> final_attributes = FinalAttributes();
    if (like) {
      final_attributes = attributes_of(*like);
      if (!final_attributes) return {};
    }
    const HeldInterrupts held;
    if (!held || !remove_when_interrupted(name)) return {};
    const NameResult asked =
        like ? NameResult::done : ask_new_file_attributes(name, *final_attributes);
    const int fd = asked == NameResult::done
                       ? ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600)
                       : -1;
    if (fd < 0) {
      const NameResult result = asked == NameResult::done ? name_result(false) : asked;
      keep_when_interrupted(name);
      return {.file = nullptr, .result = result};
    }
    return {.file = std::make_unique<PosixOutput>(fd, std::move(final_attributes)),
            .result = NameResult::done};
  }

  std::unique_ptr<OutputFile> open_existing(const std::string& name) override {
    // Asked before opening, which waits for a FIFO's reader. Another user cannot put a
    // file of theirs in place of the runner's in a sticky folder meanwhile.
    struct stat seen {};
    if (::stat(name.c_str(), &seen) != 0) return nullptr;
    if (!may_use(name, seen)) {
      errno = EACCES;
      return nullptr;
    }
    // Never cut: a regular file that took the device's place meanwhile is refused.
    const int fd = ::open(name.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISREG(info.st_mode) || S_ISDIR(info.st_mode) ||
        id_of(info) != id_of(seen)) {
      ::close(fd);
      errno = EACCES;  // another file than the one looked at
      return nullptr;
    }
    return std::make_unique<PosixOutput>(fd, std::nullopt);
  }

  std::unique_ptr<verilog_hex::ScratchFile> create_scratch(const std::string& output) override {
    if (auto scratch = scratch_in(folder_of(output))) return scratch;
    return scratch_in(P_tmpdir);  // the system's, whatever the environment says
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

  // A folder that some may write but not read (a drop box) cannot be opened for a lock
  // by them: the nearest folder above it that is none stands for it, "/.." after "/.."
  // as the system resolves them, for its owner too, so that every run writing there
  // takes the same lock. A folder this run cannot read is passed over as well.
  std::unique_ptr<FolderLock> folder_lock(const std::string& folder) override {
    std::string path = folder;
    for (int up = 0; up <= kMaxFolderDepth; ++up) {
      struct stat mode {};
      const bool drop_box = ::stat(path.c_str(), &mode) == 0 && is_drop_box(mode.st_mode);
      const int fd = drop_box ? -1 : ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (fd >= 0) {
        struct stat info {};
        if (::fstat(fd, &info) != 0) {
          ::close(fd);
          return nullptr;
        }
        return std::make_unique<PosixFolderLock>(fd, id_of(info));
      }
      if (!drop_box && errno != EACCES) return nullptr;
      path += path.ends_with('/') ? ".." : "/..";
    }
    struct stat info {};  // not even the root can be read: the run goes on unlocked
    if (::stat(folder.c_str(), &info) != 0) return nullptr;
    return std::make_unique<PosixFolderLock>(-1, id_of(info));
  }

  std::string last_cause() override { return cause_of(errno); }

  std::string unique_text() override {
    unsigned char random[8] = {};
    fill_random(random, sizeof random);
    constexpr std::string_view kCharacters = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string text;
    for (const unsigned char byte : random) text += kCharacters[byte % kCharacters.size()];
    return text;
  }

 private:
  // A scratch file in that folder.
  std::unique_ptr<verilog_hex::ScratchFile> scratch_in(const std::string& path) {
#ifdef O_TMPFILE
    const int unnamed = ::open(path.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (unnamed >= 0) return std::make_unique<PosixScratch>(unnamed);
#endif
    // Made at a name nobody can guess and unnamed at once, with interrupts held between.
    const HeldInterrupts held;
    if (!held) return nullptr;
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string name = path + "/." + unique_text() + ".tmp";
      const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (fd < 0 && errno == EEXIST) continue;
      if (fd < 0) return nullptr;
      if (::unlink(name.c_str()) != 0) {
        ::close(fd);
        return nullptr;
      }
      return std::make_unique<PosixScratch>(fd);
    }
    return nullptr;
  }

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
};

}  // namespace

FileSystem& real_file_system() {
  static PosixFileSystem files;
  return files;
}

}  // namespace platform
