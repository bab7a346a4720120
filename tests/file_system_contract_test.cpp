// The promises of the file-system interface, each kept alike by the in-memory file
// system the run tests use and by the real one in a temporary folder: a row that holds
// for one and not the other is a fault in one of them.

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "file_system.hpp"
#include "memory_file_system.hpp"
#include "path_parts.hpp"
#include "same_file.hpp"
#include "test_files.hpp"
#ifndef _WIN32
#include "test_programs.hpp"
#endif

namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

// A file system with its names in the folder at, and what a file there was given
// besides its bytes, as shown().
struct Place {
  platform::FileSystem& files;
  std::string at;
  std::function<std::string(const std::string& name)> shown;
};

std::string octal(unsigned mode) {
  char text[16];
  std::snprintf(text, sizeof text, "%o", mode);
  return text;
}

// What a file is given besides its bytes. Shown as its permission bits in octal, then
// its group where that is not its folder's, then its named ACL entries and mask as
// "getfacl -n" writes them, joined by commas.
struct Attributes {
  unsigned mode = 0644;
  unsigned group = 0;  // 0: its folder's
  std::string acl = {};
};

std::string shown(const Attributes& given) {
  std::string text = octal(given.mode);
  if (given.group != 0) text += " group " + std::to_string(given.group);
  if (!given.acl.empty()) text += ' ' + given.acl;
  return text;
}

// Whom a row's promise is for on the real file system: root may write any file, and
// only root may give a file any group.
enum class Runner { anyone, root, ordinary_user };

struct Contract {
  const char* name = "";
  Files files = {};                                             // in one folder
  std::vector<std::pair<std::string, std::string>> links = {};  // name, target in that folder
  // What the promise gives, as text.
  std::function<std::string(const Place&)> act = {};
  std::string gives = {};
  Files left = {};                               // the regular files afterwards
  std::map<std::string, Attributes> given = {};  // of the files, where not 0644
  std::vector<std::string> folders = {};         // in that folder
  std::vector<std::string> drop_boxes = {};      // folders some may write but not read
  // The folder's default ACL, given once the files are made. The in-memory file system
  // gives a new file nothing from its folder.
  std::string folder_default_acl = {};
  Files made_after = {};  // files made then, as any program makes them
  Runner runner = Runner::anyone;
  // False for a promise of POSIX file systems (modes, owners, ACL entries) or of the
  // stick alone; so is every row that gives files such attributes.
  bool windows = true;
  bool any_case = false;  // the files left may have any spelling
  friend void PrintTo(const Contract& c, std::ostream* os) { *os << c.name; }
};

std::string said(platform::NameResult result) {
  return result == platform::NameResult::done    ? "done"
         : result == platform::NameResult::taken ? "taken"
                                                 : "failed";
}

// A chain of count links to "f": l0 -> l1 -> ... -> f.
std::vector<std::pair<std::string, std::string>> chain(int count) {
  std::vector<std::pair<std::string, std::string>> links;
  std::string target = "f";
  for (int i = count - 1; i >= 0; --i) {
    std::string name = std::to_string(i);
    name.insert(0, 1, 'l');
    links.emplace_back(name, target);
    target = std::move(name);
  }
  return links;
}

// Where the chain of links from the name ends, as a name in the folder; "none" when refused.
std::function<std::string(const Place&)> resolving(std::string name) {
  return [name](const Place& place) -> std::string {
    const auto target = place.files.resolve_links(place.at + name);
    if (!target) return "none";
    const bool here = place.files.identity(platform::folder_of(*target)) ==
                      place.files.identity(place.at.empty() ? "." : place.at);
    return here ? std::string(platform::path_parts(*target).file) : *target;
  };
}

// Whether the names' folder locks are one: "one" or "two".
std::function<std::string(const Place&)> locks_of(std::string a, std::string b) {
  return [a, b](const Place& place) -> std::string {
    const auto first = place.files.folder_lock(place.at + a);
    const auto second = place.files.folder_lock(place.at + b);
    if (!first || !second) return "none";
    return first->folder() == second->folder() ? "one" : "two";
  };
}

