// The built programs leave every output whole or untouched, whatever ends the run: a
// file-size limit, a signal, another run on the same output, a bank that cannot be written.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "test_programs.hpp"

namespace {

namespace fs = std::filesystem;
using test::command_output;
using test::ExfatStick;

const std::string kOld = "@0\told\r\n";
const std::string kChecked =
    "\ntext 2 vh conversion utility.\nversion 1.0.0 (2.09.08) \n\n\narguments processing\n"
    "data_width [1]: 32\ndone\n\ninput files check\n";
const std::string kOpened = kChecked + "done\n\ninput files processing\n";
const std::string kRefused = kChecked + "File I/O error.\n";
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

// A hidden file a run makes: a temporary file or a backup.
bool has_temporary_file(const fs::path& dir) {
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    const std::string extension = entry.path().extension().string();
    if (extension == ".tmp" || extension == ".old") return true;
  }
  return false;
}

// Waits until the condition holds; false when it does not within the time limit.
template <typename Condition>
bool wait_for(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + test::kTimeLimit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

bool running_as_root() { return geteuid() == 0; }

// The program and arguments that run a built program as an ordinary user: the suite runs
// as root, and root may write anywhere, so these run as nobody (setpriv), from copies of
// the programs that nobody may run wherever the build lies.
struct Command {
  std::string program;
  std::vector<std::string> args;
};
Command as_nobody(const std::string& built, std::vector<std::string> args) {
  static test::TempDir copies;
  const fs::path copy = copies.path() / fs::path(built).filename();
  if (!fs::exists(copy)) {
    fs::permissions(copies.path(), fs::perms(0755));
    fs::copy_file(built, copy);
  }
  args.insert(args.begin(), {"--reuid=nobody", "--regid=nogroup", "--clear-groups", copy.string()});
  return {"/usr/bin/setpriv", args};
}
constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

// Gives the files to nobody, links themselves included.
void give_to_nobody(const std::vector<fs::path>& paths) {
  for (const fs::path& path : paths) ASSERT_EQ(lchown(path.c_str(), kNobody, kNogroup), 0) << path;
}

// Waits until a run waits for the flock() of the folder: /proc/locks shows such a waiter
// with "->" before it.
bool waits_for_folder_lock(const fs::path& folder) {
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0) return false;
  const std::string inode = ":" + std::to_string(info.st_ino) + " ";
  return wait_for([&] {
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
      if (line.find("-> FLOCK") != std::string::npos && line.find(inode) != std::string::npos) {
        return true;
      }
    }
    return false;
  });
}

// The run stops reading once a write fails, so that an endless input ends too.
TEST(WholeOutput, AFileSizeLimitIsAWriteFailure) {
  struct Case {
    std::vector<std::string> args;
    std::string feed;  // a shell command writing the input FIFO in_0x10.vh, or nothing
    std::string opened;
  };
  for (const Case& c : {Case{{TOLVANE_PATH, "-d32", "big.txt"}, "", kOpened},
                        Case{{TOLVANE_PATH, "-d32", "-b", "zero.bin"}, "", kOpened},
                        Case{{MARISK_PATH, "in_0x10.vh"},
                             "{ yes $'@0\\t12345678' >in_0x10.vh & } &&",
                             kMariskOpened}}) {
    SCOPED_TRACE(c.args.back());
    test::TempDir dir;
    test::write_file(dir.path() / "big.txt", byte_list(100000, 1));
    test::write_file(dir.path() / "big.vh", kOld);
    test::write_file(dir.path() / "zero.vh", kOld);
    fs::create_symlink("/dev/zero", dir.path() / "zero.bin");
    std::vector<std::string> args = {"-c", "ulimit -f 64 && " + c.feed + " exec \"$0\" \"$@\""};
    args.insert(args.end(), c.args.begin(), c.args.end());
    if (!c.feed.empty()) {
      ASSERT_EQ(mkfifo((dir.path() / "in_0x10.vh").c_str(), 0644), 0);
    }
    const auto result = test::run_program("/bin/bash", args, dir.path());
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, c.opened + "File I/O error.\n");
    EXPECT_EQ(test::read_file(dir.path() / "big.vh"), kOld);
    EXPECT_EQ(test::read_file(dir.path() / "zero.vh"), kOld);
    std::vector<std::string> files = {"big.txt", "big.vh", "zero.bin", "zero.vh"};
    if (!c.feed.empty()) files.insert(files.begin() + 2, "in_0x10.vh");  // the FIFO
    EXPECT_EQ(test::list_files(dir.path()), files);
  }
}

