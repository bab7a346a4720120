// The file system of Windows.

#define _CRT_RAND_S  // rand_s
#include <stdlib.h>

#include <cstdint>
#include <cwctype>
#include <string>

#include "file_system.hpp"
#include "interrupts.hpp"
#include "path_parts.hpp"
#include "windows_api.hpp"

namespace platform {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

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

 private:
  HANDLE handle_;
};

class WindowsOutput final : public OutputFile {
 public:
  explicit WindowsOutput(HANDLE handle) : handle_(handle) {}
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
  bool close() override {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return CloseHandle(handle) != 0;
  }

 private:
  HANDLE handle_;
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

class WindowsFileSystem final : public FileSystem {
 public:
  std::unique_ptr<InputFile> open_input(const std::string& name) override {
    const HANDLE handle = CreateFileW(wide(name).c_str(), GENERIC_READ, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;  // directories too
    return std::make_unique<WindowsInput>(handle);
  }

  FileStatus status(const std::string& name) override {
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
    }
    CloseHandle(handle);
    return status;
  }

  // Where the system's own following of links (symbolic links, junctions, and under
  // Wine the links of the host) ends: the final path of the file, when it is not the
  // name's own. Loops and chains the system refuses give nothing.
  std::optional<std::string> resolve_links(const std::string& name) override {
    const std::wstring wide_name = wide(name);
    const HANDLE handle = CreateFileW(wide_name.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_CANT_RESOLVE_FILENAME) {  // a loop, or a chain too long
        return std::nullopt;
      }
      return name;  // missing, or failing later where it is used
    }
    std::wstring final_path;
    if (GetFileType(handle) == FILE_TYPE_DISK) final_path = path_of(handle);
    CloseHandle(handle);
    if (final_path.empty()) return name;  // NUL, CON and the like
    for (const std::wstring_view prefix :
         {std::wstring_view(L"\\\\?\\UNC\\"), std::wstring_view(L"\\\\?\\")}) {
      if (final_path.starts_with(prefix)) {
        final_path.replace(0, prefix.size(), prefix.size() == 8 ? L"\\\\" : L"");
        break;
      }
    }
    const std::wstring full_path = full_path_of(wide_name);
    if (CompareStringOrdinal(final_path.data(), static_cast<int>(final_path.size()),
                             full_path.data(), static_cast<int>(full_path.size()),
                             TRUE) == CSTR_EQUAL) {
      return name;
    }
    return narrow(final_path);
  }

  std::optional<FileId> identity(const std::string& name) override {
    const HANDLE handle = look_at(name);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    if (!known) return std::nullopt;
    return FileId{info.dwVolumeSerialNumber,
                  std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow};
  }

  std::optional<bool> listed(const std::string& name) override {
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
  // nobody else reads it while it is written. The folder's inherited permissions apply,
  // as to any new file there.
  NewFile create_new(const std::string& name, const std::optional<std::string>&) override {
    const HeldInterrupts held;
    if (!held || !remove_when_interrupted(name)) return {};
    const HANDLE handle = CreateFileW(wide(name).c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const NameResult result = name_result(false);
      keep_when_interrupted(name);
      return {.file = nullptr, .result = result};
    }
    return {.file = std::make_unique<WindowsOutput>(handle), .result = NameResult::done};
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

  // A named mutex for the folder, named after what the folder is (its volume and file
  // index), so that every name of it takes the same one; session-wide where a global
  // one may not be made.
  std::unique_ptr<FolderLock> folder_lock(const std::string& folder) override {
    const std::optional<FileId> id = identity(folder);
    if (!id) return nullptr;
    const std::wstring key =
        L"verilog_hex_commit_" + std::to_wstring(id->device) + L"_" + std::to_wstring(id->index);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, (L"Global\\" + key).c_str());
    if (mutex == nullptr) mutex = CreateMutexW(nullptr, FALSE, (L"Local\\" + key).c_str());
    if (mutex == nullptr) return nullptr;
    return std::make_unique<WindowsFolderLock>(mutex, *id);
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
