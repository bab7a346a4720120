// The file system of Windows. Names are UTF-8 inside the tools and UTF-16 at the system
// calls, so that any name the file system holds can be used.

#include <mutex>
#include <string>
#include <vector>

#include "file_system.hpp"
#include "windows_api.hpp"

namespace verilog_hex {
namespace {

std::wstring wide(const std::string& name) {
  if (name.empty()) return {};
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), text.data(), length);
  return text;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The files made by create_new() and not yet renamed or removed. The console control
// handler runs on a thread of its own and takes the lock, which a commit holds while it
// renames, so that an interrupt waits until the outputs are in a state it may leave.
std::recursive_mutex pending_lock;
std::vector<std::wstring> pending_files;

BOOL WINAPI remove_pending_files(DWORD) {
  std::lock_guard lock(pending_lock);
  for (const std::wstring& name : pending_files) DeleteFileW(name.c_str());
  pending_files.clear();
  return FALSE;  // the default handler then ends the run as it always would
}

void track(const std::wstring& name) {
  static const bool caught = SetConsoleCtrlHandler(remove_pending_files, TRUE) != 0;
  (void)caught;
  std::lock_guard lock(pending_lock);
  pending_files.push_back(name);
}

void untrack(const std::wstring& name) {
  std::lock_guard lock(pending_lock);
  std::erase(pending_files, name);
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

// A handle that only looks at the file, directories included.
HANDLE look_at(const std::string& name) {
  return CreateFileW(wide(name).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
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

  // A link is replaced as a file; links are rare on Windows.
  std::string resolve_links(const std::string& name) override { return name; }

  bool same_file(const std::string& a, const std::string& b) override {
    const HANDLE first = look_at(a);
    const HANDLE second = look_at(b);
    BY_HANDLE_FILE_INFORMATION one{};
    BY_HANDLE_FILE_INFORMATION two{};
    const bool same =
        first != INVALID_HANDLE_VALUE && second != INVALID_HANDLE_VALUE &&
        GetFileInformationByHandle(first, &one) && GetFileInformationByHandle(second, &two) &&
        one.dwVolumeSerialNumber == two.dwVolumeSerialNumber &&
        one.nFileIndexHigh == two.nFileIndexHigh && one.nFileIndexLow == two.nFileIndexLow;
    if (first != INVALID_HANDLE_VALUE) CloseHandle(first);
    if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
    return same;
  }

  std::unique_ptr<OutputFile> create_new(const std::string& name,
                                         std::optional<std::uint32_t>) override {
    const std::wstring wide_name = wide(name);
    track(wide_name);
    // Shared for deletion, so that an interrupt can remove it while it is open.
    const HANDLE handle =
        CreateFileW(wide_name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      untrack(wide_name);
      return nullptr;
    }
    return std::make_unique<WindowsOutput>(handle);
  }

  std::unique_ptr<OutputFile> open_existing(const std::string& name) override {
    const HANDLE handle = CreateFileW(wide(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    if (GetFileType(handle) == FILE_TYPE_DISK) SetEndOfFile(handle);
    return std::make_unique<WindowsOutput>(handle);
  }

  bool link(const std::string& existing, const std::string& name) override {
    return CreateHardLinkW(wide(name).c_str(), wide(existing).c_str(), nullptr) != 0;
  }

  bool rename(const std::string& from, const std::string& to) override {
    const std::wstring wide_from = wide(from);
    if (!MoveFileExW(wide_from.c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING)) return false;
    untrack(wide_from);
    return true;
  }

  bool remove(const std::string& name) override {
    const std::wstring wide_name = wide(name);
    const bool removed = DeleteFileW(wide_name.c_str()) != 0;
    untrack(wide_name);
    return removed;
  }

  std::string run_tag() override { return std::to_string(GetCurrentProcessId()); }

  void defer_interrupts(bool deferred) override {
    if (deferred) {
      pending_lock.lock();
    } else {
      pending_lock.unlock();
    }
  }
};

}  // namespace

FileSystem& real_file_system() {
  static WindowsFileSystem files;
  return files;
}

}  // namespace verilog_hex