// The input is a FIFO, so the run is surely in the middle of its work when the signal comes.
TEST(WholeOutput, AnInterruptedRunRemovesItsTemporaryFile) {
  for (const int signal_number :
       {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM,
        SIGPROF, SIGABRT, SIGPOLL, SIGPWR, SIGSTKFLT, SIGRTMIN, SIGRTMIN + 3, SIGRTMAX}) {
    test::TempDir dir;
    ASSERT_EQ(mkfifo((dir.path() / "big.txt").c_str(), 0644), 0);
    test::write_file(dir.path() / "big.vh", kOld);
    test::StartedProgram run(TOLVANE_PATH, {"-d32", "big.txt"}, dir.path());
    std::ofstream input(dir.path() / "big.txt", std::ios::binary);
    input << byte_list(400000, 2) << std::flush;  // more than a buffer: the writing has begun
    ASSERT_TRUE(wait_for([&] { return has_temporary_file(dir.path()); }));
    kill(run.pid(), signal_number);
    const auto result = run.finish();
    // Ended by the signal itself, as its caller may tell, not by an exit with 128 + N.
    EXPECT_EQ(result.signal, signal_number) << signal_number;
    EXPECT_EQ(result.status, -1) << signal_number;
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

// An output named by a descriptor's link to a pipe (what /dev/stdout is in a pipeline)
// is written through the pipe; word lines that wait for the header's depth wait in the
// system's temporary folder, as none can be made in the link's.
TEST(WholeOutput, AnOutputToAPipeIsWrittenThroughIt) {
  // The mif's word lines wait for its depth, then go to the file and to the pipe.
  for (const auto& [format, image] : std::vector<std::pair<const char*, std::string>>{
           {"-fvh", "@0\t040B1219\r\n@1\t20272E35\r\n@2\t3C430000\r\n"},
           {"-fmif",
            "DEPTH = 3;\r\nWIDTH = 32;\r\nADDRESS_RADIX = HEX;\r\nDATA_RADIX = HEX;\r\nCONTENT\r\n"
            "BEGIN\r\n0 : 040B1219;\r\n1 : 20272E35;\r\n2 : 3C430000;\r\nEND;\r\n"}}) {
    SCOPED_TRACE(format);
    test::TempDir dir;
    test::write_file(dir.path() / "rom.txt", byte_list(10, 4));
    ASSERT_EQ(
        test::run_program(TOLVANE_PATH, {"-d32", format, "-oimage", "rom.txt"}, dir.path()).status,
        0);
    EXPECT_EQ(test::read_file(dir.path() / "image"), image);
    const auto result = test::run_program(
        "/bin/bash",
        {"-c", "set -o pipefail && { \"$0\" \"$@\" 3>&1 1>&4 | cat >piped; } 4>&1", TOLVANE_PATH,
         "-d32", format, "-o/dev/fd/3", "rom.txt"},
        dir.path());
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_EQ(test::read_file(dir.path() / "piped"), test::read_file(dir.path() / "image"));
    EXPECT_EQ(test::list_files(dir.path()),
              (std::vector<std::string>{"image", "piped", "rom.txt"}));
  }
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
  EXPECT_EQ(result.err, "marisk: img_0x400_1.vh: No space left on device\n");
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(test::read_file(dir.path() / "img_0x400_3.vh"), kOld);
  EXPECT_EQ(test::read_file(dir.path() / "img_0x400_0.vh"), kOld);
  EXPECT_EQ(test::list_files(dir.path()),
            (std::vector<std::string>{"img_0x100.vh", "img_0x400_0.vh", "img_0x400_1.vh",
                                      "img_0x400_3.vh"}));
}

// A run that cannot make a file in the folder refuses and leaves the old file, although
// it could write that file in place.
TEST(WholeOutput, AFolderWithoutWritePermissionIsRefused) {
  test::TempDir dir;
  fs::permissions(dir.path(), fs::perms(0755));
  fs::copy_file(TOLVANE_PATH, dir.path() / "tolvane");
  test::write_file(dir.path() / "rom.txt", byte_list(10, 6));
  test::write_file(dir.path() / "rom.vh", kOld);
  fs::permissions(dir.path() / "rom.vh", fs::perms(0666));
  std::vector<std::string> args = {"-d32", "rom.txt"};
  std::string program = (dir.path() / "tolvane").string();
  if (running_as_root()) {  // root may write anywhere: the run is an unprivileged user's
    args.insert(args.begin(), {"--reuid=nobody", "--regid=nogroup", "--clear-groups", program});
    program = "/usr/bin/setpriv";
  } else {
    fs::permissions(dir.path(), fs::perms(0555));
  }
  const auto result = test::run_program(program, args, dir.path());
  fs::permissions(dir.path(), fs::perms(0755));
  EXPECT_EQ(result.out, kRefused);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(test::read_file(dir.path() / "rom.vh"), kOld);
  EXPECT_EQ(test::list_files(dir.path()),
            (std::vector<std::string>{"rom.txt", "rom.vh", "tolvane"}));
}

// Another user who watches the folder never sees the temporary file readable, nor by a
// name that is not hidden: the input is a FIFO, so the run is surely writing while the
// folder is looked at. On Linux "proj\\big.txt" is a name in the folder itself.
TEST(WholeOutput, APrivateOutputIsPrivateWhileWritten) {
  for (const std::string stem : {"big", "proj\\big"}) {
    test::TempDir dir;
    ASSERT_EQ(mkfifo((dir.path() / (stem + ".txt")).c_str(), 0644), 0);
    test::write_file(dir.path() / (stem + ".vh"), kOld);
    fs::permissions(dir.path() / (stem + ".vh"), fs::perms(0600));
    test::StartedProgram run(TOLVANE_PATH, {"-d32", stem + ".txt"}, dir.path());
    std::string bytes;
    {
      std::ofstream input(dir.path() / (stem + ".txt"), std::ios::binary);
      for (unsigned part = 0; part < 3; ++part) {
        const std::string more = byte_list(300000, 7 + part);  // more than a buffer each
        input << more << std::flush;
        bytes += more;
        ASSERT_TRUE(wait_for([&] { return has_temporary_file(dir.path()); }));
        for (const auto& entry : fs::directory_iterator(dir.path())) {
          if (entry.path().extension() != ".tmp") continue;
          struct stat info {};
          ASSERT_EQ(lstat(entry.path().c_str(), &info), 0);
          EXPECT_EQ(info.st_mode & 077, 0u) << stem << ", part " << part;
          EXPECT_EQ(entry.path().filename().string()[0], '.') << entry.path();
        }
      }
    }
    EXPECT_EQ(run.finish().status, 0) << stem;
    EXPECT_EQ(test::read_file(dir.path() / (stem + ".vh")), image_of(bytes)) << stem;
    EXPECT_EQ(fs::status(dir.path() / (stem + ".vh")).permissions(), fs::perms(0600)) << stem;
    EXPECT_FALSE(has_temporary_file(dir.path())) << stem;
  }
}

// The replaced file's access ACL, set-id bits and group stay as they were.
TEST(WholeOutput, AclAndSetIdBitsAreKept) {
  test::TempDir dir;
  test::write_file(dir.path() / "rom.txt", byte_list(10, 8));
  test::write_file(dir.path() / "rom.vh", kOld);
  test::write_file(dir.path() / "img_0x100.vh", "@0\t00112233\r\n");
  test::write_file(dir.path() / "img_0x200_1.vh", kOld);
  test::write_file(dir.path() / "img_0x200_0.vh", kOld);
  const std::string rom = (dir.path() / "rom.vh").string();
  const std::string bank = (dir.path() / "img_0x200_1.vh").string();
  ASSERT_EQ(std::system(("setfacl -m u:nobody:rw-,g::r-- '" + rom + "'").c_str()), 0);
  ASSERT_EQ(chmod((dir.path() / "img_0x200_0.vh").c_str(), 06755), 0);
  ASSERT_EQ(std::system(("setfacl -m u:nobody:r-- '" + bank + "'").c_str()), 0);
  const std::string rom_acl = command_output("getfacl -cp '" + rom + "'");
  const std::string bank_acl = command_output("getfacl -cp '" + bank + "'");
  ASSERT_NE(rom_acl.find("user:nobody:rw-"), std::string::npos) << rom_acl;
  // A file without an ACL stays without one, whatever the folder gives new files.
  const std::string plain = (dir.path() / "img_0x200_0.vh").string();
  const std::string plain_acl = command_output("getfacl -cp '" + plain + "'");
  ASSERT_EQ(std::system(("setfacl -d -m u:nobody:rw- '" + dir.path().string() + "'").c_str()), 0);

  EXPECT_EQ(test::run_program(TOLVANE_PATH, {"-d32", "rom.txt"}, dir.path()).status, 0);
  EXPECT_EQ(test::run_program(MARISK_PATH, {"-s16", "img_0x100.vh"}, dir.path()).status, 0);
  EXPECT_EQ(command_output("getfacl -cp '" + rom + "'"), rom_acl);
  EXPECT_EQ(command_output("getfacl -cp '" + bank + "'"), bank_acl);
  EXPECT_EQ(command_output("getfacl -cp '" + plain + "'"), plain_acl);
  EXPECT_EQ(test::read_file(dir.path() / "img_0x200_1.vh"), "@0\t0011\r\n");
  struct stat info {};
  ASSERT_EQ(stat((dir.path() / "img_0x200_0.vh").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 06755u);
  EXPECT_FALSE(has_temporary_file(dir.path()));
}

// In a sticky folder that everybody may write to, a link or a FIFO that another user
// planted is not used: the file the link points to stays as it was, and nothing is
// written to the FIFO (whose reader is open, so a write would not wait).
TEST(WholeOutput, APlantedLinkOrFifoInAStickyFolderIsRefused) {
  if (!running_as_root()) GTEST_SKIP() << "planting a file of another user needs root";
  for (const bool fifo : {false, true}) {
    SCOPED_TRACE(fifo ? "FIFO" : "link");
    test::TempDir dir;
    const fs::path output = dir.path() / "shared" / "rom.vh";
    fs::create_directory(dir.path() / "shared");
    fs::permissions(dir.path() / "shared", fs::perms(01777));
    test::write_file(dir.path() / "victim.vh", kOld);
    test::write_file(dir.path() / "shared" / "rom.txt", byte_list(10, 9));
    int reader = -1;
    if (fifo) {
      ASSERT_EQ(mkfifo(output.c_str(), 0666), 0);
      reader = open(output.c_str(), O_RDONLY | O_NONBLOCK);
      ASSERT_GE(reader, 0);
    } else {
      fs::create_symlink(dir.path() / "victim.vh", output);
    }
    ASSERT_EQ(lchown(output.c_str(), 65534, 65534), 0);
    const auto result = test::run_program(TOLVANE_PATH, {"-d32", "rom.txt"}, dir.path() / "shared");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, kRefused);
    EXPECT_EQ(test::read_file(dir.path() / "victim.vh"), kOld);
    if (fifo) {
      char byte = 0;
      EXPECT_EQ(read(reader, &byte, 1), 0);  // no writer came
      close(reader);
    }
    EXPECT_EQ(fs::is_fifo(output), fifo);
    EXPECT_EQ(fs::is_symlink(output), !fifo);
    EXPECT_FALSE(has_temporary_file(dir.path()));
  }
}

// A small file system of its own, filled to the last byte; unmounted when done.
class FullDisk {
 public:
  // Full but for about left bytes.
  explicit FullDisk(const fs::path& at, off_t left = 0) : at_(at) {
    fs::create_directory(at_);
    mounted_ =
        std::system(("mount -t tmpfs -o size=256k tmpfs '" + at_.string() + "'").c_str()) == 0;
    if (!mounted_) return;
    const int fd = open((at_ / "filler").c_str(), O_WRONLY | O_CREAT, 0644);
    const std::string block(4096, 'x');
    while (write(fd, block.data(), block.size()) > 0) {
    }
    if (left > 0) {
      EXPECT_EQ(ftruncate(fd, lseek(fd, 0, SEEK_END) - left), 0);
    }
    close(fd);
  }
  ~FullDisk() {
    if (mounted_) std::system(("umount '" + at_.string() + "'").c_str());
  }
  FullDisk(const FullDisk&) = delete;
  FullDisk& operator=(const FullDisk&) = delete;
  explicit operator bool() const { return mounted_; }

 private:
  fs::path at_;
  bool mounted_ = false;
};

// Writes numbered chunks into the FIFO until its reader has gone or limit bytes are
// written; gives the bytes written. Waits for the reader at most the time limit.
std::uint64_t feed_until_closed(const fs::path& fifo, std::string (*chunk)(std::uint64_t),
                                std::uint64_t limit) {
  int fd = -1;
  const bool opened = wait_for([&] {
    fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    return fd >= 0;
  });
  if (!opened) return 0;
  fcntl(fd, F_SETFL, 0);
  const auto old_handler = std::signal(SIGPIPE, SIG_IGN);
  std::uint64_t fed = 0;
  for (std::uint64_t k = 0; fed < limit; ++k) {
    const std::string bytes = chunk(k);
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written <= 0) break;
    fed += static_cast<std::uint64_t>(written);
  }
  close(fd);
  std::signal(SIGPIPE, old_handler);
  return fed;
}

// Where word lines wait for the depth their header names, or a line's words for its
// verdict, they wait on the output's own disk: a full one ends the run within a buffer
// or two of input, not once the input has ended.
TEST(WholeOutput, AFullDestinationEndsTheRunEarly) {
  if (!running_as_root()) GTEST_SKIP() << "mounting needs root";
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string (*chunk)(std::uint64_t);
    std::string err;
    off_t left = 0;  // the bytes the destination has room for
  };
  for (const Case& c : {
           Case{"mif without a depth",
                {TOLVANE_PATH, "-fmif", "-ofull/rom.mif", "in_0x10.vh"},
                [](std::uint64_t) {
                  std::string lines;
                  for (int i = 0; i < 100000; ++i) lines += "a5\n";
                  return lines;
                },
                "tolvane: temporary file: No space left on device\n"},
           Case{"mi banks without a depth",
                {MARISK_PATH, "-d32", "-s16", "-fmi", "-ofull/rom", "in_0x10.vh"},
                [](std::uint64_t k) {
                  std::string lines;
                  char line[32];
                  for (std::uint64_t i = k * 10000; i < (k + 1) * 10000; ++i) {
                    std::snprintf(line, sizeof line, "@%llX\t00112233\n",
                                  static_cast<unsigned long long>(i));
                    lines += line;
                  }
                  return lines;
                },
                "marisk: temporary file: No space left on device\n"},
           Case{"a line of words not yet judged",
                {MARISK_PATH, "-d32", "-s16", "-ofull/rom", "in_0x10.vh"},
                [](std::uint64_t) {
                  std::string items;
                  for (int i = 0; i < 30000; ++i) items += "12345678 ";
                  return items;
                },
                "marisk: temporary file: No space left on device\n"},
           // Room for the waiting word lines, not for them again in the output.
           Case{"mif lines copied into a full output",
                {TOLVANE_PATH, "-fmif", "-ofull/rom.mif", "in_0x10.vh"},
                [](std::uint64_t k) {
                  std::string lines;
                  for (int i = 0; k == 0 && i < 8000; ++i) lines += "a5\n";
                  return lines;
                },
                "tolvane: full/rom.mif: No space left on device\n",
                64 << 10},
       }) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    const FullDisk full(dir.path() / "full", c.left);
    if (!full) GTEST_SKIP() << "no tmpfs can be mounted here";
    ASSERT_EQ(mkfifo((dir.path() / "in_0x10.vh").c_str(), 0644), 0);
    test::StartedProgram run(c.args.front(), {c.args.begin() + 1, c.args.end()}, dir.path());
    const std::uint64_t fed = feed_until_closed(dir.path() / "in_0x10.vh", c.chunk, 64 << 20);
    const auto result = run.finish();
    EXPECT_EQ(result.status, 2);
    EXPECT_TRUE(result.out.ends_with("File I/O error.\n")) << result.out;
    EXPECT_EQ(result.err, c.err);
    EXPECT_LT(fed, 8u << 20);
    EXPECT_EQ(test::list_files(dir.path() / "full"), std::vector<std::string>{"filler"});
  }
}

