#pragma once

#include <string>
#include <string_view>

namespace platform {

// A path as the system takes it apart: the folder part up to and with its last
// separator, and the name of the file itself. Linux and other POSIX systems separate
// with "/" alone (a back slash is an ordinary character of a name there); Windows with
// "/" and "\".
struct PathParts {
  std::string_view folder;
  std::string_view file;
};

inline constexpr std::string_view kPosixSeparators = "/";
inline constexpr std::string_view kWindowsSeparators = "/\\";
#ifdef _WIN32
inline constexpr std::string_view kPathSeparators = kWindowsSeparators;
#else
inline constexpr std::string_view kPathSeparators = kPosixSeparators;
#endif

inline PathParts path_parts(std::string_view path, std::string_view separators = kPathSeparators) {
  const std::size_t separator = path.find_last_of(separators);
  const std::size_t file_start = separator == std::string_view::npos ? 0 : separator + 1;
  return {path.substr(0, file_start), path.substr(file_start)};
}

// The folder a path is in, as a name the system opens: "." for a name without one.
inline std::string folder_of(std::string_view path) {
  const std::string_view folder = path_parts(path).folder;
  return folder.empty() ? std::string(".") : std::string(folder);
}

}  // namespace platform
