// Whole runs of both tools on an in-memory file system: a failure at any step leaves
// every file as it was, and an output that cannot be opened is refused where it always was.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "marisk_run.hpp"
#include "memory_file_system.hpp"
#include "tolvane_run.hpp"

namespace {

using Files = std::map<std::string, test::MemoryFile>;
using Run = int (*)(std::span<const std::string_view>, platform::Console&, platform::FileSystem&);

const std::string kRom = "00\r\n11\r\n22\r\n33\r\nde\r\nad\r\nbe\r\nef\r\nca\r\nfe\r\n";
const std::string kImage = "@0\t00112233\r\n@1\tDEADBEEF\r\n@2\tCAFE0000\r\n";
const std::string kOld = "@0\told\r\n";

const std::string kTolvaneOpened =
    "\ntext 2 vh conversion utility.\nversion 1.0.0 (2.09.08) \n\n\narguments processing\n"
    "data_width [1]: 32\ndone\n\ninput files check\n";
const std::string kTolvaneDone =
    kTolvaneOpened + "done\n\ninput files processing\ndone\n\nprocessing complete!\n";
const std::string kTolvaneFailed =
    kTolvaneOpened + "done\n\ninput files processing\nFile I/O error.\n";
const std::string kTolvaneRefused = kTolvaneOpened + "File I/O error.\n";
const std::string kAcl = "user:1000:rw-,mask::rw-";
const std::string kMariskBannerOnly = "\nmarisk utility.\nversion 1.0 (31.03.08) \n\n";
const std::string kMariskBanner = kMariskBannerOnly + "\ninput files check\t-\t";
const std::string kMariskOpened =
    kMariskBanner + "done\n\nform file name\t\t-\tdone\n\ndata processing\t\t-\t";
const std::string kUtf16 = "ERR: Input file is UTF-16 text; save it as ASCII or UTF-8: ";
const std::string kUtf16Le(
    "\xFF\xFE"
    "3\0f\0\r\0\n\0",
    10);
const std::string kUtf16Be(
    "\xFE\xFF\0"
    "3\0f\0\r\0\n",
    10);
const std::string kMariskDone = kMariskOpened + "done\n";
const std::string kMariskFailed = kMariskOpened + "File I/O error.\n";
const std::string kMariskHalvesOpened =
    "\nmarisk utility.\nversion 1.0 (31.03.08) \n\nsplit_width[1]: 16\n\ninput files check\t-\t"
    "done\n\nform file name\t\t-\tdone\n\ndata processing\t\t-\t";
const std::string kMariskHalvesDone = kMariskHalvesOpened + "done\n";
const std::string kMariskHalvesFailed = kMariskHalvesOpened + "File I/O error.\n";

const Files kBanks = {{"img_0x400_3.vh", {"@0\t00\r\n@1\tDE\r\n@2\tCA\r\n", 0644}},
                      {"img_0x400_2.vh", {"@0\t11\r\n@1\tAD\r\n@2\tFE\r\n", 0644}},
                      {"img_0x400_1.vh", {"@0\t22\r\n@1\tBE\r\n@2\t00\r\n", 0644}},
                      {"img_0x400_0.vh", {"@0\t33\r\n@1\tEF\r\n@2\t00\r\n", 0644}}};

const std::string kTolvaneMifOpened =
    "\ntext 2 vh conversion utility.\nversion 1.0.0 (2.09.08) \n\n\narguments processing\n"
    "data_width [1]: 32\noutput_format [2]: mif\ndone\n\ninput files check\n";
const std::string kMif =
    "DEPTH = 3;\r\nWIDTH = 32;\r\nADDRESS_RADIX = HEX;\r\nDATA_RADIX = HEX;\r\nCONTENT\r\n"
    "BEGIN\r\n0 : 00112233;\r\n1 : DEADBEEF;\r\n2 : CAFE0000;\r\nEND;\r\n";

// kRom's bytes in lines long enough to foretell ten words.
const std::string kRomPadded =
    "0x00000000\r\n0x00000011\r\n0x00000022\r\n0x00000033\r\n0x000000de\r\n0x000000ad\r\n"
    "0x000000be\r\n0x000000ef\r\n0x000000ca\r\n0x000000fe\r\n";

// Two memory-file lines whose words pass the spool's buffer into its scratch file, each
// word a number of its own, and the two banks of 16 bits they split into.
struct Spooled {
  std::string image;
  std::string high;
  std::string low;
};
const Spooled kSpooled = [] {
  Spooled spooled;
  char word[16];
  char line[32];
  for (unsigned i = 0; i < 40000; ++i) {
    std::snprintf(word, sizeof word, "%08X ", i * 0x10003u);
    spooled.image += word;
    std::snprintf(line, sizeof line, "@%X\t%.4s\r\n", i, word);
    spooled.high += line;
    std::snprintf(line, sizeof line, "@%X\t%.4s\r\n", i, word + 4);
    spooled.low += line;
    if (i == 19999) spooled.image += "\r\n";
  }
  spooled.image += "\r\n";
  return spooled;
}();

Files with(Files files, const Files& more) {
  for (const auto& [name, file] : more) files[name] = file;
  return files;
}

struct RunCase {
  const char* name;
  Run run;
  std::vector<std::string_view> args;
  Files before;
  std::string done;                  // what a whole run prints
  Files after;                       // and leaves
  std::string failed;                // what a run that fails after opening its outputs prints
  std::string refused;               // and one that cannot open them
  std::set<std::string> pipes = {};  // inputs read as from a pipe
  friend void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }
};