// A link in another folder given relative to its own folder, and a chain of two links.
TEST(WholeOutput, RelativeLinksAndChainsAreFollowed) {
  test::TempDir dir;
  const std::string bytes = byte_list(10, 10);
  fs::create_directories(dir.path() / "work");
  fs::create_directories(dir.path() / "links");
  fs::create_directories(dir.path() / "images");
  test::write_file(dir.path() / "work" / "rom.txt", bytes);
  test::write_file(dir.path() / "work" / "two.txt", bytes);
  test::write_file(dir.path() / "images" / "real.vh", kOld);
  test::write_file(dir.path() / "images" / "other.vh", kOld);
  fs::create_symlink("../images/real.vh", dir.path() / "links" / "rom.vh");
  fs::create_symlink("../links/rom.vh", dir.path() / "work" / "rom.vh");
  fs::create_symlink("../images/other.vh", dir.path() / "work" / "two.vh");
  EXPECT_EQ(test::run_program(TOLVANE_PATH, {"-d32", "rom.txt"}, dir.path() / "work").status, 0);
  EXPECT_EQ(test::run_program(TOLVANE_PATH, {"-d32", "two.txt"}, dir.path() / "work").status, 0);
  EXPECT_EQ(test::read_file(dir.path() / "images" / "real.vh"), image_of(bytes));
  EXPECT_EQ(test::read_file(dir.path() / "images" / "other.vh"), image_of(bytes));
  EXPECT_TRUE(fs::is_symlink(dir.path() / "work" / "rom.vh"));
  EXPECT_TRUE(fs::is_symlink(dir.path() / "links" / "rom.vh"));
  EXPECT_FALSE(has_temporary_file(dir.path()));

  fs::remove(dir.path() / "images" / "real.vh");
  fs::create_symlink("../links/rom.vh", dir.path() / "images" / "real.vh");  // a loop now
  const auto looped = test::run_program(TOLVANE_PATH, {"-d32", "rom.txt"}, dir.path() / "work");
  EXPECT_EQ(looped.status, 2);
  EXPECT_TRUE(fs::is_symlink(dir.path() / "images" / "real.vh"));
  EXPECT_FALSE(has_temporary_file(dir.path()));
}