// The files left, as the row expects them; where case is ignored, every file system may
// keep a spelling of its own when one replaces another, so names are compared in lower case.
void expect_left(Files left, const Contract& c) {
  const auto lower = [](Files files) {
    Files lowered;
    for (auto& [name, bytes] : files) {
      std::string folded = name;
      for (char& ch : folded) ch = ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
      lowered[folded] = std::move(bytes);
    }
    return lowered;
  };
  if (c.any_case) {
    EXPECT_EQ(lower(std::move(left)), lower(c.left));
  } else {
    EXPECT_EQ(left, c.left);
  }
}

// Runs the row in memory, in a file system set up as the caller says.
void hold_in_memory(const Contract& c, test::MemoryFileSystem& files) {
  for (const auto& [name, bytes] : c.files) files.files[name] = {bytes};
  for (const auto& [name, bytes] : c.made_after) files.files[name] = {bytes};
  for (const auto& [name, target] : c.links) files.links[name] = target;
  for (const auto& [name, given] : c.given) {
    files.files[name].permissions = given.mode;
    files.files[name].group = given.group;
    files.files[name].acl = given.acl;
  }
  files.directories.insert(c.folders.begin(), c.folders.end());
  files.directories.insert(c.drop_boxes.begin(), c.drop_boxes.end());
  files.drop_boxes.insert(c.drop_boxes.begin(), c.drop_boxes.end());
  EXPECT_EQ(c.act({files, "",
                   [&](const std::string& name) {
                     const test::MemoryFile& file = files.files[name];
                     return shown({file.permissions, file.group, file.acl});
                   }}),
            c.gives);
  Files left;
  for (const auto& [name, file] : files.files) left[name] = file.bytes;
  expect_left(std::move(left), c);
}

#ifndef _WIN32
// What the real file system gave a file, as shown().
std::string shown_on_disk(const std::string& name) {
  struct stat info {};
  struct stat folder {};
  if (stat(name.c_str(), &info) != 0) return "missing";
  if (stat(platform::folder_of(name).c_str(), &folder) != 0) return "no folder";
  std::string acl;
  if (getxattr(name.c_str(), "system.posix_acl_access", nullptr, 0) > 0) {
    std::istringstream lines(test::command_output("getfacl -cpn '" + name + "'"));
    for (std::string line; std::getline(lines, line);) {
      line = line.substr(0, line.find('\t'));  // without the effective rights
      if (line.starts_with("mask::") || (!line.empty() && line.find("::") == std::string::npos)) {
        acl += (acl.empty() ? "" : ",") + line;
      }
    }
  }
  return shown({info.st_mode & 07777, info.st_gid == folder.st_gid ? 0 : info.st_gid, acl});
}

// Gives the files and folders the row's attributes.
void give_attributes(const Contract& c, const fs::path& dir) {
  for (const auto& [name, given] : c.given) {
    const std::string path = (dir / name).string();
    ASSERT_EQ(chmod(path.c_str(), given.mode), 0);
    if (given.group != 0) {
      ASSERT_EQ(chown(path.c_str(), static_cast<uid_t>(-1), given.group), 0);
    }
    if (!given.acl.empty()) {
      ASSERT_EQ(std::system(("setfacl -m '" + given.acl + "' '" + path + "'").c_str()), 0);
    }
  }
  for (const std::string& folder : c.drop_boxes) fs::permissions(dir / folder, fs::perms(0733));
  if (!c.folder_default_acl.empty()) {
    ASSERT_EQ(std::system(
                  ("setfacl -d -m '" + c.folder_default_acl + "' '" + dir.string() + "'").c_str()),
              0);
  }
}
#endif

// Whether the row can run on this system's file systems, as this user.
std::optional<std::string> cannot_run(const Contract& c) {
#ifdef _WIN32
  if (!c.windows || !c.given.empty() || !c.drop_boxes.empty() || !c.folder_default_acl.empty() ||
      c.runner != Runner::anyone) {
    return "a promise of POSIX file systems";
  }
#else
  if (c.runner == Runner::root && geteuid() != 0) return "a promise to root";
  if (c.runner == Runner::ordinary_user && geteuid() == 0) return "root may write any file";
#endif
  return std::nullopt;
}