class FailedRun : public testing::TestWithParam<RunCase> {};

// The file systems a commit must work on: with and without hard links (exFAT), and
// with stale files planted at the first temporary and the first backup name.
struct FileSystemMode {
  const char* name;
  bool hard_links;
  bool stale_names;
};
constexpr FileSystemMode kModes[] = {{"hard links", true, false},
                                     {"no hard links", false, false},
                                     {"hard links and stale names", true, true},
                                     {"no hard links and stale names", false, true}};

TEST_P(FailedRun, LeavesEveryFileAsItWas) {
  const RunCase& c = GetParam();
  for (const FileSystemMode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    const auto prepared = [&] {
      auto files = std::make_unique<test::MemoryFileSystem>();
      files->files = c.before;
      files->hard_links = mode.hard_links;
      files->stale_names = mode.stale_names;
      files->pipes = c.pipes;
      return files;
    };
    const auto clean = prepared();
    test::MemoryConsole console;
    ASSERT_EQ(c.run(c.args, console, *clean), 0);
    EXPECT_EQ(console.out_text, c.done);
    EXPECT_EQ(clean->files, with(c.after, clean->planted));
    EXPECT_FALSE(clean->exposed);  // written while readable by its owner only

    for (const test::Step step : test::kSteps) {
      for (int k = 1; k <= clean->count(step); ++k) {
        SCOPED_TRACE(testing::Message() << test::step_name(step) << " " << k << " fails");
        const auto files = prepared();
        files->fail(step, k);
        test::MemoryConsole failing;
        const int status = c.run(c.args, failing, *files);
        if (step == test::Step::link) {
          // Where no hard link can be made, the old file is moved aside instead.
          EXPECT_EQ(failing.err_text, "");
          EXPECT_EQ(status, 0);
          EXPECT_EQ(failing.out_text, c.done);
          EXPECT_EQ(files->files, with(c.after, files->planted));
          continue;
        }
        EXPECT_EQ(status, 2);
        EXPECT_EQ(failing.out_text, step == test::Step::create ? c.refused : c.failed);
        // Which file failed, and why: one of the run's files, or its scratch file.
        const std::string program = c.run == converter::run ? "tolvane: " : "marisk: ";
        const std::string& err = failing.err_text;
        const std::string cause = ": Input/output error\n";
        ASSERT_TRUE(err.starts_with(program) && err.ends_with(cause)) << err;
        const std::string named =
            err.substr(program.size(), err.size() - program.size() - cause.size());
        EXPECT_TRUE(named == "temporary file" || c.after.contains(named)) << err;
        // Old outputs byte for byte with their modes and ACLs, nothing hidden left.
        EXPECT_EQ(files->files, with(c.before, files->planted));
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedRun,
    testing::Values(
        RunCase{"TolvaneNewOutput",
                converter::run,
                {"-d32", "rom.txt"},
                {{"rom.txt", {kRom}}},
                kTolvaneDone,
                {{"rom.txt", {kRom}}, {"rom.vh", {kImage}}},
                kTolvaneFailed,
                kTolvaneRefused},
        RunCase{"TolvaneReplacesAndKeepsPermissions",
                converter::run,
                {"-d32", "rom.txt"},
                {{"rom.txt", {kRom}}, {"rom.vh", {kOld, 0640, kAcl}}},
                kTolvaneDone,
                {{"rom.txt", {kRom}}, {"rom.vh", {kImage, 0640, kAcl}}},
                kTolvaneFailed,
                kTolvaneRefused},
        // Binary input is read without the text rules: its read fails alike.
        RunCase{"TolvaneBinaryInput",
                converter::run,
                {"-d32", "-b", "fw.bin"},
                {{"fw.bin", {"\x12\x34\r\n\x1a"}}},
                kTolvaneDone,
                {{"fw.bin", {"\x12\x34\r\n\x1a"}}, {"fw.vh", {"@0\t12340D0A\r\n@1\t1A000000\r\n"}}},
                kTolvaneFailed,
                kTolvaneRefused},
        // An input of no known size foretells no depth: the word lines wait in a scratch
        // file until it is known.
        RunCase{
            "TolvaneMifWaitsForItsDepth",
            converter::run,
            {"-d32", "-fmif", "rom.txt"},
            {{"rom.txt", {kRom}}},
            kTolvaneMifOpened + "done\n\ninput files processing\ndone\n\nprocessing complete!\n",
            {{"rom.txt", {kRom}}, {"rom.mif", {kMif}}},
            kTolvaneMifOpened + "done\n\ninput files processing\nFile I/O error.\n",
            kTolvaneMifOpened + "File I/O error.\n",
            {"rom.txt"}},
        // More words foretold by the input's size than come: the word lines move down.
        RunCase{
            "TolvaneMifLinesMoved",
            converter::run,
            {"-d32", "-fmif", "rom.txt"},
            {{"rom.txt", {kRomPadded}}},
            kTolvaneMifOpened + "done\n\ninput files processing\ndone\n\nprocessing complete!\n",
            {{"rom.txt", {kRomPadded}}, {"rom.mif", {kMif}}},
            kTolvaneMifOpened + "done\n\ninput files processing\nFile I/O error.\n",
            kTolvaneMifOpened + "File I/O error.\n"},
        // Every word of two spooled lines in order: none lost, none read twice.
        RunCase{"MariskLinesPastTheSpoolsBuffer",
                splitter::run,
                {"-s16", "img_0x100.vh"},
                {{"img_0x100.vh", {kSpooled.image}}},
                kMariskHalvesDone,
                {{"img_0x100.vh", {kSpooled.image}},
                 {"img_0x200_1.vh", {kSpooled.high}},
                 {"img_0x200_0.vh", {kSpooled.low}}},
                kMariskHalvesFailed,
                kMariskHalvesFailed},
        RunCase{"MariskNewBanks",
                splitter::run,
                {"img_0x100.vh"},
                {{"img_0x100.vh", {kImage}}},
                kMariskDone,
                with(kBanks, {{"img_0x100.vh", {kImage}}}),
                kMariskFailed,
                kMariskFailed},
        // The smallest commit that needs backups.
        RunCase{"MariskBothBanksReplaced",
                splitter::run,
                {"-s16", "img_0x100.vh"},
                {{"img_0x100.vh", {kImage}},
                 {"img_0x200_1.vh", {kOld, 04755}},
                 {"img_0x200_0.vh", {kOld, 0660, kAcl}}},
                kMariskHalvesDone,
                {{"img_0x100.vh", {kImage}},
                 {"img_0x200_1.vh", {"@0\t0011\r\n@1\tDEAD\r\n@2\tCAFE\r\n", 04755}},
                 {"img_0x200_0.vh", {"@0\t2233\r\n@1\tBEEF\r\n@2\t0000\r\n", 0660, kAcl}}},
                kMariskHalvesFailed,
                kMariskHalvesFailed},
        // Two banks replaced and two new: a failure puts back both kinds.
        RunCase{"MariskSomeBanksReplaced",
                splitter::run,
                {"img_0x100.vh"},
                {{"img_0x100.vh", {kImage}},
                 {"img_0x400_3.vh", {kOld}},
                 {"img_0x400_1.vh", {kOld, 0600}}},
                kMariskDone,
                with(kBanks, {{"img_0x100.vh", {kImage}},
                              {"img_0x400_1.vh", {"@0\t22\r\n@1\tBE\r\n@2\t00\r\n", 0600}}}),
                kMariskFailed,
                kMariskFailed}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

struct OpenCase {
  const char* name;
  Run run;
  std::vector<std::string_view> args;
  void (*prepare)(test::MemoryFileSystem&);
  std::string out;
  int status;
  Files after;
  std::size_t most_scratch = 0;  // the most bytes a scratch file may hold
};

// A line of word items that turns out to be skipped, longer than the words a block holds.
const std::string kLongSkipped = [] {
  std::string line;
  for (int i = 0; i < 120000; ++i) line += "12 ";
  return line + "hello\r\n34\r\n";
}();

TEST(InMemoryRun, RefusesWhereItMustAndWritesDirectlyWhereItMust) {
  const Files rom = {{"rom.txt", {kRom}}, {"rom.vh", {kOld, 0600}}};
  const Files image = {{"img_0x100.vh", {kImage}}, {"img_0x400_3.vh", {kOld}}};
  for (const OpenCase& c : {
           OpenCase{"a directory in the way",
                    converter::run,
                    {"-d32", "rom.txt"},
                    [](auto& files) {
                      files.files.erase("rom.vh");
                      files.directories.insert("rom.vh");
                    },
                    kTolvaneOpened + "File I/O error.\n",
                    2,
                    {{"rom.txt", {kRom}}}},
           OpenCase{"a read-only output",
                    converter::run,
                    {"-d32", "rom.txt"},
                    [](auto& files) { files.read_only.insert("rom.vh"); },
                    kTolvaneOpened + "File I/O error.\n",
                    2,
                    rom},
           OpenCase{"no new file can be made, and none is there",
                    converter::run,
                    {"-d32", "rom.txt"},
                    [](auto& files) {
                      files.files.erase("rom.vh");
                      files.refuse_new_files = true;
                    },
                    kTolvaneOpened + "File I/O error.\n",
                    2,
                    {{"rom.txt", {kRom}}}},
           // Never written in place, although the old file is writable.
           OpenCase{"no new file can be made, and one is there",
                    converter::run,
                    {"-d32", "rom.txt"},
                    [](auto& files) { files.refuse_new_files = true; },
                    kTolvaneOpened + "File I/O error.\n",
                    2,
                    rom},
           OpenCase{"a link loop",
                    converter::run,
                    {"-d32", "rom.txt"},
                    [](auto& files) {
                      files.files.erase("rom.vh");
                      files.links = {{"rom.vh", "loop.vh"}, {"loop.vh", "rom.vh"}};
                    },
                    kTolvaneOpened + "File I/O error.\n",
                    2,
                    {{"rom.txt", {kRom}}}},
           OpenCase{"a link followed: its target replaced",
                    converter::run,
                    {"-d32", "rom.txt"},
                    [](auto& files) {
                      files.files.erase("rom.vh");
                      files.files["real/rom.vh"] = {kOld, 0640};
                      files.links = {{"rom.vh", "real/rom.vh"}};
                    },
                    kTolvaneDone,
                    0,
                    {{"rom.txt", {kRom}}, {"real/rom.vh", {kImage, 0640}}}},
           // Another user's file in a sticky folder: the commit fails before it gives
           // the file a second name that the run could not remove.
           OpenCase{"a bank that is another user's file in a sticky folder",
                    splitter::run,
                    {"img_0x100.vh"},
                    [](auto& files) { files.others_files.insert("img_0x400_3.vh"); },
                    kMariskFailed,
                    2,
                    image},
           OpenCase{"two banks that name one file",
                    splitter::run,
                    {"img_0x100.vh"},
                    [](auto& files) {
                      files.links = {{"img_0x400_2.vh", "img_0x400_3.vh"}};
                    },
                    kMariskFailed,
                    2,
                    image},
           // Through links by two spellings of one folder, to one file not there yet.
           OpenCase{"two banks that end at one missing file",
                    splitter::run,
                    {"img_0x100.vh"},
                    [](auto& files) {
                      files.files.erase("img_0x400_3.vh");
                      files.links = {{"img_0x400_3.vh", "real/x.vh"},
                                     {"img_0x400_2.vh", "./real/../real/x.vh"}};
                    },
                    kMariskFailed,
                    2,
                    {{"img_0x100.vh", {kImage}}}},
           // As on exFAT: one file, whatever the case, each spelling its own identity.
           OpenCase{"two banks that name one missing file in two cases",
                    splitter::run,
                    {"img_0x100.vh"},
                    [](auto& files) {
                      files.ignore_case = true;
                      files.files.erase("img_0x400_3.vh");
                      files.links = {{"img_0x400_3.vh", "data.vh"}, {"img_0x400_2.vh", "DATA.vh"}};
                    },
                    kMariskFailed,
                    2,
                    {{"img_0x100.vh", {kImage}}}},
           OpenCase{"two banks that name one file in two cases",
                    splitter::run,
                    {"img_0x100.vh"},
                    [](auto& files) {
                      files.ignore_case = true;
                      files.links = {{"img_0x400_2.vh", "IMG_0X400_3.VH"}};
                    },
                    kMariskFailed,
                    2,
                    image},
           OpenCase{"an output that is the input in another case",
                    converter::run,
                    {"-d32", "ROM.VH"},
                    [](auto& files) {
                      files.ignore_case = true;
                      files.files = {{"ROM.VH", {kImage}}};
                    },
                    kTolvaneOpened + "ERR: Output file would replace the input file: ROM.vh\n",
                    2,
                    {{"ROM.VH", {kImage}}}},
           OpenCase{"a bank that is the input in another case",
                    splitter::run,
                    {"-d8", "-s8", "X_0X10_0.VH"},
                    [](auto& files) {
                      files.ignore_case = true;
                      files.files = {{"X_0X10_0.VH", {kImage}}};
                    },
                    kMariskBannerOnly +
                        "data_width [1]: 8\nsplit_width[2]: 8\n\ninput files check\t-\t"
                        "done\n\nform file name\t\t-\tERR: Bank file would replace the input "
                        "file: X_0x10_0.vh\n",
                    2,
                    {{"X_0X10_0.VH", {kImage}}}},
           // Where case counts, two files that differ in case are two files.
           OpenCase{"an input and an output that differ in case where case counts",
                    converter::run,
                    {"-d32", "ROM.VH"},
                    [](auto& files) {
                      files.files = {{"ROM.VH", {kRom}}, {"ROM.vh", {kOld}}};
                    },
                    kTolvaneDone,
                    0,
                    {{"ROM.VH", {kRom}}, {"ROM.vh", {kImage}}}},
           OpenCase{"a device",
                    converter::run,
                    {"-d32", "rom.txt"},
                    [](auto& files) {
                      files.files.erase("rom.vh");
                      files.devices.insert("rom.vh");
                    },
                    kTolvaneDone,
                    0,
                    {{"rom.txt", {kRom}}}},
           // The words of the long line wait in the spool, never reaching the device.
           OpenCase{"a device bank and a long line skipped",
                    splitter::run,
                    {"img_0x100.vh"},
                    [](auto& files) {
                      files.files = {{"img_0x100.vh", {kLongSkipped}}};
                      files.devices.insert("img_0x400_0.vh");
                    },
                    kMariskDone,
                    0,
                    {{"img_0x100.vh", {kLongSkipped}},
                     {"img_0x400_3.vh", {"@0\t00\r\n"}},
                     {"img_0x400_2.vh", {"@0\t00\r\n"}},
                     {"img_0x400_1.vh", {"@0\t00\r\n"}}},
                    kLongSkipped.size()},
           // The zero words owed to the depth are not formed once the output failed.
           OpenCase{"a write failure before four billion words of depth",
                    converter::run,
                    {"-d16", "-n4294967295", "rom.txt"},
                    [](auto& files) { files.fail(test::Step::write, 1); },
                    "\ntext 2 vh conversion utility.\nversion 1.0.0 (2.09.08) \n\n\narguments "
                    "processing\ndata_width [1]: 16\nmemory_depth [2]: 4294967295\ndone\n\ninput "
                    "files check\ndone\n\ninput files processing\nFile I/O error.\n",
                    2,
                    rom},
           OpenCase{"a bank directory in the way",
                    splitter::run,
                    {"img_0x100.vh"},
                    [](auto& files) { files.directories.insert("img_0x400_1.vh"); },
                    kMariskFailed,
                    2,
                    image},
           OpenCase{"a read-only bank",
                    splitter::run,
                    {"img_0x100.vh"},
                    [](auto& files) { files.read_only.insert("img_0x400_3.vh"); },
                    kMariskFailed,
                    2,
                    image},
           OpenCase{"UTF-16 LE byte list",
                    converter::run,
                    {"-d32", "rom.txt"},
                    [](auto& files) { files.files["rom.txt"].bytes = kUtf16Le; },
                    kTolvaneOpened + kUtf16 + "rom.txt\n",
                    2,
                    {{"rom.txt", {kUtf16Le}}, {"rom.vh", {kOld, 0600}}}},
           OpenCase{"UTF-16 BE byte list",
                    converter::run,
                    {"-d32", "rom.txt"},
                    [](auto& files) { files.files["rom.txt"].bytes = kUtf16Be; },
                    kTolvaneOpened + kUtf16 + "rom.txt\n",
                    2,
                    {{"rom.txt", {kUtf16Be}}, {"rom.vh", {kOld, 0600}}}},
           OpenCase{"UTF-16 LE image",
                    splitter::run,
                    {"img_0x100.vh"},
                    [](auto& files) { files.files["img_0x100.vh"].bytes = kUtf16Le; },
                    kMariskBanner + kUtf16 + "img_0x100.vh\n",
                    2,
                    {{"img_0x100.vh", {kUtf16Le}}, {"img_0x400_3.vh", {kOld}}}},
           OpenCase{"UTF-16 BE image",
                    splitter::run,
                    {"img_0x100.vh"},
                    [](auto& files) { files.files["img_0x100.vh"].bytes = kUtf16Be; },
                    kMariskBanner + kUtf16 + "img_0x100.vh\n",
                    2,
                    {{"img_0x100.vh", {kUtf16Be}}, {"img_0x400_3.vh", {kOld}}}},
       }) {
    test::MemoryFileSystem files;
    files.files = c.run == converter::run ? rom : image;
    c.prepare(files);
    test::MemoryConsole console;
    EXPECT_EQ(c.run(c.args, console, files), c.status) << c.name;
    EXPECT_EQ(console.out_text, c.out) << c.name;
    EXPECT_EQ(files.files, c.after) << c.name;
    EXPECT_LE(files.largest_scratch, c.most_scratch) << c.name;
  }
}

}  // namespace
