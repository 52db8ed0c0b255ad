// The program's own faults: an exception raised in one of its window
// procedures, or in anything they call, ends the program as a crash that the
// system reports; never as a failed call of a device library whose message
// loop dispatched the message, and never swallowed where 64-bit Windows
// returns from a window procedure through the kernel.
#pragma once

#include <windows.h>

// The system's handling of an unhandled exception (the crash report, a
// debugger), then the end of the process with the exception's code.
LONG WINAPI CrashOnOwnFault(EXCEPTION_POINTERS* exception);

#if !defined(_MSC_VER)
// GCC and clang have no __try: a frame registered by hand at the head of the
// thread's handler chain while the object lives.
class OwnFaultFrame {
 public:
  OwnFaultFrame();
  ~OwnFaultFrame();
  OwnFaultFrame(const OwnFaultFrame&) = delete;
  OwnFaultFrame& operator=(const OwnFaultFrame&) = delete;

 private:
  EXCEPTION_REGISTRATION_RECORD record_ = {};
};
#endif

// Runs a window procedure's body in that frame, the innermost one around the
// program's own code: it comes before any frame of a library's further out.
template <typename Body>
LRESULT AsOwnCode(Body&& body) {
#if defined(_MSC_VER)
  __try {
    return body();
  } __except (CrashOnOwnFault(GetExceptionInformation())) {
    return 0;
  }
#else
  const OwnFaultFrame frame;
  return body();
#endif
}