// Two marisk runs whose 127 bank names coincide: each round ends with the whole set of
// one of them. Small inputs, so that both commits come at about the same time. Also in a
// drop box, a folder an ordinary user may write to but not list (mode 0733), whose runs
// take the lock of the folder above it.
TEST(WholeOutput, ConcurrentSplitsLeaveTheBanksOfOne) {
  for (const bool drop_box : {false, true}) {
    if (drop_box && !running_as_root()) continue;  // nobody's runs need root to start
    SCOPED_TRACE(drop_box ? "drop box" : "folder");
    test::TempDir top;
    fs::permissions(top.path(), fs::perms(0755));
    const fs::path dir = drop_box ? top.path() / "drop" : top.path();
    const std::string in = drop_box ? "drop/" : "";
    fs::create_directories(dir);
    if (drop_box) fs::permissions(dir, fs::perms(0733));
    const auto split = [&](const std::string& input) {
      const std::vector<std::string> args = {"-d1016", in + input};
      const Command command = drop_box ? as_nobody(MARISK_PATH, args) : Command{MARISK_PATH, args};
      return test::StartedProgram(command.program, command.args, top.path());
    };
    // "img_0x100.vh" and "img_0x100.b.vh" both give the banks img_0x7f00_0.vh to _126.vh.
    const std::string a_bytes = "@0\t" + std::string(254, 'A') + "\r\n";
    const std::string b_bytes = "@0\t" + std::string(254, 'B') + "\r\n";
    test::write_file(dir / "img_0x100.vh", a_bytes);
    test::write_file(dir / "img_0x100.b.vh", b_bytes);
    const auto banks = [&] {
      std::vector<std::string> contents;
      for (int bank = 0; bank < 127; ++bank) {
        contents.push_back(test::read_file(dir / ("img_0x7f00_" + std::to_string(bank) + ".vh")));
      }
      return contents;
    };
    ASSERT_EQ(split("img_0x100.vh").finish().status, 0);
    const auto first = banks();
    ASSERT_EQ(split("img_0x100.b.vh").finish().status, 0);
    const auto second = banks();
    // Read from FIFOs that are filled at once, so that both runs go on together.
    fs::remove(dir / "img_0x100.vh");
    fs::remove(dir / "img_0x100.b.vh");
    for (const char* fifo : {"img_0x100.vh", "img_0x100.b.vh"}) {
      ASSERT_EQ(mkfifo((dir / fifo).c_str(), 0644), 0);
      fs::permissions(dir / fifo, fs::perms(0666));
    }
    for (int round = 0; round < 30; ++round) {
      test::StartedProgram a = split("img_0x100.vh");
      test::StartedProgram b = split("img_0x100.b.vh");
      std::ofstream a_input(dir / "img_0x100.vh", std::ios::binary);
      std::ofstream b_input(dir / "img_0x100.b.vh", std::ios::binary);
      a_input << a_bytes;
      b_input << b_bytes;
      a_input.close();
      b_input.close();
      EXPECT_EQ(a.finish().status, 0);
      EXPECT_EQ(b.finish().status, 0);
      const auto now = banks();
      EXPECT_TRUE(now == first || now == second) << "round " << round;
      EXPECT_FALSE(has_temporary_file(dir));
    }
  }
}