// Runs the row in a folder of a real file system.
void hold_on_disk(const Contract& c, const fs::path& dir) {
  for (const auto& [name, bytes] : c.files) test::write_file(dir / name, bytes);
  for (const std::string& folder : c.folders) fs::create_directory(dir / folder);
  for (const std::string& folder : c.drop_boxes) fs::create_directory(dir / folder);
  for (const auto& [name, target] : c.links) {
    std::error_code failed;
    if (fs::is_directory(dir / target)) {
      fs::create_directory_symlink(target, dir / name, failed);
    } else {
      fs::create_symlink(target, dir / name, failed);
    }
    if (failed) GTEST_SKIP() << "no links can be made here: " << failed.message();  // Wine
  }
#ifdef _WIN32
  const auto shown_on_disk = [](const std::string&) { return std::string(); };
#else
  give_attributes(c, dir);
  if (testing::Test::HasFatalFailure()) return;
#endif
  for (const auto& [name, bytes] : c.made_after) test::write_file(dir / name, bytes);
  EXPECT_EQ(c.act({platform::real_file_system(), dir.string() + "/", shown_on_disk}), c.gives);
  Files left;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (!entry.is_symlink() && entry.is_regular_file()) {
      left[entry.path().filename().string()] = test::read_file(entry.path());
    }
  }
  expect_left(std::move(left), c);
}

class FileSystemContract : public testing::TestWithParam<Contract> {};

TEST_P(FileSystemContract, HoldsInMemory) {
  test::MemoryFileSystem files;
  hold_in_memory(GetParam(), files);
}

TEST_P(FileSystemContract, HoldsOnTheRealFileSystem) {
  if (const auto reason = cannot_run(GetParam())) GTEST_SKIP() << *reason;
  test::TempDir dir;
  hold_on_disk(GetParam(), dir.path());
}

const Files kTwo = {{"a", "1"}, {"b", "2"}};

// The listing under the spelling as written and another: "10" where it shows the first only.
std::string listing(const Place& place) {
  const auto spelt = [&](const std::string& name) {
    const auto found = place.files.listed(place.at + name);
    return !found ? "?" : *found ? "1" : "0";
  };
  return std::string(spelt("Zebra.vh")) + spelt("zEBRA.VH");
}

// Whether two spellings are one file where one is there, and one entry where none is
// yet (as a file under one spelling shows): "one" or "two" for each.
std::string spellings(const Place& place) {
  auto& [files, at, shown] = place;
  return std::string(platform::same_file(files, at + "Zebra.vh", at + "zEBRA.VH") ? "one" : "two") +
         (platform::same_entry(files, at + "new.vh", at + "NEW.VH", at + "Zebra.vh") ? " one"
                                                                                     : " two");
}

// A new file "n", closed: whether it was given what "t", made as any program makes a
// file, was given there.
std::string made_alike(const Place& place) {
  auto made = place.files.create_new(place.at + "n", std::nullopt);
  if (!made.file || !made.file->close()) return "not made";
  const std::string made_as = place.shown(place.at + "n");
  const std::string any_file = place.shown(place.at + "t");
  return made_as == any_file ? "alike" : made_as + " against " + any_file;
}

// A new file that replaces "a", closed: what it was given.
std::string closed_like_a(const Place& place) {
  auto made = place.files.create_new(place.at + "n", place.at + "a");
  return made.file && made.file->close() ? place.shown(place.at + "n") : "not made";
}

// Held lines past the kernel's copy in parts of 8 MiB, in a scratch file beside "n".
const std::string kHeld = [] {
  std::string lines;
  for (int i = 0; lines.size() <= (9 << 20); ++i) lines += std::to_string(i) + " : 00;\r\n";
  return lines;
}();

