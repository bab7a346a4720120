#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "console.hpp"
#include "file_system.hpp"

namespace test {

// Messages kept in memory.
struct MemoryConsole final : platform::Console {
  std::string out_text;
  std::string err_text;
  void out(std::string_view text) override { out_text += text; }
  void err(std::string_view text) override { err_text += text; }
};

// The steps a run takes that the file system can fail. A rename is also a move to a
// new name; permission and acl are what a new file's close gives it.
enum class Step { read, write, close, create, link, lock, rename, permission, acl };
inline constexpr Step kSteps[] = {Step::read,   Step::write,      Step::close,
                                  Step::create, Step::link,       Step::lock,
                                  Step::rename, Step::permission, Step::acl};
const char* step_name(Step step);

struct MemoryFile {
  // Written as {bytes}, {bytes, mode} or {bytes, mode, acl} in the tables.
  MemoryFile(std::string file_bytes = {}, std::uint32_t mode = 0644, std::string file_acl = {})
      : bytes(std::move(file_bytes)), permissions(mode), acl(std::move(file_acl)) {}
  std::string bytes;
  std::uint32_t permissions;
  std::string acl;          // named entries, as getfacl shows them
  std::uint32_t group = 0;  // 0: the one every file here has
  bool operator==(const MemoryFile&) const = default;
  friend void PrintTo(const MemoryFile& file, std::ostream* os) {
    *os << testing::PrintToString(file.bytes) << " mode " << std::oct << file.permissions
        << std::dec;
    if (!file.acl.empty()) *os << " acl " << file.acl;
  }
};

// Files in memory. It counts each step and fails the one asked for.
class MemoryFileSystem final : public platform::FileSystem {
 public:
  std::map<std::string, MemoryFile> files;
  std::map<std::string, std::string> links;  // name to the name it points to
  std::set<std::string> directories;
  std::set<std::string> devices;     // exist, are no regular files, and swallow what is written
  std::set<std::string> read_only;   // files that may not be written, whatever their mode says
  std::set<std::string> pipes;       // files read as from a pipe, of no size known ahead
  std::set<std::string> drop_boxes;  // folders that some may write but not read
  // Another user's files in a sticky folder, under each of their names: written, linked,
  // but neither removed nor replaced.
  std::set<std::string> others_files;
  bool refuse_new_files = false;  // as a folder without write permission
  bool hard_links = true;         // false as on exFAT
  // The first new file's name and the first backup's name are taken by a stale file,
  // as if another run or user had planted them.
  bool stale_names = false;
  std::map<std::string, MemoryFile> planted;  // what stale_names put there
  bool exposed = false;                       // a file was written while others could read it
  // As exFAT through FUSE: names found in any case, each spelling a file identity of
  // its own, the listing showing the spelling the file was made with.
  bool ignore_case = false;
  // Folders reached under a second name, as through a link to a folder ("alias" to "real").
  std::map<std::string, std::string> folder_links;
  std::size_t largest_scratch = 0;  // the most bytes a scratch file held

  // Fails the k-th step of that kind (from 1) and no other.
  void fail(Step step, int k) {
    failing_step_ = step;
    failing_count_ = k;
  }
  int count(Step step) const { return counts_[static_cast<int>(step)]; }

  std::unique_ptr<verilog_hex::InputFile> open_input(const std::string& name) override;
  platform::FileStatus status(const std::string& name) override;
  std::optional<std::string> resolve_links(const std::string& name) override;
  std::optional<platform::FileId> identity(const std::string& name) override;
  std::optional<bool> listed(const std::string& name) override;
  platform::NewFile create_new(const std::string& name,
                               const std::optional<std::string>& like) override;
  std::unique_ptr<verilog_hex::OutputFile> open_existing(const std::string& name) override;
  std::unique_ptr<verilog_hex::ScratchFile> create_scratch(const std::string& output) override;
  platform::NameResult link(const std::string& existing, const std::string& name) override;
  platform::NameResult move_to_new_name(const std::string& from, const std::string& to) override;
  bool rename(const std::string& from, const std::string& to) override;
  bool remove(const std::string& name) override;
  std::unique_ptr<platform::FolderLock> folder_lock(const std::string& folder) override;
  std::string unique_text() override;
  std::string last_cause() override;

  // True when this step is to fail; counts it. Thread-safe: writes may come from a
  // writer's own thread.
  bool step_fails(Step step);
  void append(const std::string& name, std::string_view bytes);
  bool cut_back(const std::string& name, std::uint64_t size);
  // Over the bytes from the position, and from there back: a new file's, never a device's.
  void write_at(const std::string& name, std::uint64_t position, std::string_view bytes);
  std::ptrdiff_t read_at(const std::string& name, std::uint64_t position, std::span<char> into);
  // What a new file's close gives it; false when a step of it fails.
  bool finish_new_file(const std::string& name, const MemoryFile& like);

 private:
  bool plant_stale(const std::string& name, bool& planted_once);
  // The file of that name, in any case where case is ignored.
  std::map<std::string, MemoryFile>::iterator find(const std::string& name);
  // The name with its "." and empty parts dropped, ".." taken back and folder links
  // followed.
  std::string canonical(const std::string& name) const;

  std::mutex mutex_;
  int counts_[std::size(kSteps)] = {};
  Step failing_step_ = Step::read;
  int failing_count_ = 0;
  int names_made_ = 0;
  bool stale_file_planted_ = false;
  bool stale_backup_planted_ = false;
};

}  // namespace test