// The file-system contract holds for an ordinary user as for root: its rows on the real
// file system, run as nobody.
TEST(WholeOutput, TheFileSystemContractHoldsForAnOrdinaryUser) {
  if (!running_as_root()) GTEST_SKIP() << "starting a run as another user needs root";
  test::TempDir dir;
  const Command command =
      as_nobody(UNIT_TESTS_PATH, {"--gtest_filter=*FileSystemContract.HoldsOnTheRealFileSystem*"});
  const auto result = test::run_program(command.program, command.args, dir.path());
  EXPECT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_EQ(result.out.find("[  PASSED  ] 0 tests"), std::string::npos) << result.out;
}

// In a drop box its owner's runs take the lock its contributors can take, the one of the
// folder above it, so that they take turns.
TEST(WholeOutput, TheOwnerOfADropBoxLocksTheFolderAboveIt) {
  test::TempDir top;
  const fs::path drop = top.path() / "drop";
  fs::create_directories(drop);
  fs::permissions(drop, fs::perms(0733));
  test::write_file(drop / "rom.txt", byte_list(10, 12));
  const int held = open(top.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  test::StartedProgram run(TOLVANE_PATH, {"-d32", "rom.txt"}, drop);
  EXPECT_TRUE(waits_for_folder_lock(top.path()));
  close(held);
  EXPECT_EQ(run.finish().status, 0);
  EXPECT_TRUE(fs::exists(drop / "rom.vh"));
}

// A run that waits for another's lock on its folder ends at once on an interrupt, and
// changes nothing. The lock is held here as flock(1) holds it, by flock() on the folder.
TEST(WholeOutput, AWaitForTheFolderLockCanBeInterrupted) {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    test::TempDir dir;
    test::write_file(dir.path() / "rom.txt", byte_list(10, 12));
    test::write_file(dir.path() / "rom.vh", kOld);
    const int held = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    test::StartedProgram run(TOLVANE_PATH, {"-d32", "rom.txt"}, dir.path());
    EXPECT_TRUE(waits_for_folder_lock(dir.path())) << signal_number;
    kill(run.pid(), signal_number);
    const auto result = run.finish();
    close(held);
    EXPECT_EQ(result.signal, signal_number);
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.out, kOpened) << signal_number;
    EXPECT_EQ(test::read_file(dir.path() / "rom.vh"), kOld) << signal_number;
    EXPECT_EQ(test::list_files(dir.path()), (std::vector<std::string>{"rom.txt", "rom.vh"}));
  }
}

