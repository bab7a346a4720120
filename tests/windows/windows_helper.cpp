// A helper for scripts/windows_check.sh, built for Windows and run under Wine beside
// the tools: it prints what the system says of files, and holds a folder's lock as a
// run of the tools holds it while it renames.
//   windows_helper dacl FILE...   each file's access list, as SDDL, a line each
//   windows_helper hold FOLDER    takes the folder's lock, prints "held" and keeps it
//                                 until its standard input ends

#include <windows.h>
// After the API they need.
#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::wstring wide(const char* text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring result(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, result.data(), length);
  result.pop_back();
  return result;
}

int print_dacl(const char* name) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  std::wstring wide_name = wide(name);
  if (GetNamedSecurityInfoW(wide_name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    std::printf("%s: no security\n", name);
    return 1;
  }
  LPWSTR text = nullptr;
  ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                       DACL_SECURITY_INFORMATION, &text, nullptr);
  std::printf("%ls\n", text != nullptr ? text : L"?");
  LocalFree(text);
  LocalFree(descriptor);
  return 0;
}

// The lock the tools take for a folder: a named mutex after the folder's volume and
// file index.
int hold(const char* folder) {
  const HANDLE handle = CreateFileW(wide(folder).c_str(), 0, 7, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  BY_HANDLE_FILE_INFORMATION info{};
  if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &info)) return 1;
  CloseHandle(handle);
  const std::wstring key =
      L"verilog_hex_commit_" + std::to_wstring(info.dwVolumeSerialNumber) + L"_" +
      std::to_wstring(static_cast<unsigned long long>(info.nFileIndexHigh) << 32 |
                      info.nFileIndexLow);
  HANDLE mutex = CreateMutexW(nullptr, FALSE, (L"Global\\" + key).c_str());
  if (mutex == nullptr) mutex = CreateMutexW(nullptr, FALSE, (L"Local\\" + key).c_str());
  if (mutex == nullptr || WaitForSingleObject(mutex, INFINITE) != WAIT_OBJECT_0) return 1;
  std::printf("held\n");
  std::fflush(stdout);
  char buffer[256];
  while (std::fread(buffer, 1, sizeof buffer, stdin) > 0) {
  }
  ReleaseMutex(mutex);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "hold") == 0) return hold(argv[2]);
  int status = argc >= 3 && std::strcmp(argv[1], "dacl") == 0 ? 0 : 2;
  for (int i = 2; i < argc && status != 2; ++i) status |= print_dacl(argv[i]);
  return status;
}
