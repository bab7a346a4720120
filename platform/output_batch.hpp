#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "buffer_sink.hpp"
#include "file_system.hpp"
#include "image_writer.hpp"

namespace platform {

// Output files that appear whole or not at all. Each is written under a hidden temporary
// name next to the file it replaces, and all are given their names by commit(), after
// every one was written and closed. Until then a file of that name keeps its old content,
// and a batch that is not committed removes its temporary files. Each failure is noted
// in the file system under the output's name as the run gave it.
//
// A regular file is never written in place: where no temporary file can be made next to
// it, open() refuses. A name that is a link replaces the file it points to. A device or a
// FIFO is written directly.
class OutputBatch {
 public:
  explicit OutputBatch(FileSystem& files) : files_(files) {}
  OutputBatch(const OutputBatch&) = delete;
  OutputBatch& operator=(const OutputBatch&) = delete;
  // The writers are closed before the temporary files they wrote go.
  ~OutputBatch() {
    writers_.clear();
    discard();
  }

  // The file to write the output of that name to; nothing when it cannot be written
  // (a directory in the way, no permission, a link not to be followed, a file that
  // another output of the batch names already). It must be closed before commit().
  std::unique_ptr<OutputFile> open(const std::string& name);

  // A VerilogHex image of that name, written on the writer thread (with buffers from
  // the pool, where one is given) and owned by the batch, which finishes it before the
  // commit; nothing when it cannot be written, as for open().
  verilog_hex::ImageWriter* open_image(const std::string& name,
                                       std::shared_ptr<verilog_hex::BufferPool> pool = nullptr);

  // Finishes every image handed out, then gives every output its name, under the lock
  // of each folder, so that runs writing to the same names take turns. On any failure
  // every old file is put back under its name, new ones are removed with every
  // temporary file, and the result is false.
  bool commit();
  // Removes the temporary files.
  void discard();

 private:
  struct Output {
    std::string name;          // as the run named it
    std::string target;        // the file replaced, links followed
    std::optional<FileId> id;  // its identity when opened, where it was there
    std::string temporary;     // empty when written directly
    std::string backup;        // the old file's second name while the batch is committed
    bool existed = false;      // when the commit began
    bool moved_aside = false;  // the backup is the old file's only name
    bool renamed = false;
  };

  // open() but for noting the file's failures under its name.
  std::unique_ptr<OutputFile> open_target(const std::string& name);
  std::string hidden_name(const std::string& target, std::string_view suffix);
  // Removes a name the batch made, noting it where it stays.
  void remove_own(const std::string& name);
  bool make_backup(Output& output);
  void roll_back();

  FileSystem& files_;
  std::vector<Output> outputs_;
  std::vector<std::unique_ptr<verilog_hex::ImageWriter>> writers_;
};

}  // namespace platform
