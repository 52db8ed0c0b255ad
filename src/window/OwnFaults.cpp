// The crash of OwnFaults.h, and the frame GCC and clang register by hand.
#include "window/OwnFaults.h"

#include <intrin.h>  // __readfsdword, __writefsdword: the head of the handler chain

LONG WINAPI CrashOnOwnFault(EXCEPTION_POINTERS* exception) {
  // What the system does with any fault nobody handles: the crash report, or
  // the debugger that the system starts or that is attached.
  UnhandledExceptionFilter(exception);
  TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
  return EXCEPTION_CONTINUE_SEARCH;
}

#if !defined(_MSC_VER)
namespace {

EXCEPTION_DISPOSITION NTAPI OnOwnFault(EXCEPTION_RECORD* exception, void*, CONTEXT* context, void*) {
  if (exception->ExceptionFlags & EXCEPTION_UNWIND) return ExceptionContinueSearch;
  EXCEPTION_POINTERS pointers = {exception, context};
  CrashOnOwnFault(&pointers);
  return ExceptionContinueSearch;
}

}  // namespace

OwnFaultFrame::OwnFaultFrame() {
  record_.Next = reinterpret_cast<EXCEPTION_REGISTRATION_RECORD*>(__readfsdword(0));
  record_.Handler = OnOwnFault;
  __writefsdword(0, reinterpret_cast<DWORD>(&record_));
}

OwnFaultFrame::~OwnFaultFrame() {
  __writefsdword(0, reinterpret_cast<DWORD>(record_.Next));
}
#endif
