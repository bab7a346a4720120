// The file system of Windows.

#define _CRT_RAND_S  // rand_s
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "file_system.hpp"
#include "interrupts.hpp"
#include "path_parts.hpp"
#include "windows_api.hpp"
// After the API they need.
#include <aclapi.h>
#include <winioctl.h>

namespace platform {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// How many links in a chain are followed, as on Linux.
constexpr int kMaxLinks = 40;

// The attributes a replaced file passes on besides its access list.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// What a replaced file passes on to the file that replaces it.
struct KeptSecurity {
  std::vector<char> dacl;       // its access list; empty for none
  bool dacl_protected = false;  // its own, not inherited from its folder
  DWORD attributes = 0;
};

// A file's access list, and whether it is protected from its folder's.
bool read_dacl(PSECURITY_DESCRIPTOR descriptor, PACL dacl, KeptSecurity& kept) {
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!GetSecurityDescriptorControl(descriptor, &control, &revision)) return false;
  kept.dacl_protected = (control & SE_DACL_PROTECTED) != 0;
  if (dacl != nullptr) {
    const auto* bytes = reinterpret_cast<const char*>(dacl);
    kept.dacl.assign(bytes, bytes + dacl->AclSize);
  }
  return true;
}

// Nothing when the replaced file's security cannot be read.
std::optional<KeptSecurity> security_of(const std::string& name) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  std::wstring wide_name = wide(name);
  if (GetNamedSecurityInfoW(wide_name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  KeptSecurity kept;
  const bool read = read_dacl(descriptor, dacl, kept);
  LocalFree(descriptor);
  if (!read) return std::nullopt;
  const DWORD attributes = GetFileAttributesW(wide_name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) kept.attributes = attributes & kKeptAttributes;
  return kept;
}

// The list's own entries, without those it inherits from its folder; inherits tells
// whether there were any.
std::vector<char> own_entries(const std::vector<char>& dacl, bool& inherits) {
  std::vector<char> copy = dacl;
  auto* acl = reinterpret_cast<PACL>(copy.data());
  std::vector<char> own(copy.size());
  auto* result = reinterpret_cast<PACL>(own.data());
  inherits = false;
  if (!InitializeAcl(result, static_cast<DWORD>(own.size()), acl->AclRevision)) return {};
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(acl, i, &ace)) return {};
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    if (header->AceFlags & INHERITED_ACE) {
      inherits = true;
    } else if (!AddAce(result, acl->AclRevision, MAXDWORD, ace, header->AceSize)) {
      return {};
    }
  }
  return own;
}

// Gives the open file the replaced file's access list, where it differs from the one the
// folder gave it, and its attributes. A list that inherits from the folder keeps doing
// so (its own entries are set, the folder's come again as to any new file there); one
// that inherits nothing is kept as it is, protected, so that the folder adds nothing it
// did not have.
bool pass_on(HANDLE handle, const KeptSecurity& kept) {
  if (!kept.dacl.empty()) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                        nullptr, &descriptor) != ERROR_SUCCESS) {
      return false;
    }
    KeptSecurity given;
    const bool read = read_dacl(descriptor, dacl, given);
    LocalFree(descriptor);
    if (!read) return false;
    if (given.dacl != kept.dacl || given.dacl_protected != kept.dacl_protected) {
      bool inherits = false;
      std::vector<char> own = own_entries(kept.dacl, inherits);
      if (own.empty()) return false;
      if (kept.dacl_protected || !inherits) {
        // Exactly this list, whatever the folder gives.
        std::vector<char> whole = kept.dacl;
        SECURITY_DESCRIPTOR exact{};
        if (!InitializeSecurityDescriptor(&exact, SECURITY_DESCRIPTOR_REVISION) ||
            !SetSecurityDescriptorDacl(&exact, TRUE, reinterpret_cast<PACL>(whole.data()), FALSE) ||
            !SetSecurityDescriptorControl(&exact, SE_DACL_PROTECTED, SE_DACL_PROTECTED) ||
            !SetKernelObjectSecurity(
                handle, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, &exact)) {
          return false;
        }
      } else if (SetSecurityInfo(handle, SE_FILE_OBJECT,
                                 DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION,
                                 nullptr, nullptr, reinterpret_cast<PACL>(own.data()),
                                 nullptr) != ERROR_SUCCESS) {
        return false;
      }
    }
  }
  if (kept.attributes != 0) {
    FILE_BASIC_INFO info{};
    if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &info, sizeof info)) return false;
    info.FileAttributes |= kept.attributes;
    if (!SetFileInformationByHandle(handle, FileBasicInfo, &info, sizeof info)) return false;
  }
  return true;
}

