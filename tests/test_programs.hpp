#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "test_files.hpp"

namespace test {

struct ProgramResult {
  std::string out;
  std::string err;
  int status = -1;  // the exit status; -1 when it did not exit
  int signal = 0;   // the signal that ended it, if one did
  bool timed_out = false;
};

// How long a program may run before it counts as hung.
inline constexpr std::chrono::seconds kTimeLimit{120};

// A program started and not yet waited for.
class StartedProgram {
 public:
  StartedProgram(const std::string& program, const std::vector<std::string>& args,
                 const std::filesystem::path& dir);
  int pid() const { return pid_; }
  // Waits for it to end.
  ProgramResult finish();

 private:
  TempDir capture_;  // outside the working folder, so it never shows among its files
  int pid_ = -1;
};

// Runs a program with the given arguments in the folder and captures what it prints.
ProgramResult run_program(const std::string& program, const std::vector<std::string>& args,
                          const std::filesystem::path& dir);

// What a shell command prints.
std::string command_output(const std::string& command);

// An exFAT file system on a loop device, mounted through FUSE as many systems mount a
// stick (which needs root); unmounted again when done.
class ExfatStick {
 public:
  explicit ExfatStick(const std::filesystem::path& dir);
  ~ExfatStick();
  ExfatStick(const ExfatStick&) = delete;
  ExfatStick& operator=(const ExfatStick&) = delete;
  explicit operator bool() const { return mounted_; }
  const std::filesystem::path& path() const { return mount_; }

 private:
  std::filesystem::path mount_;
  std::string device_;
  bool mounted_ = false;
};

}  // namespace test