// A new file "n": "head", then what the scratch file holds appended as a formatted image
// appends it (inside the system, else through the program), asked for size bytes more
// than it holds; closed. Whether all were appended.
std::function<std::string(const Place&)> appending(std::size_t more) {
  return [more](const Place& place) -> std::string {
    auto scratch = place.files.create_scratch(place.at + "n");
    auto made = place.files.create_new(place.at + "n", std::nullopt);
    if (!scratch || !made.file || !scratch->write(kHeld) || !made.file->write("head")) {
      return "not made";
    }
    const std::uint64_t size = kHeld.size() + more;
    std::optional<bool> appended = made.file->append_from(*scratch, size);
    if (!appended) {
      std::string block(size, '\0');
      const std::ptrdiff_t count = scratch->read_at(0, block);
      appended = count == static_cast<std::ptrdiff_t>(size);
      if (count > 0)
        made.file->write(std::string_view(block).substr(0, static_cast<std::size_t>(count)));
    }
    return std::string(*appended ? "appended" : "refused") +
           (made.file->close() ? "" : ", not closed");
  };
}

// Rows that hold alike where case counts and where it does not.
const Contract kListingRow{"TheListingHoldsTheSpellingAsWritten",
                           {{"Zebra.vh", ""}},
                           {},
                           listing,
                           "10",
                           {{"Zebra.vh", ""}}};
const Contract kNewFileRow{.name = "ANewFileGetsWhatAnyNewFileGets",
                           .act = made_alike,
                           .gives = "alike",
                           .left = {{"n", ""}, {"t", ""}},
                           .made_after = {{"t", ""}},
                           .windows = false};

