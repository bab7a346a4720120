#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "verilog_hex.hpp"

namespace test {

// Messages kept in memory.
struct MemoryConsole final : verilog_hex::Console {
  std::string out_text;
  std::string err_text;
  void out(std::string_view text) override { out_text += text; }
  void err(std::string_view text) override { err_text += text; }
};

// The steps a run takes that the file system can fail.
enum class Step { read, write, close, rename };
inline constexpr Step kSteps[] = {Step::read, Step::write, Step::close, Step::rename};
const char* step_name(Step step);

struct MemoryFile {
  std::string bytes;
  std::uint32_t permissions = 0644;
  bool operator==(const MemoryFile&) const = default;
  friend void PrintTo(const MemoryFile& file, std::ostream* os) {
    *os << testing::PrintToString(file.bytes) << " mode " << std::oct << file.permissions
        << std::dec;
  }
};

// Files in memory, without links. It counts each step and fails the one asked for.
class MemoryFileSystem final : public verilog_hex::FileSystem {
 public:
  std::map<std::string, MemoryFile> files;
  std::set<std::string> directories;
  std::set<std::string> devices;    // exist, are no regular files, and swallow what is written
  std::set<std::string> read_only;  // files that may not be written
  bool refuse_new_files = false;    // as a folder without write permission

  // Fails the k-th step of that kind (from 1) and no other.
  void fail(Step step, int k) {
    failing_step_ = step;
    failing_count_ = k;
  }
  int count(Step step) const { return counts_[static_cast<int>(step)]; }

  std::unique_ptr<verilog_hex::InputFile> open_input(const std::string& name) override;
  verilog_hex::FileStatus status(const std::string& name) override;
  std::string resolve_links(const std::string& name) override { return name; }
  bool same_file(const std::string& a, const std::string& b) override;
  std::unique_ptr<verilog_hex::OutputFile> create_new(
      const std::string& name, std::optional<std::uint32_t> permissions) override;
  std::unique_ptr<verilog_hex::OutputFile> open_existing(const std::string& name) override;
  bool link(const std::string& existing, const std::string& name) override;
  bool rename(const std::string& from, const std::string& to) override;
  bool remove(const std::string& name) override;
  std::string run_tag() override { return "7"; }
  void defer_interrupts(bool) override {}

  // True when this step is to fail; counts it. Thread-safe: writes may come from a
  // writer's own thread.
  bool step_fails(Step step);
  void append(const std::string& name, std::string_view bytes);

 private:
  std::mutex mutex_;
  int counts_[4] = {};
  Step failing_step_ = Step::read;
  int failing_count_ = 0;
};

}  // namespace test
