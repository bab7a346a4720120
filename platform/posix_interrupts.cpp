// Ending signals on Linux and other POSIX systems.

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <deque>
#include <string>

#include "interrupts.hpp"

namespace platform {
namespace {

// Every signal whose default action ends the run and that can be caught. Fault signals
// (SEGV, BUS, FPE, ILL, TRAP, SYS) are not among them: they must reach the faulting
// thread at once. SIGXFSZ is ignored instead, so that a file-size limit fails a write.
sigset_t ending_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2,
                           SIGXCPU, SIGVTALRM, SIGPROF, SIGABRT}) {
    sigaddset(&set, number);
  }
#ifdef SIGPOLL
  sigaddset(&set, SIGPOLL);
#endif
#ifdef SIGPWR
  sigaddset(&set, SIGPWR);
#endif
#ifdef SIGSTKFLT
  sigaddset(&set, SIGSTKFLT);
#endif
#ifdef SIGRTMIN
  for (int number = SIGRTMIN; number <= SIGRTMAX; ++number) sigaddset(&set, number);
#endif
  return set;
}

const sigset_t kEndingSignals = ending_signals();

// The files to remove. The handler reads the slots, so a registered name stays in
// memory for the rest of the run.
constexpr std::size_t kMaxFiles = 1024;
std::array<std::atomic<const char*>, kMaxFiles> files_to_remove{};
std::deque<std::string> registered_names;

extern "C" void remove_files_and_end(int number) {
  for (auto& slot : files_to_remove) {
    if (const char* name = slot.load(std::memory_order_acquire)) ::unlink(name);
  }
  // Delivered again once the handler returns, now with the default action.
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  if (::sigaction(number, &default_action, nullptr) != 0 || ::raise(number) != 0)
    ::_exit(128 + number);
}

bool catch_ending_signals() {
  static const bool caught = [] {
    // A file-size limit makes a write fail instead of ending the run unreported.
    if (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR) return false;
    for (int number = 1; number < NSIG; ++number) {
      if (sigismember(&kEndingSignals, number) != 1) continue;
      struct sigaction old {};
      if (::sigaction(number, nullptr, &old) != 0) return false;
      if (old.sa_handler == SIG_IGN) continue;  // nohup and the like stay in force
      struct sigaction action {};
      action.sa_handler = remove_files_and_end;
      action.sa_mask = kEndingSignals;  // one cleanup at a time
      if (::sigaction(number, &action, nullptr) != 0) return false;
    }
    return true;
  }();
  return caught;
}

thread_local int hold_depth = 0;
thread_local sigset_t mask_before_hold;

}  // namespace

bool remove_when_interrupted(const std::string& name) {
  if (!catch_ending_signals()) return false;
  for (auto& slot : files_to_remove) {
    if (slot.load(std::memory_order_relaxed) == nullptr) {
      slot.store(registered_names.emplace_back(name).c_str(), std::memory_order_release);
      return true;
    }
  }
  return false;
}

void keep_when_interrupted(const std::string& name) {
  for (auto& slot : files_to_remove) {
    const char* registered = slot.load(std::memory_order_relaxed);
    if (registered != nullptr && name == registered) slot.store(nullptr, std::memory_order_release);
  }
}

HeldInterrupts::HeldInterrupts() {
  if (hold_depth == 0 && ::pthread_sigmask(SIG_BLOCK, &kEndingSignals, &mask_before_hold) != 0) {
    return;
  }
  ++hold_depth;
  held_ = true;
}

HeldInterrupts::~HeldInterrupts() {
  if (!held_ || --hold_depth > 0) return;
  // Cannot fail with a valid set; a pending interrupt is acted on here.
  static_cast<void>(::pthread_sigmask(SIG_SETMASK, &mask_before_hold, nullptr));
}

}  // namespace platform