INSTANTIATE_TEST_SUITE_P(
    Rows, FileSystemContract,
    testing::Values(
        Contract{.name = "HeldLinesAreAppendedWhole",
                 .act = appending(0),
                 .gives = "appended",
                 .left = {{"n", "head" + kHeld}}},
        Contract{.name = "AScratchFileShorterThanAskedIsRefused",
                 .act = appending(1),
                 .gives = "refused",
                 .left = {{"n", "head" + kHeld}}},
        Contract{"CreateNewRefusesAPlantedFile",
                 {{"a", "old"}},
                 {},
                 [](const Place& place) {
                   auto& [files, at, shown] = place;
                   return said(files.create_new(at + "a", std::nullopt).result);
                 },
                 "taken",
                 {{"a", "old"}}},
        // Private while written; a replacement takes the permissions of what it replaces.
        Contract{.name = "ANewFileIsPrivateUntilClosed",
                 .act =
                     [](const Place& place) {
                       auto& [files, at, shown] = place;
                       auto made = files.create_new(at + "n", std::nullopt);
                       const std::string open = shown(at + "n");
                       const bool written =
                           made.file && made.file->write("new") && made.file->close();
                       return said(made.result) + ' ' + open + (written ? " written" : "");
                     },
                 .gives = "done 600 written",
                 .left = {{"n", "new"}},
                 .windows = false},
        Contract{"AReplacementKeepsTheModeAndSetIdBits",
                 {{"a", "old"}},
                 {},
                 [](const Place& place) {
                   auto& [files, at, shown] = place;
                   auto made = files.create_new(at + "n", at + "a");
                   const bool closed = made.file && made.file->close();
                   return closed ? shown(at + "n") : "not made";
                 },
                 "6750",
                 {{"a", "old"}, {"n", ""}},
                 {{"a", {06750}}}},
        Contract{"AMoveToANewNameRefusesAnExistingOne",
                 kTwo,
                 {},
                 [](const Place& place) {
                   auto& [files, at, shown] = place;
                   return said(files.move_to_new_name(at + "a", at + "b"));
                 },
                 "taken",
                 kTwo},
        Contract{"ASecondNameMustBeNew",
                 kTwo,
                 {},
                 [](const Place& place) {
                   auto& [files, at, shown] = place;
                   return said(files.link(at + "a", at + "b"));
                 },
                 "taken",
                 kTwo},
        Contract{"RenameReplaces",
                 kTwo,
                 {},
                 [](const Place& place) {
                   auto& [files, at, shown] = place;
                   return std::string(files.rename(at + "a", at + "b") ? "renamed" : "not");
                 },
                 "renamed",
                 {{"b", "1"}}},
        Contract{"RemoveRemoves",
                 kTwo,
                 {},
                 [](const Place& place) {
                   auto& [files, at, shown] = place;
                   return std::string(files.remove(at + "a") ? "removed" : "not");
                 },
                 "removed",
                 {{"b", "2"}}},
        Contract{"StatusTellsWhatIsThere",
                 {{"f", ""}},
                 {},
                 [](const Place& place) {
                   auto& [files, at, shown] = place;
                   const auto kind = [&](const std::string& name) {
                     return std::to_string(static_cast<int>(files.status(at + name).kind));
                   };
                   return kind("f") + " " + kind("missing");
                 },
                 "1 0",
                 {{"f", ""}}},
        // Links: followed to the chain's end, as far as the system follows them and no
        // further, a loop refused, a dangling link ending at its missing target.
        Contract{
            "AChainOfLinksEndsAtItsFile", {{"f", ""}}, chain(3), resolving("l0"), "f", {{"f", ""}}},
        Contract{"AChainAsLongAsTheSystemFollows",
                 {{"f", ""}},
                 chain(40),
                 resolving("l0"),
                 "f",
                 {{"f", ""}}},
        Contract{
            "AChainLongerIsRefused", {{"f", ""}}, chain(41), resolving("l0"), "none", {{"f", ""}}},
        Contract{"ALoopIsRefused", {}, {{"a", "b"}, {"b", "a"}}, resolving("a"), "none", {}},
        Contract{"ADanglingLinkEndsAtItsTarget", {}, {{"a", "m"}}, resolving("a"), "m", {}},
        // Identity: one file whatever link reaches it; the listing shows the spelling.
        Contract{"AFileIsKnownByWhatItIs",
                 kTwo,
                 {{"l", "a"}},
                 [](const Place& place) {
                   auto& [files, at, shown] = place;
                   const auto a = files.identity(at + "a");
                   return std::string(a && a == files.identity(at + "l") ? "same" : "not") +
                          (a != files.identity(at + "b") ? " other" : " same") +
                          (files.identity(at + "missing") ? " found" : " missing");
                 },
                 "same other missing",
                 kTwo},
        kListingRow,
        Contract{.name = "TwoSpellingsAreTwoFiles",
                 .files = {{"Zebra.vh", ""}},
                 .act = spellings,
                 .gives = "two two",
                 .left = {{"Zebra.vh", ""}},
                 .windows = false},  // where case counts
        // Attributes: a replacement keeps exactly what the replaced file has, an access
        // list too, and gains nothing from its folder.
        Contract{.name = "AReplacementKeepsTheGroupAndTheAcl",
                 .files = {{"a", "old"}},
                 .act = closed_like_a,
                 .gives = "640 group 65534 user:65534:r--,mask::r--",
                 .left = {{"a", "old"}, {"n", ""}},
                 .given = {{"a", {0640, 65534, "user:65534:r--,mask::r--"}}},
                 .runner = Runner::root},
        Contract{.name = "AReplacementWithoutAnAclGainsNoneFromItsFolder",
                 .files = {{"a", "old"}},
                 .act = closed_like_a,
                 .gives = "640",
                 .left = {{"a", "old"}, {"n", ""}},
                 .given = {{"a", {0640}}},
                 .folder_default_acl = "user:65534:rw-"},
        kNewFileRow,
        Contract{.name = "ANewFileGetsWhatTheFolderGives",
                 .act = made_alike,
                 .gives = "alike",
                 .left = {{"n", ""}, {"t", ""}},
                 .folder_default_acl = "user:65534:rw-,other::---",
                 .made_after = {{"t", ""}}},
        Contract{.name = "AFileItsOwnerMayNotWriteIsNotWritable",
                 .files = {{"r", "old"}},
                 .act =
                     [](const Place& place) {
                       return std::string(place.files.status(place.at + "r").writable ? "writable"
                                                                                      : "not");
                     },
                 .gives = "not",
                 .left = {{"r", "old"}},
                 .given = {{"r", {0444}}},
                 .runner = Runner::ordinary_user},
        // Folder locks: one for every name of a folder, and a drop box's the one of the
        // folder above it, whoever runs.
        Contract{.name = "AFolderIsLockedByWhatItIs",
                 .links = {{"l", "d"}},
                 .act =
                     [](const Place& place) {
                       return locks_of("d", "l")(place) + ' ' + locks_of("d", "e")(place);
                     },
                 .gives = "one two",
                 .folders = {"d", "e"}},
        Contract{.name = "ADropBoxSharesTheLockOfTheFolderAboveIt",
                 .act = locks_of("box", "."),
                 .gives = "one",
                 .drop_boxes = {"box"}}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// On a file system that ignores case (an exFAT stick, through FUSE as many systems mount
// one), where a file answers to every spelling of its name, and which has neither hard
// links nor extended attributes.
class CaseBlindContract : public testing::TestWithParam<Contract> {};

TEST_P(CaseBlindContract, HoldsInMemory) {
  test::MemoryFileSystem files;
  files.ignore_case = true;
  files.hard_links = false;
  hold_in_memory(GetParam(), files);
}

#ifdef _WIN32
// Windows, and Wine on any file system, ignore case too.
TEST_P(CaseBlindContract, HoldsOnTheRealFileSystem) {
  if (const auto reason = cannot_run(GetParam())) GTEST_SKIP() << *reason;
  test::TempDir dir;
  hold_on_disk(GetParam(), dir.path());
}
#else
TEST_P(CaseBlindContract, HoldsOnAStick) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting needs root";
  test::TempDir dir;
  const test::ExfatStick stick(dir.path());
  if (!stick) GTEST_SKIP() << "no exFAT mount through FUSE here (exfat-fuse, a loop device)";
  hold_on_disk(GetParam(), stick.path());
}
#endif

INSTANTIATE_TEST_SUITE_P(
    Rows, CaseBlindContract,
    testing::Values(
        Contract{"EverySpellingReachesTheFile",
                 {{"Zebra.vh", "1"}},
                 {},
                 [](const Place& place) {
                   auto& [files, at, shown] = place;
                   std::string kinds;
                   for (const char* name : {"ZEBRA.VH", "zebra.vh", "zEbRa.Vh"}) {
                     kinds += std::to_string(static_cast<int>(files.status(at + name).kind));
                   }
                   char byte = 0;
                   const auto input = files.open_input(at + "ZEBRA.vh");
                   return kinds + ' ' + (input && input->read({&byte, 1}) == 1 ? byte : '-');
                 },
                 "111 1",
                 {{"Zebra.vh", "1"}}},
        Contract{"CreateNewRefusesAnotherSpelling",
                 {{"Zz.vh", "old"}},
                 {},
                 [](const Place& place) {
                   return said(place.files.create_new(place.at + "zZ.VH", std::nullopt).result);
                 },
                 "taken",
                 {{"Zz.vh", "old"}}},
        kListingRow,
        Contract{"TwoSpellingsAreOneFile",
                 {{"Zebra.vh", ""}},
                 {},
                 spellings,
                 "one one",
                 {{"Zebra.vh", ""}}},
        // The spelling left is the file system's: the stick takes the new one, Wine
        // keeps the old one.
        Contract{.name = "RenameReplacesAnotherSpelling",
                 .files = {{"rom.vh", "old"}, {"t", "new"}},
                 .act =
                     [](const Place& place) {
                       return std::string(place.files.rename(place.at + "t", place.at + "ROM.VH")
                                              ? "renamed"
                                              : "not");
                     },
                 .gives = "renamed",
                 .left = {{"ROM.VH", "new"}},
                 .any_case = true},
        // What the file system cannot do is reported, or done without.
        Contract{.name = "ASecondNameCannotBeGiven",
                 .files = {{"a", "1"}},
                 .act =
                     [](const Place& place) {
                       return said(place.files.link(place.at + "a", place.at + "b"));
                     },
                 .gives = "failed",
                 .left = {{"a", "1"}},
                 .windows = false},
        kNewFileRow,
        Contract{.name = "AFolderLockIsTaken",
                 .act =
                     [](const Place& place) {
                       const auto lock = place.files.folder_lock(place.at + ".");
                       return std::string(!lock ? "none" : lock->take() ? "taken" : "refused");
                     },
                 .gives = "taken"},
        Contract{"AReplacementNeedsNoExtendedAttributes",
                 {{"a", "old"}},
                 {},
                 [](const Place& place) {
                   auto made = place.files.create_new(place.at + "n", place.at + "a");
                   return std::string(made.file && made.file->close() ? "closed" : "not");
                 },
                 "closed",
                 {{"a", "old"}, {"n", ""}}}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
