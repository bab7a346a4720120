// The promises of the file-system interface, each kept alike by the in-memory file
// system the run tests use and by the real one in a temporary folder: a row that holds
// for one and not the other is a fault in one of them.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "file_system.hpp"
#include "memory_file_system.hpp"
#include "test_files.hpp"

namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

// A file system with its names in the folder at, and a file's permission bits there, in
// octal.
struct Place {
  platform::FileSystem& files;
  std::string at;
  std::function<std::string(const std::string& name)> mode_of;
};

std::string octal(unsigned mode) {
  char text[16];
  std::snprintf(text, sizeof text, "%o", mode);
  return text;
}

struct Contract {
  const char* name;
  Files files;                                             // in one folder
  std::vector<std::pair<std::string, std::string>> links;  // name, target in that folder
  // What the promise gives, as text.
  std::function<std::string(const Place&)> act;
  std::string gives;
  Files left;                                  // the regular files afterwards
  std::map<std::string, unsigned> modes = {};  // of the files, where not 0644
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
    return target->starts_with(place.at) ? target->substr(place.at.size()) : *target;
  };
}

class FileSystemContract : public testing::TestWithParam<Contract> {};

TEST_P(FileSystemContract, HoldsInMemory) {
  const Contract& c = GetParam();
  test::MemoryFileSystem files;
  for (const auto& [name, bytes] : c.files) files.files[name] = {bytes};
  for (const auto& [name, target] : c.links) files.links[name] = target;
  for (const auto& [name, mode] : c.modes) files.files[name].permissions = mode;
  EXPECT_EQ(c.act({files, "",
                   [&](const std::string& name) { return octal(files.files[name].permissions); }}),
            c.gives);
  Files left;
  for (const auto& [name, file] : files.files) left[name] = file.bytes;
  EXPECT_EQ(left, c.left);
}

TEST_P(FileSystemContract, HoldsOnTheRealFileSystem) {
  const Contract& c = GetParam();
  test::TempDir dir;
  for (const auto& [name, bytes] : c.files) test::write_file(dir.path() / name, bytes);
  for (const auto& [name, target] : c.links) fs::create_symlink(target, dir.path() / name);
  for (const auto& [name, mode] : c.modes) ASSERT_EQ(chmod((dir.path() / name).c_str(), mode), 0);
  const auto mode_of = [](const std::string& name) {
    struct stat info {};
    return stat(name.c_str(), &info) == 0 ? octal(info.st_mode & 07777) : "missing";
  };
  EXPECT_EQ(c.act({platform::real_file_system(), dir.path().string() + "/", mode_of}), c.gives);
  Files left;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    if (!entry.is_symlink() && entry.is_regular_file()) {
      left[entry.path().filename().string()] = test::read_file(entry.path());
    }
  }
  EXPECT_EQ(left, c.left);
}

const Files kTwo = {{"a", "1"}, {"b", "2"}};

INSTANTIATE_TEST_SUITE_P(
    Rows, FileSystemContract,
    testing::Values(
        Contract{"CreateNewRefusesAPlantedFile",
                 {{"a", "old"}},
                 {},
                 [](const Place& place) {
                   auto& [files, at, mode_of] = place;
                   return said(files.create_new(at + "a", std::nullopt).result);
                 },
                 "taken",
                 {{"a", "old"}}},
        // Private while written; a replacement takes the permissions of what it replaces.
        Contract{"ANewFileIsPrivateUntilClosed",
                 {},
                 {},
                 [](const Place& place) {
                   auto& [files, at, mode_of] = place;
                   auto made = files.create_new(at + "n", std::nullopt);
                   const std::string open = mode_of(at + "n");
                   const bool written = made.file && made.file->write("new") && made.file->close();
                   return said(made.result) + ' ' + open + (written ? " written" : "");
                 },
                 "done 600 written",
                 {{"n", "new"}}},
        Contract{"AReplacementKeepsTheModeAndSetIdBits",
                 {{"a", "old"}},
                 {},
                 [](const Place& place) {
                   auto& [files, at, mode_of] = place;
                   auto made = files.create_new(at + "n", at + "a");
                   const bool closed = made.file && made.file->close();
                   return closed ? mode_of(at + "n") : "not made";
                 },
                 "6750",
                 {{"a", "old"}, {"n", ""}},
                 {{"a", 06750}}},
        Contract{"AMoveToANewNameRefusesAnExistingOne",
                 kTwo,
                 {},
                 [](const Place& place) {
                   auto& [files, at, mode_of] = place;
                   return said(files.move_to_new_name(at + "a", at + "b"));
                 },
                 "taken",
                 kTwo},
        Contract{"ASecondNameMustBeNew",
                 kTwo,
                 {},
                 [](const Place& place) {
                   auto& [files, at, mode_of] = place;
                   return said(files.link(at + "a", at + "b"));
                 },
                 "taken",
                 kTwo},
        Contract{"RenameReplaces",
                 kTwo,
                 {},
                 [](const Place& place) {
                   auto& [files, at, mode_of] = place;
                   return std::string(files.rename(at + "a", at + "b") ? "renamed" : "not");
                 },
                 "renamed",
                 {{"b", "1"}}},
        Contract{"RemoveRemoves",
                 kTwo,
                 {},
                 [](const Place& place) {
                   auto& [files, at, mode_of] = place;
                   return std::string(files.remove(at + "a") ? "removed" : "not");
                 },
                 "removed",
                 {{"b", "2"}}},
        Contract{"StatusTellsWhatIsThere",
                 {{"f", ""}},
                 {},
                 [](const Place& place) {
                   auto& [files, at, mode_of] = place;
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
                   auto& [files, at, mode_of] = place;
                   const auto a = files.identity(at + "a");
                   return std::string(a && a == files.identity(at + "l") ? "same" : "not") +
                          (a != files.identity(at + "b") ? " other" : " same") +
                          (files.identity(at + "missing") ? " found" : " missing");
                 },
                 "same other missing",
                 kTwo},
        Contract{"TheListingHoldsTheSpellingAsWritten",
                 {{"Rom.vh", ""}},
                 {},
                 [](const Place& place) {
                   auto& [files, at, mode_of] = place;
                   const auto spelt = [&](const std::string& name) {
                     const auto found = files.listed(at + name);
                     return !found ? "?" : *found ? "1" : "0";
                   };
                   return std::string(spelt("Rom.vh")) + spelt("rom.vh");
                 },
                 "10",
                 {{"Rom.vh", ""}}}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
