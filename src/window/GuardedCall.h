// A call into the device library's code inside a fault frame: an exception
// raised by the library ends the call, not the program.
#pragma once

#include <windows.h>

#include <intrin.h>  // __readfsdword, __writefsdword

#include <cstdint>

// The head of the thread's chain of frame-based exception handlers (FS:[0]):
// the guarded call and the program's own fault frame push their record there,
// and the thread's state puts back the head a library left.
inline void* HandlerChain() {
  return reinterpret_cast<void*>(static_cast<std::uintptr_t>(__readfsdword(0)));
}
inline void SetHandlerChain(void* head) {
  __writefsdword(0, static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(head)));
}

#if !defined(_MSC_VER)
// GCC and clang have no __try: a frame-based handler registered by hand at
// the head of the chain while the object lives.
class HandlerFrame {
 public:
  explicit HandlerFrame(PEXCEPTION_ROUTINE handler) {
    record_.Next = static_cast<EXCEPTION_REGISTRATION_RECORD*>(HandlerChain());
    record_.Handler = handler;
    SetHandlerChain(&record_);
  }
  ~HandlerFrame() { SetHandlerChain(record_.Next); }
  HandlerFrame(const HandlerFrame&) = delete;
  HandlerFrame& operator=(const HandlerFrame&) = delete;

 private:
  EXCEPTION_REGISTRATION_RECORD record_ = {};
};
#endif

// A function of the library's, called with two arguments whatever its
// calling convention (stdcall, cdecl, or one that pops the wrong count).
using ForeignFunction = std::uintptr_t(WINAPI*)(void* first, std::intptr_t second);

struct Fault {
  DWORD code = 0;
  const void* address = nullptr;
};

// Calls function(first, second): ESP, EBP, EBX, ESI and EDI come back as they
// were, and the direction flag is clear before the program's code runs again.
// False, with the fault, when an exception raised under the call ended it;
// the program's own never get here (OwnFaults.h).
bool CallGuarded(ForeignFunction function, void* first, std::intptr_t second, std::uintptr_t& result, Fault& fault);
