#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vh {

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Raw bytes from a file or from memory, readable in large blocks and rewindable.
class ByteSource {
 public:
  // Fails when the file is missing, unreadable or a directory.
  static std::optional<ByteSource> open_file(const std::string& name);
  // The bytes must outlive the source.
  static ByteSource from_memory(std::string_view bytes);

  // Returns the number of bytes read: 0 at the end, -1 on a read error.
  std::ptrdiff_t read(std::span<char> into);
  bool rewind();

 private:
  ByteSource() = default;

  FileHandle file_;
  std::string_view memory_;
  std::size_t offset_ = 0;
};

// Raw bytes to a file or to a string in memory.
class ByteSink {
 public:
  // Creates the file, or cuts an existing one to length zero.
  static std::optional<ByteSink> create_file(const std::string& name);
  // The string must outlive the sink; bytes are appended to it.
  static ByteSink to_memory(std::string& target);

  bool write(std::string_view bytes);
  // Releases the file; false when it could not be closed cleanly.
  bool close();

 private:
  ByteSink() = default;

  FileHandle file_;
  std::string* memory_ = nullptr;
};

// True when both names exist and name the same file.
bool same_existing_file(const std::string& a, const std::string& b);

}  // namespace vh
