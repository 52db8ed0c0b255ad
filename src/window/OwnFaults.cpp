// The crash of OwnFaults.h.
#include "window/OwnFaults.h"

LONG WINAPI CrashOnOwnFault(EXCEPTION_POINTERS* exception) {
  // What the system does with any fault nobody handles: the crash report, or
  // the debugger that the system starts or that is attached.
  UnhandledExceptionFilter(exception);
  TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
  return EXCEPTION_CONTINUE_SEARCH;
}

#if !defined(_MSC_VER)
EXCEPTION_DISPOSITION NTAPI OnOwnFault(EXCEPTION_RECORD* exception, void*, CONTEXT* context, void*) {
  if (exception->ExceptionFlags & EXCEPTION_UNWIND) return ExceptionContinueSearch;
  EXCEPTION_POINTERS pointers = {exception, context};
  CrashOnOwnFault(&pointers);
  return ExceptionContinueSearch;
}
#endif