// Banks that reach their folder under other names (an absolute link, "./", "../folder/")
// lock it once, and a bank in another folder between them does not make the run lock
// the first folder twice; nor does a bank in a drop box inside it, which shares its
// lock: the run finishes.
TEST(WholeOutput, AFolderReachedByOtherNamesIsLockedOnce) {
  test::TempDir dir;
  const fs::path proj = dir.path() / "proj";
  fs::create_directory(proj);
  fs::create_directory(dir.path() / "other");
  fs::create_directory(proj / "box");
  fs::permissions(proj / "box", fs::perms(0733));
  test::write_file(proj / "img_0x100.vh", "@0\t00112233\r\n");
  fs::create_symlink(proj / "real3.vh", proj / "img_0x400_3.vh");
  fs::create_symlink("../other/real2.vh", proj / "img_0x400_2.vh");
  fs::create_symlink("../proj/real1.vh", proj / "img_0x400_1.vh");
  fs::create_symlink("box/real0.vh", proj / "img_0x400_0.vh");
  const auto result = test::run_program(MARISK_PATH, {"img_0x100.vh"}, proj);
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(test::read_file(proj / "real3.vh"), "@0\t00\r\n");
  EXPECT_EQ(test::read_file(dir.path() / "other" / "real2.vh"), "@0\t11\r\n");
  EXPECT_EQ(test::read_file(proj / "real1.vh"), "@0\t22\r\n");
  EXPECT_EQ(test::read_file(proj / "box" / "real0.vh"), "@0\t33\r\n");
  EXPECT_FALSE(has_temporary_file(dir.path()));
}

// In a team folder with a default ACL a new output gets what touch gets there: the
// default ACL's entries masked by 0666, the umask not applied.
TEST(WholeOutput, ANewOutputGetsWhatTheFolderGivesANewFile) {
  test::TempDir dir;
  ASSERT_EQ(
      std::system(("setfacl -d -m u:nobody:rw-,o::--- '" + dir.path().string() + "'").c_str()), 0);
  test::write_file(dir.path() / "rom.txt", byte_list(10, 13));
  test::write_file(dir.path() / "img_0x100.vh", "@0\t00112233\r\n");
  ASSERT_EQ(std::system(("touch '" + (dir.path() / "touched").string() + "'").c_str()), 0);
  const auto acl = [&](const char* name) {
    return command_output("getfacl -cp '" + (dir.path() / name).string() + "'");
  };
  const std::string touched = acl("touched");
  ASSERT_NE(touched.find("user:nobody:rw-"), std::string::npos) << touched;
  EXPECT_EQ(test::run_program(TOLVANE_PATH, {"-d32", "rom.txt"}, dir.path()).status, 0);
  EXPECT_EQ(test::run_program(MARISK_PATH, {"-s16", "img_0x100.vh"}, dir.path()).status, 0);
  for (const char* output : {"rom.vh", "img_0x200_0.vh", "img_0x200_1.vh"}) {
    EXPECT_EQ(acl(output), touched) << output;
    EXPECT_EQ(fs::status(dir.path() / output).permissions(),
              fs::status(dir.path() / "touched").permissions())
        << output;
  }
}

// What an ordinary user's runs do where only root's were tried before.
struct UserCase {
  const char* name;
  void (*prepare)(const fs::path& dir);  // as root, in a folder nobody may enter
  const char* run_in;                    // the folder the run starts in, under dir
  void (*check)(const fs::path& dir);
  const char* program = TOLVANE_PATH;
  std::vector<std::string> args = {"-d32", "rom.txt"};
  int status = 0;
};