// As many bytes from the position as one read gives; 0 past the end.
std::ptrdiff_t read_at_position(HANDLE handle, std::uint64_t position, std::span<char> into) {
  const DWORD size = into.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(into.size());
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(position);
  at.OffsetHigh = static_cast<DWORD>(position >> 32);
  DWORD count = 0;
  if (!ReadFile(handle, into.data(), size, &count, &at)) {
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  }
  return static_cast<std::ptrdiff_t>(count);
}

class WindowsInput final : public InputFile {
 public:
  explicit WindowsInput(HANDLE handle) : handle_(handle) {}
  ~WindowsInput() override { CloseHandle(handle_); }
  std::ptrdiff_t read(std::span<char> into) override {
    DWORD count = 0;
    const DWORD size = into.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(into.size());
    if (!ReadFile(handle_, into.data(), size, &count, nullptr)) {
      return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;  // a pipe's writer has finished
    }
    return static_cast<std::ptrdiff_t>(count);
  }
  std::ptrdiff_t read_at(std::uint64_t position, std::span<char> into) override {
    if (!can_read_at()) return -1;
    return read_at_position(handle_, position, into);
  }
  bool can_read_at() const override { return GetFileType(handle_) == FILE_TYPE_DISK; }

 private:
  HANDLE handle_;
};

class WindowsOutput final : public OutputFile {
 public:
  explicit WindowsOutput(HANDLE handle, std::optional<KeptSecurity> kept = std::nullopt)
      : handle_(handle), kept_(std::move(kept)) {}
  ~WindowsOutput() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  bool write(std::string_view bytes) override {
    while (!bytes.empty()) {
      const DWORD size = bytes.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(bytes.size());
      DWORD count = 0;
      if (!WriteFile(handle_, bytes.data(), size, &count, nullptr) || count == 0) return false;
      bytes.remove_prefix(count);
    }
    return true;
  }
  bool cut_back(std::uint64_t size) override {
    LARGE_INTEGER offset;
    offset.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(handle_, offset, nullptr, FILE_BEGIN) && SetEndOfFile(handle_);
  }
  bool close() override {
    const bool passed_on = !kept_ || pass_on(handle_, *kept_);
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return CloseHandle(handle) != 0 && passed_on;
  }

 private:
  HANDLE handle_;
  std::optional<KeptSecurity> kept_;  // for a file that replaces another
};

// A file that the system deletes once it is closed, however the run ends: written at
// its end, read at any position.
class WindowsScratch final : public verilog_hex::ScratchFile {
 public:
  explicit WindowsScratch(HANDLE handle) : handle_(handle) {}
  ~WindowsScratch() override { CloseHandle(handle_); }
  bool write(std::string_view bytes) override {
    while (!bytes.empty()) {
      const DWORD size = bytes.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(bytes.size());
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(end_);
      at.OffsetHigh = static_cast<DWORD>(end_ >> 32);
      DWORD count = 0;
      if (!WriteFile(handle_, bytes.data(), size, &count, &at) || count == 0) return false;
      bytes.remove_prefix(count);
      end_ += count;
    }
    return true;
  }
  std::ptrdiff_t read_at(std::uint64_t position, std::span<char> into) override {
    return read_at_position(handle_, position, into);
  }
  bool clear() override {
    LARGE_INTEGER start{};
    end_ = 0;
    return SetFilePointerEx(handle_, start, nullptr, FILE_BEGIN) && SetEndOfFile(handle_);
  }

 private:
  HANDLE handle_;
  std::uint64_t end_ = 0;
};

// A named mutex, which the system releases when the run ends.
class WindowsFolderLock final : public FolderLock {
 public:
  WindowsFolderLock(HANDLE mutex, FileId folder) : mutex_(mutex), folder_(folder) {}
  ~WindowsFolderLock() override {
    if (taken_) ReleaseMutex(mutex_);
    CloseHandle(mutex_);
  }
  WindowsFolderLock(const WindowsFolderLock&) = delete;
  WindowsFolderLock& operator=(const WindowsFolderLock&) = delete;

