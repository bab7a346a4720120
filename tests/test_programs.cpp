#include "test_programs.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

namespace test {

StartedProgram::StartedProgram(const std::string& program, const std::vector<std::string>& args,
                               const std::filesystem::path& dir) {
  const std::string out_path = (capture_.path() / "stdout").string();
  const std::string err_path = (capture_.path() / "stderr").string();
  std::vector<char*> argv;
  static std::string emulator = PROGRAM_EMULATOR;
  if (!emulator.empty() && program.starts_with(BUILT_PROGRAMS_DIR)) argv.push_back(emulator.data());
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  pid_ = fork();
  if (pid_ == 0) {
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0 || chdir(dir.c_str()) != 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execvp(argv[0], argv.data());
    _exit(127);
  }
}

ProgramResult StartedProgram::finish() {
  ProgramResult result;
  int status = 0;
  // A program that hangs is ended, and shows as a failure with status -1.
  const auto deadline = std::chrono::steady_clock::now() + kTimeLimit;
  while (pid_ > 0) {
    const pid_t ended = waitpid(pid_, &status, WNOHANG);
    if (ended == pid_) {
      if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
      if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
      break;
    }
    if (ended < 0) break;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      result.timed_out = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  pid_ = -1;
  result.out = read_file(capture_.path() / "stdout");
  result.err = read_file(capture_.path() / "stderr");
  return result;
}

ProgramResult run_program(const std::string& program, const std::vector<std::string>& args,
                          const std::filesystem::path& dir) {
  return StartedProgram(program, args, dir).finish();
}

std::string command_output(const std::string& command) {
  std::string text;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    while (const std::size_t count = std::fread(buffer, 1, sizeof buffer, pipe)) {
      text.append(buffer, count);
    }
    pclose(pipe);
  }
  return text;
}

ExfatStick::ExfatStick(const std::filesystem::path& dir) : mount_(dir / "stick") {
  const std::string image = (dir / "stick.img").string();
  std::filesystem::create_directory(mount_);
  if (std::system(("truncate -s 16M '" + image + "' && mkfs.exfat '" + image + "' >/dev/null 2>&1")
                      .c_str()) != 0) {
    return;
  }
  device_ = command_output("losetup -f --show '" + image + "' 2>/dev/null");
  while (!device_.empty() && device_.back() == '\n') device_.pop_back();
  mounted_ =
      !device_.empty() &&
      std::system(("mount.exfat-fuse '" + device_ + "' '" + mount_.string() + "' >/dev/null 2>&1")
                      .c_str()) == 0;
}

ExfatStick::~ExfatStick() {
  if (mounted_) static_cast<void>(std::system(("umount '" + mount_.string() + "'").c_str()));
  if (!device_.empty()) static_cast<void>(std::system(("losetup -d " + device_).c_str()));
}

}  // namespace test
