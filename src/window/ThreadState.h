// What a device library may change of the thread that calls it, saved before
// the call and put back after it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "window/LateBound.h"

// Saved as the object is made; put back, where the library changed it, as
// the object goes. Each item is one member, saved in the constructor and put
// back in the destructor, the processor's first: they need no system call,
// and under Wine a system call clears the direction flag, so that only this
// order lets a test under Wine see a flag that was not cleared.
class ThreadState {
 public:
  ThreadState();
  ~ThreadState();
  ThreadState(const ThreadState&) = delete;
  ThreadState& operator=(const ThreadState&) = delete;

 private:
  // The x87 control word and, where the processor has one, MXCSR: a library
  // built with other settings leaves exceptions unmasked or rounding changed.
  std::uint16_t x87_ = 0;
  std::uint32_t mxcsr_ = 0;
  bool sse_ = false;
  // The head of the handler chain: a library that faulted may leave frames
  // of its own registered, which would outlive their stack.
  void* handlers_ = nullptr;
  // The thread's DPI awareness (Windows 10 1607 and later): a library may
  // make the thread unaware, and the window's next layout would be scaled.
  DpiAwarenessContext dpi_ = nullptr;
  // The window that was active, and its focus: a library may take the focus
  // to nowhere, or to a window of its own that it then destroys.
  HWND active_ = nullptr;
  HWND focus_ = nullptr;
};
