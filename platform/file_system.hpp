#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "byte_streams.hpp"

namespace platform {

using verilog_hex::InputFile;
using verilog_hex::OutputFile;

enum class FileKind { missing, regular, directory, other };

struct FileStatus {
  FileKind kind = FileKind::missing;
  bool writable = false;   // of a regular file
  std::uint64_t size = 0;  // of a regular file
  // Its name may be removed or replaced by this runner: not another user's file in a
  // sticky folder.
  bool replaceable = true;
};

// A file step that failed: the file as the run names it, and why, in the system's words.
struct FileFailure {
  std::string name;
  std::string cause;
};

// What an attempt to make a file under a new name came to.
enum class NameResult {
  done,
  taken,   // a file of that name exists: another name may do
  failed,  // no other name would do better
};

struct NewFile {
  std::unique_ptr<OutputFile> file;  // nothing when it could not be made
  NameResult result = NameResult::failed;
};

// What a file or folder is, whatever name reaches it: on Linux its device and inode
// number, on Windows its volume and file index.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t index = 0;
  auto operator<=>(const FileId&) const = default;
};

// A folder's lock, which other runs wait for: released when destroyed, or by the system
// when the run dies.
class FolderLock {
 public:
  virtual ~FolderLock() = default;
  // The folder whose lock this is, so that runs take each lock once and all in one order.
  virtual FileId folder() const = 0;
  // Waits until no other run holds the lock and takes it; false when it cannot be
  // taken. An interrupt while it waits ends the run.
  virtual bool take() = 0;
};

// Everything the tools do with files, so that tests can put an in-memory file system
// in its place and fail any step.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Nothing when the file is missing, unreadable or a directory.
  virtual std::unique_ptr<InputFile> open_input(const std::string& name) = 0;
  // Follows links.
  virtual FileStatus status(const std::string& name) = 0;
  // The name of the file that a chain of links ends at; the name itself when it is no
  // link. Nothing for a loop, a chain longer than the system follows, or a link that
  // the system would not follow for this user to write to.
  virtual std::optional<std::string> resolve_links(const std::string& name) = 0;
  // What the file or folder that the name reaches is, links followed; nothing when it
  // is missing. A file system that ignores case may give one file a different identity
  // under each spelling of its name.
  virtual std::optional<FileId> identity(const std::string& name) = 0;
  // True when the folder's listing holds an entry spelt exactly as the name's last part,
  // false when it does not, nothing when the folder cannot be listed.
  virtual std::optional<bool> listed(const std::string& name) = 0;

  // Creates a file that must not exist yet, readable and writable by its owner only.
  // Its close() gives it the permission bits, group and access ACL of the file named
  // like or, without one, those of a new file. Until it is renamed or removed, an
  // interrupt removes it.
  virtual NewFile create_new(const std::string& name, const std::optional<std::string>& like) = 0;
  // Opens an existing device or FIFO for writing; nothing where it was planted in a
  // shared folder (see resolve_links).
  virtual std::unique_ptr<OutputFile> open_existing(const std::string& name) = 0;
  // A private file for the run's own use, without a name once made, so that nothing is
  // left of it however the run ends: in the folder of the output of that name, so that a
  // full disk there shows while the run writes it, or in the system's temporary folder
  // where none can be made there (a device's folder); nothing when neither can be made.
  virtual std::unique_ptr<verilog_hex::ScratchFile> create_scratch(const std::string& output) = 0;
  // Gives an existing file a second name; failed where the file system has no hard links.
  virtual NameResult link(const std::string& existing, const std::string& name) = 0;
  // Moves a file to a name that must not exist yet.
  virtual NameResult move_to_new_name(const std::string& from, const std::string& to) = 0;
  // Moves a file to a name, replacing a file of that name.
  virtual bool rename(const std::string& from, const std::string& to) = 0;
  virtual bool remove(const std::string& name) = 0;

  // The lock of the folder, not yet taken; nothing when there is none to be had. A
  // folder that some may write but not read (a drop box) shares the lock of the
  // nearest folder above it that is none, whoever runs.
  virtual std::unique_ptr<FolderLock> folder_lock(const std::string& folder) = 0;
  // Letters and digits that nobody can guess, different at every call.
  virtual std::string unique_text() = 0;

  // The system's words for why this thread's last step failed, asked right after it.
  virtual std::string last_cause() = 0;

  // Keeps the run's first failure, which explains the rest, from any thread: the file as
  // the run names it, and the cause given or, without one, last_cause().
  void note_failure(std::string_view name, std::string_view cause = {});
  // Keeps a name of the run's own making that it could not remove, and why.
  void note_left_behind(std::string_view name);
  std::optional<FileFailure> first_failure() const;
  std::vector<FileFailure> left_behind() const;

 private:
  mutable std::mutex mutex_;
  std::optional<FileFailure> first_failure_;
  std::vector<FileFailure> left_behind_;
};

// The system's words for an error number of the C library (errno's).
std::string cause_of(int error);

// The file, as the run names it, noting its first failed step in the file system.
std::unique_ptr<InputFile> noting_failures(FileSystem& files, std::string name,
                                           std::unique_ptr<InputFile> file);
std::unique_ptr<OutputFile> noting_failures(FileSystem& files, std::string name,
                                            std::unique_ptr<OutputFile> file);
std::unique_ptr<verilog_hex::ScratchFile> noting_failures(
    FileSystem& files, std::string name, std::unique_ptr<verilog_hex::ScratchFile> file);

// The platform's own file system.
FileSystem& real_file_system();

}  // namespace platform
