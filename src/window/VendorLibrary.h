// The device library's entry point as the listings call it: how it is
// bound, what it writes into, what counts as a failed call, and how the
// program recovers from one.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "listing/DeviceLibrary.h"
#include "window/GuardedCall.h"
#include "window/Scoped.h"

class VendorLibrary : public DeviceLibrary {
 public:
  // module: where the start-up check keeps the library it loaded and pinned
  // (&gLibHandle), read at the first call, which looks up SP_GetRegDevList
  // in it by name.
  explicit VendorLibrary(const HMODULE* module) : module_(module) {}

  // A library without the entry point, or one that raises an exception inside
  // the call, counts as a failed call (result 0); the table is then untouched.
  // Either way the call leaves the thread as it found it (ThreadState.h).
  // Each failed call writes one line for a debugger (OutputDebugStringW).
  std::uint32_t GetRegDevList(DeviceTable& table) override;

 private:
  // Once, at the first call: the entry point by name, and the buffer.
  void LookUpEntryPoint();

  const HMODULE* module_;
  bool bound_ = false;
  ForeignFunction entry_ = nullptr;
  // The buffer the library writes, between two pages it cannot touch.
  UniqueReservation reservation_;
  std::int16_t* buffer_ = nullptr;
};

// Hands a message to a window of the library's, or to a timer procedure, as
// the library's entry point is called: inside the guarded call, the thread's
// state put back after a fault (the processor's after any message). A fault
// ends that message, not the program: the timer that faulted is killed, the
// window that faulted destroyed. A window that returned from WM_PAINT without
// validating is validated: it would be painted again and again, and the
// program never idle.
void DispatchForeign(MSG& msg);
