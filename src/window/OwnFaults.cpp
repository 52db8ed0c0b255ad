// The crash of OwnFaults.h, and the frame GCC and clang register by hand.
#include "window/OwnFaults.h"

#include "window/GuardedCall.h"  // HandlerChain

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
  record_.Next = static_cast<EXCEPTION_REGISTRATION_RECORD*>(HandlerChain());
  record_.Handler = OnOwnFault;
  SetHandlerChain(&record_);
}

OwnFaultFrame::~OwnFaultFrame() {
  SetHandlerChain(record_.Next);
}
#endif
