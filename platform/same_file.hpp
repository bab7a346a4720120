#pragma once

#include <string>

#include "file_system.hpp"

namespace platform {

// True when both names exist and reach one file: the same identity, or, on a file
// system that ignores case, two spellings in one folder of which the system lists only
// one (such a system may give each spelling an identity of its own).
bool same_file(FileSystem& files, const std::string& a, const std::string& b);

// True when two names whose links are followed are one entry of one folder, whether or
// not a file is there yet: the same name in folders of one identity, or names that
// differ in case only where the folder ignores case, as a file present under one
// spelling (witness, in that folder) shows.
bool same_entry(FileSystem& files, const std::string& a, const std::string& b,
                const std::string& witness);

// The names equal when letters A-Z and a-z are taken as one.
bool equal_ignoring_case(std::string_view a, std::string_view b);

}  // namespace platform
