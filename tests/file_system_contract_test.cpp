// The promises of the file-system interface, each kept alike by the in-memory file
// system the run tests use and by the real one in a temporary folder: a row that holds
// for one and not the other is a fault in one of them.

#include <gtest/gtest.h>
#include <unistd.h>

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

struct Contract {
  const char* name;
  Files files;                                             // in one folder
  std::vector<std::pair<std::string, std::string>> links;  // name, target in that folder
  // What the promise gives, as text, for names in the folder at.
  std::function<std::string(platform::FileSystem&, const std::string& at)> act;
  std::string gives;
  Files left;  // the regular files afterwards
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

std::string resolved(platform::FileSystem& files, const std::string& at, const std::string& name) {
  const auto target = files.resolve_links(at + name);
  if (!target) return "none";
  return target->starts_with(at) ? target->substr(at.size()) : *target;
}

class FileSystemContract : public testing::TestWithParam<Contract> {};

TEST_P(FileSystemContract, HoldsInMemory) {
  const Contract& c = GetParam();
  test::MemoryFileSystem files;
  for (const auto& [name, bytes] : c.files) files.files[name] = {bytes};
  for (const auto& [name, target] : c.links) files.links[name] = target;
  EXPECT_EQ(c.act(files, ""), c.gives);
  Files left;
  for (const auto& [name, file] : files.files) left[name] = file.bytes;
  EXPECT_EQ(left, c.left);
}

TEST_P(FileSystemContract, HoldsOnTheRealFileSystem) {
  const Contract& c = GetParam();
  test::TempDir dir;
  for (const auto& [name, bytes] : c.files) test::write_file(dir.path() / name, bytes);
  for (const auto& [name, target] : c.links) fs::create_symlink(target, dir.path() / name);
  EXPECT_EQ(c.act(platform::real_file_system(), dir.path().string() + "/"), c.gives);
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
                 [](platform::FileSystem& files, const std::string& at) {
                   return said(files.create_new(at + "a", std::nullopt).result);
                 },
                 "taken",
                 {{"a", "old"}}},
        Contract{"CreateNewMakesTheFile",
                 {},
                 {},
                 [](platform::FileSystem& files, const std::string& at) {
                   auto made = files.create_new(at + "n", std::nullopt);
                   const bool written = made.file && made.file->write("new") && made.file->close();
                   return said(made.result) + (written ? " written" : "");
                 },
                 "done written",
                 {{"n", "new"}}},
        Contract{"AMoveToANewNameRefusesAnExistingOne",
                 kTwo,
                 {},
                 [](platform::FileSystem& files, const std::string& at) {
                   return said(files.move_to_new_name(at + "a", at + "b"));
                 },
                 "taken",
                 kTwo},
        Contract{"ASecondNameMustBeNew",
                 kTwo,
                 {},
                 [](platform::FileSystem& files, const std::string& at) {
                   return said(files.link(at + "a", at + "b"));
                 },
                 "taken",
                 kTwo},
        Contract{"RenameReplaces",
                 kTwo,
                 {},
                 [](platform::FileSystem& files, const std::string& at) {
                   return std::string(files.rename(at + "a", at + "b") ? "renamed" : "not");
                 },
                 "renamed",
                 {{"b", "1"}}},
        Contract{"RemoveRemoves",
                 kTwo,
                 {},
                 [](platform::FileSystem& files, const std::string& at) {
                   return std::string(files.remove(at + "a") ? "removed" : "not");
                 },
                 "removed",
                 {{"b", "2"}}},
        Contract{"StatusTellsWhatIsThere",
                 {{"f", ""}},
                 {},
                 [](platform::FileSystem& files, const std::string& at) {
                   const auto kind = [&](const std::string& name) {
                     return std::to_string(static_cast<int>(files.status(at + name).kind));
                   };
                   return kind("f") + " " + kind("missing");
                 },
                 "1 0",
                 {{"f", ""}}},
        // Links: followed to the chain's end, as far as the system follows them and no
        // further, a loop refused, a dangling link ending at its missing target.
        Contract{"AChainOfLinksEndsAtItsFile",
                 {{"f", ""}},
                 chain(3),
                 [](platform::FileSystem& files, const std::string& at) {
                   return resolved(files, at, "l0");
                 },
                 "f",
                 {{"f", ""}}},
        Contract{"AChainAsLongAsTheSystemFollows",
                 {{"f", ""}},
                 chain(40),
                 [](platform::FileSystem& files, const std::string& at) {
                   return resolved(files, at, "l0");
                 },
                 "f",
                 {{"f", ""}}},
        Contract{"AChainLongerIsRefused",
                 {{"f", ""}},
                 chain(41),
                 [](platform::FileSystem& files, const std::string& at) {
                   return resolved(files, at, "l0");
                 },
                 "none",
                 {{"f", ""}}},
        Contract{"ALoopIsRefused",
                 {},
                 {{"a", "b"}, {"b", "a"}},
                 [](platform::FileSystem& files, const std::string& at) {
                   return resolved(files, at, "a");
                 },
                 "none",
                 {}},
        Contract{"ADanglingLinkEndsAtItsTarget",
                 {},
                 {{"a", "m"}},
                 [](platform::FileSystem& files, const std::string& at) {
                   return resolved(files, at, "a");
                 },
                 "m",
                 {}},
        // Identity: one file whatever link reaches it; the listing shows the spelling.
        Contract{"AFileIsKnownByWhatItIs",
                 kTwo,
                 {{"l", "a"}},
                 [](platform::FileSystem& files, const std::string& at) {
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
                 [](platform::FileSystem& files, const std::string& at) {
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
