// The built programs leave every output whole or untouched, whatever ends the run: a
// file-size limit, a signal, another run on the same output, a bank that cannot be written.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "test_files.hpp"

namespace {

namespace fs = std::filesystem;

const std::string kOld = "@0\told\r\n";
const std::string kOpened =
    "\ntext 2 vh conversion utility.\nversion 1.0.0 (2.09.08) \n\n\narguments processing\n"
    "data_width [1]: 32\ndone\n\ninput files check\ndone\n\ninput files processing\n";
const std::string kMariskOpened =
    "\nmarisk utility.\nversion 1.0 (31.03.08) \n\n\ninput files check\t-\tdone\n"
    "\nform file name\t\t-\tdone\n\ndata processing\t\t-\t";

// A byte list of that many lines.
std::string byte_list(std::size_t lines, unsigned seed) {
  std::string text;
  char line[8];
  for (std::size_t i = 0; i < lines; ++i) {
    std::snprintf(line, sizeof line, "%02x\r\n", static_cast<unsigned>((i * 7 + seed) % 256));
    text += line;
  }
  return text;
}

// tolvane -d32's image of a byte list, made by the program itself in a folder of its own.
std::string image_of(const std::string& bytes) {
  test::TempDir dir;
  test::write_file(dir.path() / "in.txt", bytes);
  EXPECT_EQ(test::run_program(TOLVANE_PATH, {"-d32", "in.txt"}, dir.path()).status, 0);
  return test::read_file(dir.path() / "in.vh");
}

bool has_temporary_file(const fs::path& dir) {
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.path().extension() == ".tmp") return true;
  }
  return false;
}

TEST(WholeOutput, AFileSizeLimitIsAWriteFailure) {
  test::TempDir dir;
  test::write_file(dir.path() / "big.txt", byte_list(100000, 1));
  test::write_file(dir.path() / "big.vh", kOld);
  const auto result = test::run_program(
      "/bin/bash", {"-c", "ulimit -f 64 && exec \"$0\" \"$@\"", TOLVANE_PATH, "-d32", "big.txt"},
      dir.path());
  EXPECT_EQ(result.out, kOpened + "File I/O error.\n");
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(test::read_file(dir.path() / "big.vh"), kOld);
  EXPECT_EQ(test::list_files(dir.path()), (std::vector<std::string>{"big.txt", "big.vh"}));
}

// The input is a FIFO, so the run is surely in the middle of its work when the signal comes.
TEST(WholeOutput, AnInterruptedRunRemovesItsTemporaryFile) {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    test::TempDir dir;
    ASSERT_EQ(mkfifo((dir.path() / "big.txt").c_str(), 0644), 0);
    test::write_file(dir.path() / "big.vh", kOld);
    test::StartedProgram run(TOLVANE_PATH, {"-d32", "big.txt"}, dir.path());
    std::ofstream input(dir.path() / "big.txt", std::ios::binary);
    input << byte_list(400000, 2) << std::flush;  // more than a buffer: the writing has begun
    while (!has_temporary_file(dir.path()))
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    kill(run.pid(), signal_number);
    const auto result = run.finish();
    EXPECT_EQ(result.status, 128 + signal_number) << signal_number;
    EXPECT_EQ(result.out, kOpened) << signal_number;
    EXPECT_EQ(test::read_file(dir.path() / "big.vh"), kOld) << signal_number;
    EXPECT_FALSE(has_temporary_file(dir.path())) << signal_number;
  }
}

