#pragma once

#include <string>

namespace platform {

// What a run does about the signals (on Windows, the console events) that would end it:
// each removes the files registered here, then ends the run as it would have. A signal
// the run was started to ignore stays ignored; fault signals are left alone.

// Registers a file to remove, before it is made; false when interrupts cannot be caught.
// Call with interrupts held, so that no interrupt can remove a file of that name that
// another run made.
bool remove_when_interrupted(const std::string& name);
// The file was removed or renamed: an interrupt leaves its name alone.
void keep_when_interrupted(const std::string& name);

// While one lives, an interrupt on this thread waits; when the last one ends, it is
// acted on. Threads started meanwhile never take interrupts, so that they always reach
// the thread that can hold them off.
class HeldInterrupts {
 public:
  HeldInterrupts();
  ~HeldInterrupts();
  HeldInterrupts(const HeldInterrupts&) = delete;
  HeldInterrupts& operator=(const HeldInterrupts&) = delete;
  // False when the system refused to hold them.
  explicit operator bool() const { return held_; }

 private:
  bool held_ = false;
};

}  // namespace platform
