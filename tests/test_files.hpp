#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace test {

// A fresh folder under the system's temporary folder, removed again by the destructor.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

void write_file(const std::filesystem::path& path, const std::string& bytes);
std::string read_file(const std::filesystem::path& path);
// The names of the regular files and links in a folder, sorted.
std::vector<std::string> list_files(const std::filesystem::path& dir);

}  // namespace test
