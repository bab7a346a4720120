// The output batch on its own: which outputs it refuses, the hidden names it makes, and
// what commit() and discard() leave.

#include "output_batch.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "memory_file_system.hpp"
#include "path_parts.hpp"

namespace {

using Files = std::map<std::string, test::MemoryFile>;

const Files kOld = {{"a.vh", {"old a"}}, {"b.vh", {"old b", 0600}}};

struct RefusalCase {
  const char* name;
  std::vector<std::string> outputs;  // opened in turn; the last one is refused
  void (*prepare)(test::MemoryFileSystem&);
};

TEST(OutputBatch, RefusesWhatCannotBeWrittenWholeAndChangesNothing) {
  for (const RefusalCase& c : {
           RefusalCase{"a second output naming the same file", {"a.vh", "a.vh"}, [](auto&) {}},
           RefusalCase{"a link to another output",
                       {"a.vh", "link.vh"},
                       [](auto& files) { files.links["link.vh"] = "a.vh"; }},
           RefusalCase{
               "a directory", {"dir"}, [](auto& files) { files.directories.insert("dir"); }},
           RefusalCase{"a read-only file",
                       {"b.vh", "a.vh"},
                       [](auto& files) { files.read_only.insert("a.vh"); }},
           RefusalCase{"a link loop",
                       {"loop.vh"},
                       [](auto& files) {
                         files.links = {{"loop.vh", "x"}, {"x", "loop.vh"}};
                       }},
           RefusalCase{"a folder where no file can be made",
                       {"a.vh"},
                       [](auto& files) { files.refuse_new_files = true; }},
       }) {
    SCOPED_TRACE(c.name);
    test::MemoryFileSystem files;
    files.files = kOld;
    c.prepare(files);
    {
      platform::OutputBatch batch(files);
      for (std::size_t i = 0; i + 1 < c.outputs.size(); ++i) {
        EXPECT_TRUE(batch.open(c.outputs[i]));
      }
      EXPECT_FALSE(batch.open(c.outputs.back()));
    }  // not committed: the batch removes what it made
    EXPECT_EQ(files.files, kOld);
  }
}

// Hidden, next to the target, and no longer than the target's own name where that is
// longer than 40, in bytes (as Linux counts) and in UTF-16 units (as NTFS and exFAT
// count); cut between whole UTF-8 characters.
TEST(OutputBatch, HiddenNamesFitWhereTheTargetFits) {
  std::string long_name(200, 'x');
  long_name += ".vh";
  std::string accented;
  for (int i = 0; i < 120; ++i) accented += "\xC3\xA9";  // é, two bytes each
  std::string exfat_longest;  // 253 characters and ".vh": 255 units, 509 bytes
  for (int i = 0; i < 253; ++i) exfat_longest += "\xC3\xA9";
  exfat_longest += ".vh";
  std::string emoji;  // four bytes and two units each
  for (int i = 0; i < 60; ++i) emoji += "\xF0\x9F\x98\x80";
  const auto units = [](std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      if ((byte & 0xC0) != 0x80) count += byte >= 0xF0 ? 2 : 1;
    }
    return count;
  };
  // On Linux "proj\\rom.vh" is one name in the current folder, hidden as a whole.
  // Twenty emoji and ".vh": 43 units, above the 40 any name may have, in only 23 characters.
  // Thirty bytes, cut to 26 within a two-byte character.
  std::string cut_in_character(25, 'a');  // in steps, which g++'s bounds check reads right
  cut_in_character += "\xC3\xA9.vh";
  for (const std::string& target :
       {std::string("a.vh"), "dir/" + long_name, accented, exfat_longest, emoji,
        emoji.substr(0, 80) + ".vh", std::string("proj\\rom.vh"), cut_in_character}) {
    SCOPED_TRACE(target);
    test::MemoryFileSystem files;
    platform::OutputBatch batch(files);
    ASSERT_TRUE(batch.open(target));
    ASSERT_EQ(files.files.size(), 1u);
    const std::string hidden = files.files.begin()->first;
    const auto [folder, file] = platform::path_parts(target);
    const auto [hidden_folder, hidden_file] = platform::path_parts(hidden);
    EXPECT_EQ(hidden_folder, folder);
    EXPECT_EQ(hidden_file[0], '.');
    EXPECT_TRUE(hidden_file.ends_with(".tmp"));
    EXPECT_LE(hidden_file.size(), std::max<std::size_t>(file.size(), 40));
    EXPECT_LE(units(hidden_file), std::max<std::size_t>(units(file), 40));
    // "." NAME "." eight letters ".tmp": the name kept is the target's up to a whole
    // character.
    const std::string_view kept = hidden_file.substr(1, hidden_file.size() - 14);
    EXPECT_TRUE(file.starts_with(kept));
    if (kept.size() < file.size()) {
      EXPECT_NE(static_cast<unsigned char>(file[kept.size()]) & 0xC0, 0x80) << "a character cut";
    }
  }
}

// The system's own rule for where a path's folder ends, not the naming rule's.
TEST(PathParts, SplitsAsTheSystemDoes) {
  struct Case {
    std::string_view path;
    std::string_view separators;
    std::string_view folder;
  };
  for (const Case& c : {Case{"proj\\rom.vh", platform::kPosixSeparators, ""},
                        Case{"proj\\rom.vh", platform::kWindowsSeparators, "proj\\"},
                        Case{"a/b\\c", platform::kPosixSeparators, "a/"},
                        Case{"a/b\\c", platform::kWindowsSeparators, "a/b\\"}}) {
    const auto [folder, file] = platform::path_parts(c.path, c.separators);
    EXPECT_EQ(folder, c.folder) << c.path << " split at " << c.separators;
    EXPECT_EQ(std::string(folder) + std::string(file), c.path);
  }
}

TEST(OutputBatch, CommitGivesTheNamesAndDiscardLeavesTheOldFiles) {
  for (const bool commit : {true, false}) {
    test::MemoryFileSystem files;
    files.files = kOld;
    platform::OutputBatch batch(files);
    for (const char* name : {"a.vh", "b.vh", "c.vh"}) {
      auto file = batch.open(name);
      ASSERT_TRUE(file);
      EXPECT_TRUE(file->write(std::string("new ") + name));
      EXPECT_TRUE(file->close());
    }
    if (commit) {
      EXPECT_TRUE(batch.commit());
      EXPECT_EQ(
          files.files,
          (Files{{"a.vh", {"new a.vh"}}, {"b.vh", {"new b.vh", 0600}}, {"c.vh", {"new c.vh"}}}));
    } else {
      batch.discard();
      EXPECT_EQ(files.files, kOld);
    }
  }
}

}  // namespace
