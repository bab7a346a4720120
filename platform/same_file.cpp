#include "same_file.hpp"

#include <algorithm>

#include "path_parts.hpp"

namespace platform {
namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Another spelling of the name's last part, every letter's case turned.
std::string other_case(std::string_view name) {
  const auto [folder, file] = path_parts(name);
  std::string turned(folder);
  for (const char c : file) turned += c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : lower(c);
  return turned;
}

}  // namespace

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) { return lower(x) == lower(y); });
}

bool same_file(FileSystem& files, const std::string& a, const std::string& b) {
  const auto first = files.identity(a);
  const auto second = files.identity(b);
  if (!first || !second) return false;
  if (*first == *second) return true;
  if (first->device != second->device) return false;
  const auto target_a = files.resolve_links(a);
  const auto target_b = files.resolve_links(b);
  if (!target_a || !target_b) return false;
  const std::string_view name_a = path_parts(*target_a).file;
  const std::string_view name_b = path_parts(*target_b).file;
  if (name_a == name_b || !equal_ignoring_case(name_a, name_b)) return false;
  if (files.identity(folder_of(*target_a)) != files.identity(folder_of(*target_b))) return false;
  // One folder that lists both spellings holds two files; one that lists only one
  // matched the other spelling to it.
  const auto listed_a = files.listed(*target_a);
  const auto listed_b = files.listed(*target_b);
  if (!listed_a || !listed_b) return true;  // cannot be told: taken as one, to be safe
  return !(*listed_a && *listed_b);
}

bool same_entry(FileSystem& files, const std::string& a, const std::string& b,
                const std::string& witness) {
  const std::string_view name_a = path_parts(a).file;
  const std::string_view name_b = path_parts(b).file;
  if (!equal_ignoring_case(name_a, name_b)) return false;
  const auto folder_a = files.identity(folder_of(a));
  if (!folder_a || folder_a != files.identity(folder_of(b))) return false;
  if (name_a == name_b) return true;
  // The witness is found under another spelling only where the folder ignores case.
  return !witness.empty() && files.identity(other_case(witness)).has_value();
}

}  // namespace platform
