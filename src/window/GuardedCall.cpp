// The guarded call of GuardedCall.h: a thunk that survives any calling
// convention, and a frame-based exception handler around it, once for MSVC
// (__try) and once for GCC and clang (a handler registered by hand).
#include "window/GuardedCall.h"

#include <csetjmp>

// Calls function(first, second) with a frame of its own: the stack pointer
// comes back from EBP, which every x86 convention preserves, so a function
// that pops 0, 4, 8 or 12 bytes leaves the caller's stack as it was; EBX, ESI
// and EDI are saved here for a function that does not keep them; and the
// direction flag is cleared before any compiled code copies memory.
#if defined(_MSC_VER)
static __declspec(naked) std::uintptr_t __cdecl CallForeign(ForeignFunction, void*, std::intptr_t) {
  __asm {
    push ebp
    mov ebp, esp
    push ebx
    push esi
    push edi
    push dword ptr [ebp + 16]
    push dword ptr [ebp + 12]
    call dword ptr [ebp + 8]
    cld
    lea esp, [ebp - 12]
    pop edi
    pop esi
    pop ebx
    pop ebp
    ret
  }
}

// The filter copies the exception out: its record is gone once the handler runs.
static int Noted(const EXCEPTION_RECORD* raised, Fault& fault) {
  fault.code = raised->ExceptionCode;
  fault.address = raised->ExceptionAddress;
  return EXCEPTION_EXECUTE_HANDLER;
}

bool CallGuarded(ForeignFunction function, void* first, std::intptr_t second, std::uintptr_t& result, Fault& fault) {
  __try {
    result = CallForeign(function, first, second);
    return true;
  } __except (Noted(GetExceptionInformation()->ExceptionRecord, fault)) {
    return false;
  }
}

#else
extern "C" std::uintptr_t CallForeign(ForeignFunction function, void* first,
                                      std::intptr_t second) __asm__("devicelist_call_foreign");
__asm__(
    ".text\n"
    "devicelist_call_foreign:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  pushl 16(%ebp)\n"
    "  pushl 12(%ebp)\n"
    "  call *8(%ebp)\n"
    "  cld\n"
    "  leal -12(%ebp), %esp\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  ret\n"
    ".text\n");

namespace {

EXCEPTION_DISPOSITION NTAPI OnFault(EXCEPTION_RECORD* exception, void* establisher, CONTEXT*, void*);

// GCC has no __try: the same frame-based handler, registered by hand. The
// system hands the handler the record's address, so the record comes first.
struct FaultFrame {
  const HandlerFrame handler{OnFault};
  std::jmp_buf resume = {};
  // Written by the handler, read after longjmp.
  volatile DWORD code = 0;
  const void* volatile address = nullptr;
};

EXCEPTION_DISPOSITION NTAPI OnFault(EXCEPTION_RECORD* exception, void* establisher, CONTEXT*, void*) {
  // Called once more as the frames above it are unwound.
  if (exception->ExceptionFlags & EXCEPTION_UNWIND) return ExceptionContinueSearch;
  auto* frame = static_cast<FaultFrame*>(establisher);
  frame->code = exception->ExceptionCode;
  frame->address = exception->ExceptionAddress;
  // The C runtime's longjmp unwinds every handler registered since setjmp,
  // the library's own, as __except does; the frame's destructor takes this
  // one off. Only the library's frames lie between: the program's own
  // faults end it before (OwnFaults.h).
  std::longjmp(frame->resume, 1);
}

}  // namespace

bool CallGuarded(ForeignFunction function, void* first, std::intptr_t second, std::uintptr_t& result, Fault& fault) {
  FaultFrame frame;
  if (setjmp(frame.resume) != 0) {
    fault.code = frame.code;
    fault.address = frame.address;
    return false;
  }
  result = CallForeign(function, first, second);
  return true;
}
#endif
