#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace verilog_hex {

// Raw bytes from a file or from memory, read in large blocks from the start to the end.
class InputFile {
 public:
  virtual ~InputFile() = default;
  // The number of bytes read: 0 at the end, -1 on a read error.
  virtual std::ptrdiff_t read(std::span<char> into) = 0;
};

// Raw bytes to a file or to memory.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual bool write(std::string_view bytes) = 0;
  // Releases the file; false when it could not be closed cleanly. Called once.
  virtual bool close() = 0;
};

// Reads the bytes, which must outlive the file.
std::unique_ptr<InputFile> memory_input(std::string_view bytes);
// Appends to the string, which must outlive the file.
std::unique_ptr<OutputFile> memory_output(std::string& target);

enum class FileKind { missing, regular, directory, other };

struct FileStatus {
  FileKind kind = FileKind::missing;
  std::uint32_t permissions = 0;  // of a regular file
  bool writable = false;
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
  // The name of the file that a chain of links ends at; the name itself when it is no link.
  virtual std::string resolve_links(const std::string& name) = 0;
  // True when both names exist and name the same file.
  virtual bool same_file(const std::string& a, const std::string& b) = 0;

  // Creates a file that must not exist yet, with the given permission bits or, without
  // them, the default ones for a new file. Until it is renamed or removed, the real file
  // system removes it when the run is interrupted.
  virtual std::unique_ptr<OutputFile> create_new(const std::string& name,
                                                 std::optional<std::uint32_t> permissions) = 0;
  // Opens an existing file for writing and cuts it to length zero.
  virtual std::unique_ptr<OutputFile> open_existing(const std::string& name) = 0;
  // Gives an existing file a second name.
  virtual bool link(const std::string& existing, const std::string& name) = 0;
  // Moves a file to a name, replacing a file of that name.
  virtual bool rename(const std::string& from, const std::string& to) = 0;
  virtual bool remove(const std::string& name) = 0;

  // Text that no other run going on at the same time gets.
  virtual std::string run_tag() = 0;
  // While deferred, an interrupt waits until the files are in a state it may leave.
  virtual void defer_interrupts(bool deferred) = 0;
};

// The platform's own file system.
FileSystem& real_file_system();

}  // namespace verilog_hex
