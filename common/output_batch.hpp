#pragma once

#include <memory>
#include <string>
#include <vector>

#include "file_system.hpp"

namespace verilog_hex {

// Output files that appear whole or not at all. Each is written under a temporary name
// next to the file it replaces, and all are given their names by commit(), after every
// one was written and closed. Until then a file of that name keeps its old content, and
// a batch that is not committed removes its temporary files.
//
// A name that is a link replaces the file it points to. A name that exists and is no
// regular file (a device, a FIFO) is written directly, and so is an existing writable
// file next to which no temporary file can be made.
class OutputBatch {
 public:
  explicit OutputBatch(FileSystem& files) : files_(files) {}
  OutputBatch(const OutputBatch&) = delete;
  OutputBatch& operator=(const OutputBatch&) = delete;
  ~OutputBatch() { discard(); }

  // The file to write the output of that name to; nothing when it cannot be written
  // (a directory in the way, no permission). It must be closed before commit().
  std::unique_ptr<OutputFile> open(const std::string& name);

  // Gives every output its name. On a failure the outputs renamed so far get their old
  // content back, every temporary file is removed, and the result is false.
  bool commit();
  // Removes the temporary files.
  void discard();

 private:
  struct Output {
    std::string target;     // the file replaced, links followed
    std::string temporary;  // empty when written directly
    bool existed = false;
  };

  std::string temporary_name(const std::string& target);
  void roll_back(std::size_t renamed, const std::vector<std::string>& backups);

  FileSystem& files_;
  std::vector<Output> outputs_;
  unsigned names_made_ = 0;
};

}  // namespace verilog_hex
