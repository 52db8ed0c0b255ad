// The program's own faults: an exception raised in one of its window
// procedures, or in anything they call, ends the program as a crash that the
// system reports; never as a failed call of a device library whose message
// loop dispatched the message, and never swallowed where 64-bit Windows
// returns from a window procedure through the kernel.
#pragma once

#include <windows.h>

#include "window/GuardedCall.h"  // HandlerFrame

// The system's handling of an unhandled exception (the crash report, a
// debugger), then the end of the process with the exception's code.
LONG WINAPI CrashOnOwnFault(EXCEPTION_POINTERS* exception);
#if !defined(_MSC_VER)
// The handler of GCC and clang's frame.
EXCEPTION_DISPOSITION NTAPI OnOwnFault(EXCEPTION_RECORD* exception, void*, CONTEXT* context, void*);
#endif

// Runs a window procedure's body in a frame that crashes on any fault: the
// innermost one around the program's own code, before any frame of a
// library's further out.
template <typename Body>
LRESULT AsOwnCode(Body&& body) {
#if defined(_MSC_VER)
  __try {
    return body();
  } __except (CrashOnOwnFault(GetExceptionInformation())) {
    return 0;
  }
#else
  const HandlerFrame frame(OnOwnFault);
  return body();
#endif
}
