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

// Each item is one member, saved in the constructor and put back, where the
// library changed it, in the destructor. The processor's items come first:
// under Wine any system call clears the direction flag, and only this order
// lets a test see a flag left set.
class ThreadState {
 public:
  ThreadState();
  ~ThreadState();
  ThreadState(const ThreadState&) = delete;
  ThreadState& operator=(const ThreadState&) = delete;

  // Puts back the processor's items alone: what a message handled without a
  // fault did to windows, capture or focus is its window's own affair, as for
  // any window (a button of the library's holds the capture between clicks).
  void ProcessorOnly() { processorOnly_ = true; }

 private:
  struct Window {
    HWND window;
    LONG style;  // WS_DISABLED and WS_VISIBLE
    LONG_PTR procedure;
  };
  static BOOL CALLBACK AddWindow(HWND window, LPARAM state);

  bool processorOnly_ = false;
  // A library built with other settings leaves exceptions unmasked or the
  // rounding changed: the x87 control word, and MXCSR where there is SSE.
  std::uint16_t x87_ = 0;
  std::uint32_t mxcsr_ = 0;
  bool sse_ = false;
  // Frames of a library that faulted would outlive their stack.
  void* handlers_ = nullptr;
  // Made unaware, the thread would scale the window's next layout.
  DpiAwarenessContext dpi_ = nullptr;
  // Disabled, hidden or subclassed by the library; a modal loop of its own
  // that faulted leaves its owner disabled.
  Window windows_[16] = {};
  std::size_t windowCount_ = 0;
  // Kept by a window of the library's, the capture takes every click.
  HWND capture_ = nullptr;
  // The cursor's display count: below 0 the pointer vanishes.
  int cursor_ = 0;
  // At idle the window answers late on a busy machine.
  int priority_ = 0;
  // Closing a console the library opened would end the process.
  bool console_ = false;
  // The focus may be taken to nowhere, or to a window the library destroys.
  HWND active_ = nullptr;
  HWND focus_ = nullptr;
};
