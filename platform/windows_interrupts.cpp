// Console events that end the run on Windows: Ctrl-C, Ctrl-Break, closing the window,
// logging off and shutting down.

#include <mutex>
#include <string>
#include <vector>

#include "interrupts.hpp"
#include "windows_api.hpp"

namespace platform {
namespace {

// The console handler runs on a thread of its own and takes the lock, which a hold
// keeps, so that an event waits until the files are in a state it may leave.
std::recursive_mutex files_lock;
std::vector<std::wstring> files_to_remove;

BOOL WINAPI remove_files(DWORD) {
  std::lock_guard lock(files_lock);
  for (const std::wstring& name : files_to_remove) DeleteFileW(name.c_str());
  files_to_remove.clear();
  return FALSE;  // the default handler then ends the run as it always would
}

}  // namespace

bool remove_when_interrupted(const std::string& name) {
  static const bool caught = SetConsoleCtrlHandler(remove_files, TRUE) != 0;
  if (!caught) return false;
  std::lock_guard lock(files_lock);
  files_to_remove.push_back(wide(name));
  return true;
}

void keep_when_interrupted(const std::string& name) {
  std::lock_guard lock(files_lock);
  std::erase(files_to_remove, wide(name));
}

HeldInterrupts::HeldInterrupts() {
  files_lock.lock();
  held_ = true;
}

HeldInterrupts::~HeldInterrupts() { files_lock.unlock(); }

}  // namespace platform