  FileId folder() const override { return folder_; }
  // Interrupts are not held here: a console event removes the run's files and ends it.
  bool take() override {
    const DWORD waited = WaitForSingleObject(mutex_, INFINITE);
    taken_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    return taken_;
  }

 private:
  HANDLE mutex_;
  FileId folder_;
  bool taken_ = false;
};

NameResult name_result(bool done) {
  if (done) return NameResult::done;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? NameResult::taken
                                                                     : NameResult::failed;
}

// A handle that only looks at the file, directories included.
HANDLE look_at(const std::string& name) {
  return CreateFileW(wide(name).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

std::optional<FileId> id_of(const std::string& name) {
  const HANDLE handle = look_at(name);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(handle, &info) != 0;
  CloseHandle(handle);
  if (!known) return std::nullopt;
  return FileId{info.dwVolumeSerialNumber,
                std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow};
}

// A named mutex for the folder, named after what the folder is (its volume and file
// index), so that every name of it takes the same one; session-wide where a global
// one may not be made.
std::unique_ptr<FolderLock> lock_of(const std::string& folder) {
  const std::optional<FileId> id = id_of(folder);
  if (!id) return nullptr;
  const std::wstring key =
      L"verilog_hex_commit_" + std::to_wstring(id->device) + L"_" + std::to_wstring(id->index);
  HANDLE mutex = CreateMutexW(nullptr, FALSE, (L"Global\\" + key).c_str());
  if (mutex == nullptr) mutex = CreateMutexW(nullptr, FALSE, (L"Local\\" + key).c_str());
  if (mutex == nullptr) return nullptr;
  return std::make_unique<WindowsFolderLock>(mutex, *id);
}

// A file open anywhere cannot be renamed over, so a run that looks at an output while
// another run renames into its folder would make that run fail. Every look at a name
// takes its turn under the folder's lock, which a run's renames hold; a run that holds
// it already takes it again at once.
std::unique_ptr<FolderLock> take_turn(const std::string& name) {
  auto lock = lock_of(folder_of(name));
  if (lock && !lock->take()) lock.reset();  // looked at all the same
  return lock;
}

bool running_under_wine() {
  static const bool wine = [] {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }();
  return wine;
}

// The final path of an open file, links followed; empty when the system cannot tell.
std::wstring path_of(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  DWORD length = GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                           FILE_NAME_NORMALIZED);
  if (length >= path.size()) {
    path.resize(length + 1);
    length = GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                       FILE_NAME_NORMALIZED);
  }
  if (length == 0 || length >= path.size()) return {};
  path.resize(length);
  return path;
}

// The full path of a name, as the system completes it from the current folder.
std::wstring full_path_of(const std::wstring& name) {
  std::wstring path(MAX_PATH, L'\0');
  DWORD length =
      GetFullPathNameW(name.c_str(), static_cast<DWORD>(path.size()), path.data(), nullptr);
  if (length >= path.size()) {
    path.resize(length + 1);
    length = GetFullPathNameW(name.c_str(), static_cast<DWORD>(path.size()), path.data(), nullptr);
  }
  if (length == 0 || length >= path.size()) return {};
  path.resize(length);
  return path;
}

// The reparse data of a symbolic link, as the system hands it out.
struct SymbolicLinkData {
  DWORD tag;
  WORD data_length;
  WORD reserved;
  WORD substitute_offset;
  WORD substitute_length;
  WORD print_offset;
  WORD print_length;
  ULONG flags;  // 1: relative to the link's folder
  WCHAR path[1];
};

