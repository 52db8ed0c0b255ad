// What a device library may change of the thread that calls it, saved before
// the call and put back after it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "window/LateBound.h"

// The program's windows are those of its module; any other window on its
// thread is a library's.
bool IsProgramWindow(HWND window);

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

  // Puts back the processor's state alone (floating point, direction flag,
  // handler chain): what a message handled without a fault changed of the
  // windows, the capture or the focus is its window's own affair, as for any
  // window; a button of the library's holds the capture between two clicks.
  void ProcessorOnly() { processorOnly_ = true; }

 private:
  bool processorOnly_ = false;
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
  // The program's windows: a library may disable, hide or subclass them, and
  // a modal loop of its own that faulted leaves its owner disabled.
  struct Window {
    HWND window;
    LONG style;  // WS_DISABLED and WS_VISIBLE
    LONG_PTR procedure;
  };
  static BOOL CALLBACK AddWindow(HWND window, LPARAM state);
  Window windows_[16] = {};
  std::size_t windowCount_ = 0;
  // The mouse capture: a window of the library's that keeps it takes every click.
  HWND capture_ = nullptr;
  // The cursor's display count: hidden, the pointer vanishes over the window.
  int cursor_ = 0;
  // The thread's priority: at idle, the window answers late on a busy machine.
  int priority_ = 0;
  // No console of its own: closing one a library opened would end the process.
  bool console_ = false;
  // The window that was active, and its focus: a library may take the focus
  // to nowhere, or to a window of its own that it then destroys.
  HWND active_ = nullptr;
  HWND focus_ = nullptr;
};
