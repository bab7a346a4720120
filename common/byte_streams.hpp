#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace verilog_hex {

// Raw bytes from a file or from memory, read in large blocks from the start to the end.
// The library reads and writes files only through these; where they come from is the
// caller's business.
class InputFile {
 public:
  virtual ~InputFile() = default;
  // The number of bytes read: 0 at the end, -1 on a read error.
  virtual std::ptrdiff_t read(std::span<char> into) = 0;
  // The same from a position, for files that can be read at any (-1 where not, as from
  // a pipe); reading on with read() is not affected.
  virtual std::ptrdiff_t read_at(std::uint64_t, std::span<char>) { return -1; }
  // True where read_at() can read at all: a file, not a pipe.
  virtual bool can_read_at() const { return false; }
};

class ScratchFile;

// Raw bytes to a file or to memory.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual bool write(std::string_view bytes) = 0;
  // Cuts the file back to its first size bytes, the next write going on from there;
  // false where that cannot be done (a device, a pipe).
  virtual bool cut_back(std::uint64_t size) = 0;
  // Releases the file; false when it could not be closed cleanly, or when a new file
  // could not be given its final permissions. Called once.
  virtual bool close() = 0;
  // Appends the first size bytes of the scratch file, copied inside the system without
  // passing through the program: nothing where the system cannot (nothing is written
  // then), else whether it did.
  virtual std::optional<bool> append_from(ScratchFile& /*scratch*/, std::uint64_t /*size*/) {
    return std::nullopt;
  }
  // True for a new file, which can be read back and written again at any position; not
  // for a device or a pipe.
  virtual bool can_rewrite() const { return false; }
  // Writes the bytes from the position over what is there; the next write() goes on
  // where it would have.
  virtual bool write_at(std::uint64_t /*position*/, std::string_view /*bytes*/) { return false; }
  // The number of bytes read from the position: 0 at the end, -1 on a read error.
  virtual std::ptrdiff_t read_at(std::uint64_t /*position*/, std::span<char> /*into*/) {
    return -1;
  }
};

// A private file for a run's own use, gone once released or however the run ends:
// written at its end, read back from any position, emptied.
class ScratchFile {
 public:
  virtual ~ScratchFile() = default;
  virtual bool write(std::string_view bytes) = 0;
  // The number of bytes read from the position: 0 at the end, -1 on a read error.
  virtual std::ptrdiff_t read_at(std::uint64_t position, std::span<char> into) = 0;
  // Empties the file, the next write going to its start.
  virtual bool clear() = 0;
  // The system's handle of the file, for an output to copy from it inside the system;
  // -1 where it has none.
  virtual int handle() const { return -1; }
};

}  // namespace verilog_hex