TEST(WholeOutput, AnOrdinaryUsersRunsKeepTheRules) {
  if (!running_as_root()) GTEST_SKIP() << "making files of another user needs root";
  for (const UserCase& c : {
           // The replaced file's group is root's, which nobody may not give a file: the
           // run goes on, and the file keeps its mode.
           UserCase{"a group that cannot be kept",
                    [](const fs::path& dir) {
                      test::write_file(dir / "rom.vh", kOld);
                      ASSERT_EQ(chown((dir / "rom.vh").c_str(), kNobody, 0), 0);
                      ASSERT_EQ(chmod((dir / "rom.vh").c_str(), 0664), 0);
                    },
                    ".",
                    [](const fs::path& dir) {
                      struct stat info {};
                      ASSERT_EQ(stat((dir / "rom.vh").c_str(), &info), 0);
                      EXPECT_EQ(info.st_mode & 07777, 0664u);
                      EXPECT_EQ(test::read_file(dir / "rom.vh"), image_of(byte_list(10, 14)));
                    }},
           // In a sticky folder everybody may write to, the runner's own link is followed.
           UserCase{"the runner's own link in a sticky folder",
                    [](const fs::path& dir) {
                      fs::create_directory(dir / "images");
                      test::write_file(dir / "images" / "real.vh", kOld);
                      give_to_nobody({dir / "images", dir / "images" / "real.vh"});
                      fs::permissions(dir, fs::perms(01777));
                      fs::create_symlink("images/real.vh", dir / "rom.vh");
                      give_to_nobody({dir / "rom.vh"});
                    },
                    ".",
                    [](const fs::path& dir) {
                      EXPECT_TRUE(fs::is_symlink(dir / "rom.vh"));
                      EXPECT_EQ(test::read_file(dir / "images" / "real.vh"),
                                image_of(byte_list(10, 14)));
                    }},
           // The rule for links in sticky folders holds only where everybody may write:
           // in a sticky folder only its owner may write to, a link of another user is
           // followed.
           UserCase{"another user's link in a sticky folder of the runner's own",
                    [](const fs::path& dir) {
                      fs::create_directory(dir / "images");
                      test::write_file(dir / "images" / "real.vh", kOld);
                      give_to_nobody({dir / "images", dir / "images" / "real.vh"});
                      fs::permissions(dir, fs::perms(01755));
                      fs::create_symlink("images/real.vh", dir / "rom.vh");
                    },
                    ".",
                    [](const fs::path& dir) {
                      EXPECT_TRUE(fs::is_symlink(dir / "rom.vh"));
                      EXPECT_EQ(test::read_file(dir / "images" / "real.vh"),
                                image_of(byte_list(10, 14)));
                    }},
           // Another user's file that everybody may write, a bank's name in a sticky
           // folder: the run fails, and leaves no second name of it.
           UserCase{"another user's file as a bank in a sticky folder",
                    [](const fs::path& dir) {
                      test::write_file(dir / "img_0x100.vh", "@0\t00112233\r\n");
                      test::write_file(dir / "img_0x400_2.vh", kOld);
                      fs::permissions(dir / "img_0x400_2.vh", fs::perms(0666));
                      ASSERT_EQ(chown(dir.c_str(), 0, 0), 0);
                      fs::permissions(dir, fs::perms(01777));
                    },
                    ".",
                    [](const fs::path& dir) {
                      EXPECT_EQ(test::read_file(dir / "img_0x400_2.vh"), kOld);
                      EXPECT_EQ(
                          test::list_files(dir),
                          (std::vector<std::string>{"img_0x100.vh", "img_0x400_2.vh", "rom.txt"}));
                    },
                    MARISK_PATH,
                    {"img_0x100.vh"},
                    2},
           // Relative links at different depths, each from its own folder.
           UserCase{"a chain of relative links at different depths",
                    [](const fs::path& dir) {
                      fs::create_directories(dir / "a" / "b");
                      fs::create_directories(dir / "links");
                      fs::create_directories(dir / "deep" / "er");
                      test::write_file(dir / "a" / "b" / "rom.txt", byte_list(10, 14));
                      test::write_file(dir / "deep" / "er" / "real.vh", kOld);
                      fs::create_symlink("../../links/rom.vh", dir / "a" / "b" / "rom.vh");
                      fs::create_symlink("../deep/er/real.vh", dir / "links" / "rom.vh");
                      for (const auto& entry : fs::recursive_directory_iterator(dir)) {
                        give_to_nobody({entry.path()});
                      }
                    },
                    "a/b",
                    [](const fs::path& dir) {
                      EXPECT_TRUE(fs::is_symlink(dir / "a" / "b" / "rom.vh"));
                      EXPECT_TRUE(fs::is_symlink(dir / "links" / "rom.vh"));
                      EXPECT_EQ(test::read_file(dir / "deep" / "er" / "real.vh"),
                                image_of(byte_list(10, 14)));
                    }},
       }) {
    SCOPED_TRACE(c.name);
    test::TempDir top;
    fs::permissions(top.path(), fs::perms(0755));
    const fs::path dir = top.path() / "work";
    fs::create_directory(dir);
    test::write_file(dir / "rom.txt", byte_list(10, 14));
    give_to_nobody({dir, dir / "rom.txt"});
    c.prepare(dir);
    const Command command = as_nobody(c.program, c.args);
    const auto result = test::run_program(command.program, command.args, dir / c.run_in);
    EXPECT_EQ(result.status, c.status) << result.out;
    c.check(dir);
    EXPECT_FALSE(has_temporary_file(dir));
  }
}

// On such a stick one file answers to every spelling of its name, with an inode number
// of its own under each: an output that is the input in another case is refused before
// anything is written, and the input stays.
TEST(WholeOutput, AnInputOnAStickThatIgnoresCaseIsKept) {
  if (!running_as_root()) GTEST_SKIP() << "mounting needs root";
  test::TempDir dir;
  const ExfatStick stick(dir.path());
  if (!stick) GTEST_SKIP() << "no exFAT mount through FUSE here (exfat-fuse, a loop device)";
  struct Case {
    std::string program;
    std::vector<std::string> args;
    std::string input;
    std::string message;
  };
  for (const Case& c : {
           Case{TOLVANE_PATH,
                {"ROM.VH"},
                "ROM.VH",
                "ERR: Output file would replace the input file: ROM.vh\n"},
           Case{MARISK_PATH,
                {"-d8", "-s8", "X_0X10_0.VH"},
                "X_0X10_0.VH",
                "ERR: Bank file would replace the input file: X_0x10_0.vh\n"},
       }) {
    test::write_file(stick.path() / c.input, "@0\t1234\r\n");
    const auto result = test::run_program(c.program, c.args, stick.path());
    EXPECT_EQ(result.status, 2) << c.input;
    EXPECT_TRUE(result.out.ends_with(c.message)) << result.out;
    EXPECT_EQ(test::list_files(stick.path()), std::vector<std::string>{c.input});
    EXPECT_EQ(test::read_file(stick.path() / c.input), "@0\t1234\r\n");
    fs::remove(stick.path() / c.input);
  }
}