TEST(WholeOutput, ALinkedOutputReplacesItsTargetAndKeepsPermissions) {
  test::TempDir dir;
  const std::string bytes = byte_list(10, 3);
  test::write_file(dir.path() / "rom.txt", bytes);
  fs::create_directory(dir.path() / "images");
  test::write_file(dir.path() / "images" / "real.vh", kOld);
  chmod((dir.path() / "images" / "real.vh").c_str(), 0640);
  fs::create_symlink("images/real.vh", dir.path() / "rom.vh");
  test::write_file(dir.path() / "new.txt", bytes);

  ASSERT_EQ(test::run_program(TOLVANE_PATH, {"-d32", "rom.txt"}, dir.path()).status, 0);
  ASSERT_EQ(test::run_program(TOLVANE_PATH, {"-d32", "new.txt"}, dir.path()).status, 0);
  EXPECT_TRUE(fs::is_symlink(dir.path() / "rom.vh"));
  EXPECT_EQ(test::read_file(dir.path() / "images" / "real.vh"), image_of(bytes));
  EXPECT_EQ(fs::status(dir.path() / "images" / "real.vh").permissions(), fs::perms(0640));
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(fs::status(dir.path() / "new.vh").permissions(), fs::perms(0666 & ~mask));
  EXPECT_FALSE(has_temporary_file(dir.path()));
}

TEST(WholeOutput, TwoRunsOnOneOutputLeaveTheWholeOutputOfOne) {
  test::TempDir dir;
  const std::string first = byte_list(300000, 4);
  const std::string second = byte_list(300000, 5);
  fs::create_directory(dir.path() / "shared");
  test::write_file(dir.path() / "shared" / "rom.vh", kOld);
  for (const char* side : {"a", "b"}) {
    fs::create_directory(dir.path() / side);
    test::write_file(dir.path() / side / "rom.txt", side[0] == 'a' ? first : second);
    fs::create_symlink("../shared/rom.vh", dir.path() / side / "rom.vh");
  }
  for (int round = 0; round < 3; ++round) {
    test::StartedProgram a(TOLVANE_PATH, {"-d32", "rom.txt"}, dir.path() / "a");
    test::StartedProgram b(TOLVANE_PATH, {"-d32", "rom.txt"}, dir.path() / "b");
    EXPECT_EQ(a.finish().status, 0);
    EXPECT_EQ(b.finish().status, 0);
    const std::string result = test::read_file(dir.path() / "shared" / "rom.vh");
    EXPECT_TRUE(result == image_of(first) || result == image_of(second)) << "round " << round;
    EXPECT_FALSE(has_temporary_file(dir.path()));
  }
}

TEST(WholeOutput, MariskReadsAFifoOnce) {
  test::TempDir dir;
  ASSERT_EQ(mkfifo((dir.path() / "img_0x100.vh").c_str(), 0644), 0);
  std::thread writer([&] {
    std::ofstream input(dir.path() / "img_0x100.vh", std::ios::binary);
    input << "@0\t00112233\r\n@1\tDEADBEEF\r\n";
  });
  const auto result = test::run_program(MARISK_PATH, {"-s16", "img_0x100.vh"}, dir.path());
  writer.join();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(test::read_file(dir.path() / "img_0x200_1.vh"), "@0\t0011\r\n@1\tDEAD\r\n");
  EXPECT_EQ(test::read_file(dir.path() / "img_0x200_0.vh"), "@0\t2233\r\n@1\tBEEF\r\n");
}

TEST(WholeOutput, MariskChangesNoBankWhenOneCannotBeWritten) {
  test::TempDir dir;
  test::write_file(dir.path() / "img_0x100.vh", "@0\t00112233\r\n");
  test::write_file(dir.path() / "img_0x400_3.vh", kOld);
  test::write_file(dir.path() / "img_0x400_0.vh", kOld);
  fs::create_symlink("/dev/full", dir.path() / "img_0x400_1.vh");
  const auto result = test::run_program(MARISK_PATH, {"img_0x100.vh"}, dir.path());
  EXPECT_EQ(result.out, kMariskOpened + "File I/O error.\n");
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(test::read_file(dir.path() / "img_0x400_3.vh"), kOld);
  EXPECT_EQ(test::read_file(dir.path() / "img_0x400_0.vh"), kOld);
  EXPECT_EQ(test::list_files(dir.path()),
            (std::vector<std::string>{"img_0x100.vh", "img_0x400_0.vh", "img_0x400_1.vh",
                                      "img_0x400_3.vh"}));
}

}  // namespace