// Where a symbolic link points, relative targets completed from the link's folder;
// nothing when the name is no symbolic link.
std::optional<std::string> link_target(const std::string& name) {
  const HANDLE handle =
      CreateFileW(wide(name).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<char> buffer(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
  DWORD size = 0;
  const bool read = DeviceIoControl(handle, FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer.data(),
                                    static_cast<DWORD>(buffer.size()), &size, nullptr) != 0;
  CloseHandle(handle);
  if (!read || size < sizeof(SymbolicLinkData)) return std::nullopt;
  SymbolicLinkData link;
  std::memcpy(&link, buffer.data(), offsetof(SymbolicLinkData, path));
  if (link.tag != IO_REPARSE_TAG_SYMLINK) return std::nullopt;
  const std::size_t start = offsetof(SymbolicLinkData, path);
  const auto text = [&](WORD offset, WORD length) {
    std::wstring part(length / sizeof(WCHAR), L'\0');
    if (start + offset + length <= size)
      std::memcpy(part.data(), buffer.data() + start + offset, length);
    return part;
  };
  std::wstring target = text(link.print_offset, link.print_length);
  if (target.empty()) {
    target = text(link.substitute_offset, link.substitute_length);
    if (target.starts_with(L"\\??\\")) target.erase(0, 4);
  }
  if (target.empty()) return std::nullopt;
  std::string result = narrow(target);
  if (link.flags & 1) result.insert(0, path_parts(name).folder);
  return result;
}

// The final path of an open file without the prefix that marks it as one.
std::wstring without_final_prefix(std::wstring path) {
  for (const std::wstring_view prefix :
       {std::wstring_view(L"\\\\?\\UNC\\"), std::wstring_view(L"\\\\?\\")}) {
    if (path.starts_with(prefix)) {
      path.replace(0, prefix.size(), prefix.size() == 8 ? L"\\\\" : L"");
      break;
    }
  }
  return path;
}

// Wine shows a link of the host whose target is not there yet as nothing at all; only
// making the name exclusively tells that it is taken. Made through the link, the target
// shows where it points, and is removed again. The name itself where nothing is there;
// nothing where the link's target cannot be told.
std::optional<std::string> target_of_hidden_link(const std::string& name) {
  const std::wstring wide_name = wide(name);
  const HANDLE probe = CreateFileW(wide_name.c_str(), DELETE, 0, nullptr, CREATE_NEW,
                                   FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {  // nothing was there: it is gone again on close
    CloseHandle(probe);
    return name;
  }
  const DWORD error = GetLastError();
  if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return name;
  const HeldInterrupts held;  // so that no interrupt leaves the target made here
  const HANDLE made =
      CreateFileW(wide_name.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (made == INVALID_HANDLE_VALUE) return std::nullopt;
  const bool was_there = GetLastError() == ERROR_ALREADY_EXISTS;  // made meanwhile
  const std::wstring path = without_final_prefix(path_of(made));
  if (!was_there) {
    FILE_DISPOSITION_INFO removed{TRUE};
    SetFileInformationByHandle(made, FileDispositionInfo, &removed, sizeof removed);
  }
  CloseHandle(made);
  if (path.empty()) return std::nullopt;
  return narrow(path);
}

class WindowsFileSystem final : public FileSystem {
 public:
  std::unique_ptr<InputFile> open_input(const std::string& name) override {
    const HANDLE handle = CreateFileW(wide(name).c_str(), GENERIC_READ, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;  // directories too
    return std::make_unique<WindowsInput>(handle);
  }

  FileStatus status(const std::string& name) override {
    const auto turn = take_turn(name);
    const HANDLE handle = look_at(name);
    if (handle == INVALID_HANDLE_VALUE) return {};
    FileStatus status;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info)) {
      status.kind = FileKind::other;  // NUL, CON, pipes
      status.writable = true;
    } else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      status.kind = FileKind::directory;
    } else {
      status.kind = FileKind::regular;
      status.writable = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0;
      status.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    }
    CloseHandle(handle);
    return status;
  }

  // Where the system's own following of links (symbolic links, junctions, and under
  // Wine the links of the host) ends: the final path of the file, when it is not the
  // name's own. A link to a file not there yet ends at that file, as on Linux. Loops
  // and chains the system refuses give nothing.
  std::optional<std::string> resolve_links(const std::string& name) override {
    std::string current = name;
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
      const auto turn = take_turn(current);
      const std::wstring wide_name = wide(current);
      const HANDLE handle = CreateFileW(wide_name.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_CANT_RESOLVE_FILENAME) return std::nullopt;  // a loop, or too long
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return current;
        // Nothing to open: perhaps a link to a file not there yet.
        if (auto target = link_target(current)) {
          current = std::move(*target);
          continue;
        }
        return running_under_wine() ? target_of_hidden_link(current) : current;
      }
      std::wstring final_path;
      if (GetFileType(handle) == FILE_TYPE_DISK) final_path = path_of(handle);
      CloseHandle(handle);
      if (final_path.empty()) return current;  // NUL, CON and the like
      final_path = without_final_prefix(std::move(final_path));
      const std::wstring full_path = full_path_of(wide_name);
      if (CompareStringOrdinal(final_path.data(), static_cast<int>(final_path.size()),
                               full_path.data(), static_cast<int>(full_path.size()),
                               TRUE) == CSTR_EQUAL) {
        return current;
      }
      return narrow(final_path);
    }
    return std::nullopt;
  }

  std::optional<FileId> identity(const std::string& name) override {
    const auto turn = take_turn(name);
    return id_of(name);
  }

  std::optional<bool> listed(const std::string& name) override {
    const auto turn = take_turn(name);
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(wide(name).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
      return std::nullopt;
    }
    FindClose(search);
    return narrow(found.cFileName) == path_parts(name).file;
  }

  // Shared for deletion only, so that an interrupt can remove it while it is open and
  // nobody else opens it while it is written. It gets what the folder gives a new file;
  // one that replaces another gets that file's access list and attributes before its
  // rename.
  NewFile create_new(const std::string& name, const std::optional<std::string>& like) override {
    std::optional<KeptSecurity> kept;
    if (like) {
      kept = security_of(*like);
      if (!kept) return {};
    }
    const HeldInterrupts held;
    if (!held || !remove_when_interrupted(name)) return {};
    const HANDLE handle =
        CreateFileW(wide(name).c_str(), GENERIC_WRITE | READ_CONTROL | WRITE_DAC, FILE_SHARE_DELETE,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const NameResult result = name_result(false);
      keep_when_interrupted(name);
      return {.file = nullptr, .result = result};
    }
    return {.file = std::make_unique<WindowsOutput>(handle, std::move(kept)),
            .result = NameResult::done};
  }

  std::unique_ptr<OutputFile> open_existing(const std::string& name) override {
    const HANDLE handle = CreateFileW(wide(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    if (GetFileType(handle) == FILE_TYPE_DISK) {  // never a regular file in place
      CloseHandle(handle);
      return nullptr;
    }
    return std::make_unique<WindowsOutput>(handle);
  }

  std::unique_ptr<verilog_hex::ScratchFile> create_scratch(const std::string& output) override {
    std::string beside = folder_of(output);
    if (kPathSeparators.find(beside.back()) == std::string_view::npos) beside += '\\';
    if (auto scratch = scratch_in(wide(beside))) return scratch;
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) return nullptr;
    return scratch_in(std::wstring(folder, length));
  }

  // A scratch file in that folder, whose name ends in a separator.
  std::unique_ptr<verilog_hex::ScratchFile> scratch_in(const std::wstring& folder) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string leaf = ".";
      leaf += unique_text();
      leaf += ".tmp";
      const std::wstring name = folder + wide(leaf);
      const HANDLE handle = CreateFileW(
          name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
          FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
      if (handle != INVALID_HANDLE_VALUE) return std::make_unique<WindowsScratch>(handle);
      if (name_result(false) != NameResult::taken) return nullptr;
    }
    return nullptr;
  }

  NameResult link(const std::string& existing, const std::string& name) override {
    return name_result(CreateHardLinkW(wide(name).c_str(), wide(existing).c_str(), nullptr) != 0);
  }

  NameResult move_to_new_name(const std::string& from, const std::string& to) override {
    return name_result(MoveFileExW(wide(from).c_str(), wide(to).c_str(), 0) != 0);
  }

  bool rename(const std::string& from, const std::string& to) override {
    if (!MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING)) return false;
    keep_when_interrupted(from);
    return true;
  }

  bool remove(const std::string& name) override {
    const bool removed = DeleteFileW(wide(name).c_str()) != 0;
    keep_when_interrupted(name);
    return removed;
  }

  std::unique_ptr<FolderLock> folder_lock(const std::string& folder) override {
    return lock_of(folder);
  }

  // What Windows says of the thread's last error, as one line.
  std::string last_cause() override {
    const DWORD error = GetLastError();
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string cause =
        length == 0 ? "error " + std::to_string(error) : narrow(std::wstring_view(text, length));
    LocalFree(text);
    while (!cause.empty() && (cause.back() == '\n' || cause.back() == '\r')) cause.pop_back();
    return cause;
  }

  std::string unique_text() override {
    constexpr std::string_view kCharacters = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string text;
    for (int i = 0; i < 8; ++i) {
      unsigned int random = 0;
      if (rand_s(&random) != 0) random = GetTickCount() * 2654435761u + static_cast<unsigned>(i);
      text += kCharacters[random % kCharacters.size()];
    }
    return text;
  }
};

}  // namespace

FileSystem& real_file_system() {
  static WindowsFileSystem files;
  return files;
}

}  // namespace platform