// A stick has no unnamed files (O_TMPFILE): the scratch file beside the output is made
// under a hidden name and unnamed at once. The outputs are those made in an ordinary
// folder, and nothing else is left on the stick.
TEST(WholeOutput, AScratchFileOnAStickLeavesNothing) {
  if (!running_as_root()) GTEST_SKIP() << "mounting needs root";
  test::TempDir dir;
  const ExfatStick stick(dir.path());
  if (!stick) GTEST_SKIP() << "no exFAT mount through FUSE here (exfat-fuse, a loop device)";
  std::string long_lines;  // two kept lines whose words pass the spool's buffer
  for (int line = 0; line < 2; ++line) {
    for (int i = 0; i < 40000; ++i) long_lines += line == 0 ? "12345678 " : "9abcdef0 ";
    long_lines += "\r\n";
  }
  struct Case {
    std::string program;
    std::vector<std::string> args;
    std::string input;
  };
  for (const Case& c : {
           Case{TOLVANE_PATH, {"-d32", "-fmif", "in_0x10.vh"}, byte_list(1000, 5)},
           Case{MARISK_PATH, {"-d32", "-s16", "-fmi", "in_0x10.vh"}, long_lines},
       }) {
    SCOPED_TRACE(c.args[1]);
    test::TempDir plain;
    test::write_file(plain.path() / "in_0x10.vh", c.input);
    ASSERT_EQ(test::run_program(c.program, c.args, plain.path()).status, 0);
    test::write_file(stick.path() / "in_0x10.vh", c.input);
    const auto result = test::run_program(c.program, c.args, stick.path());
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_EQ(test::list_files(stick.path()), test::list_files(plain.path()));
    for (const std::string& name : test::list_files(plain.path())) {
      EXPECT_EQ(test::read_file(stick.path() / name), test::read_file(plain.path() / name)) << name;
      fs::remove(stick.path() / name);
    }
  }
}

// A hang-up that the parent ignores (nohup) does not end the run.
TEST(WholeOutput, AnIgnoredHangUpStaysIgnored) {
  test::TempDir dir;
  ASSERT_EQ(mkfifo((dir.path() / "big.txt").c_str(), 0644), 0);
  test::StartedProgram run(
      "/bin/bash", {"-c", "trap '' HUP && exec \"$0\" \"$@\"", TOLVANE_PATH, "-d32", "big.txt"},
      dir.path());
  const std::string bytes = byte_list(400000, 11);
  {
    std::ofstream input(dir.path() / "big.txt", std::ios::binary);
    input << bytes.substr(0, 800000) << std::flush;
    ASSERT_TRUE(wait_for([&] { return has_temporary_file(dir.path()); }));
    kill(run.pid(), SIGHUP);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    input << bytes.substr(800000);
  }
  const auto result = run.finish();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(test::read_file(dir.path() / "big.vh"), image_of(bytes));
}

// Standard error names the file that failed, as given, and why: an output whose folder
// is missing, and ELF input (read at positions) through a FIFO.
TEST(WholeOutput, AFileErrorNamesTheFileAndWhy) {
  struct Case {
    std::string command;  // with "$0" the program
    std::string out_end;
    std::string err;
  };
  for (const Case& c : {
           Case{"exec \"$0\" -onowhere/rom.vh rom.txt", "input files check\nFile I/O error.\n",
                "tolvane: nowhere/rom.vh: No such file or directory\n"},
           Case{"mkfifo fw.elf && { cat rom.txt >fw.elf & } && exec \"$0\" -e fw.elf",
                "input files processing\nFile I/O error.\n",
                "tolvane: fw.elf: ELF input must be a file, not a pipe\n"},
       }) {
    SCOPED_TRACE(c.command);
    test::TempDir dir;
    test::write_file(dir.path() / "rom.txt",
                     "\x7F"
                     "ELF\n");
    const auto result = test::run_program("/bin/bash", {"-c", c.command, TOLVANE_PATH}, dir.path());
    EXPECT_EQ(result.status, 2);
    EXPECT_TRUE(result.out.ends_with(c.out_end)) << result.out;
    EXPECT_EQ(result.err, c.err);
  }
}

// A file that fails every read is reported once, not read again forever.
TEST(WholeOutput, AReadErrorIsReported) {
  test::TempDir dir;
  fs::create_symlink("/proc/self/mem", dir.path() / "mem.txt");
  const auto result = test::run_program(TOLVANE_PATH, {"mem.txt"}, dir.path());
  EXPECT_EQ(result.status, 2);
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(result.out.substr(result.out.size() - 16), "File I/O error.\n");
  EXPECT_TRUE(result.err.starts_with("tolvane: mem.txt: ")) << result.err;
  EXPECT_EQ(test::list_files(dir.path()), (std::vector<std::string>{"mem.txt"}));
}

// Out of memory, the run says so and leaves nothing behind, whichever allocation fails.
TEST(WholeOutput, RunningOutOfMemoryIsReported) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers need more address space than any limit leaves";
#endif
  test::TempDir dir;
  test::write_file(dir.path() / "img_0x100.vh", "@0\t00112233\r\n");
  int reported = 0;
  for (int limit = 5000; limit <= 14000; limit += 1000) {
    const auto result =
        test::run_program("/bin/bash",
                          {"-c", "ulimit -v " + std::to_string(limit) + " && exec \"$0\" \"$@\"",
                           MARISK_PATH, "-d1016", "img_0x100.vh"},
                          dir.path());
    if (result.status == 127) continue;  // too little even to load the program
    if (result.status == 2) {
      EXPECT_EQ(result.out.substr(result.out.size() - 24), "ERR: Not enough memory.\n");
      ++reported;
    } else {
      EXPECT_EQ(result.status, 0) << limit;
    }
    EXPECT_FALSE(has_temporary_file(dir.path())) << limit;
    for (const std::string& name : test::list_files(dir.path())) {
      if (name != "img_0x100.vh") fs::remove(dir.path() / name);
    }
  }
  EXPECT_GT(reported, 0);

  // A modest limit is enough for 127 banks of a real image.
  std::string image;
  for (int line = 0; line < 20000; ++line) {  // in steps, which g++'s bounds check reads right
    image += '@';
    image += std::to_string(line);
    image += '\t';
    image.append(254, "0123456789ABCDEF"[line % 16]);
    image += "\r\n";
  }
  test::write_file(dir.path() / "img_0x100.vh", image);
  const auto result = test::run_program(
      "/bin/bash",
      {"-c", "ulimit -v 16000 && exec \"$0\" \"$@\"", MARISK_PATH, "-d1016", "img_0x100.vh"},
      dir.path());
  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_EQ(test::list_files(dir.path()).size(), 128u);
}

}  // namespace
