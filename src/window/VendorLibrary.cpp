#include "window/VendorLibrary.h"

#include <malloc.h>  // _resetstkoflw

#include <algorithm>
#include <csetjmp>

#if defined(_MSC_VER)
#include <xmmintrin.h>
#endif

#include "window/SystemLibrary.h"

namespace {

constexpr std::size_t kLandingBytes = VendorLibrary::kLandingEntries * sizeof(std::int16_t);
// One page, the smallest unit that can be made inaccessible.
constexpr std::size_t kGuardBytes = 4096;
static_assert(kLandingBytes % kGuardBytes == 0, "the guard pages border the room directly");

}  // namespace

// Calls the entry point with (table, 0) whatever its convention: the stack
// pointer comes back from EBP, which every x86 convention preserves, so a
// library that pops 0, 4, 8 or 12 bytes leaves the caller's stack as it was;
// EBX, ESI and EDI are saved here too, for a library that does not keep them,
// and the direction flag is cleared before any compiled code copies memory.
#if defined(_MSC_VER)
static __declspec(naked) std::uint32_t __cdecl CallEntry(VendorLibrary::EntryPoint, std::int16_t*) {
  __asm {
    push ebp
    mov ebp, esp
    push ebx
    push esi
    push edi
    push 0
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
#else
extern "C" std::uint32_t CallEntry(VendorLibrary::EntryPoint entry,
                                   std::int16_t* table) __asm__("devicelist_call_entry");
__asm__(
    ".text\n"
    "devicelist_call_entry:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  pushl $0\n"
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
#endif

namespace {

// The program's floating-point settings: the x87 control word and, where the
// processor has one, MXCSR.
struct FloatSettings {
  std::uint16_t x87 = 0;
  std::uint32_t mxcsr = 0;
};

FloatSettings SaveFloatSettings(bool sse) {
  FloatSettings saved;
  std::uint16_t x87 = 0;
  std::uint32_t mxcsr = 0;
#if defined(_MSC_VER)
  __asm {
    fnstcw x87
  }
  if (sse) mxcsr = _mm_getcsr();
#else
  __asm__ volatile("fnstcw %0" : "=m"(x87));
  if (sse) __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
#endif
  saved.x87 = x87;
  saved.mxcsr = mxcsr;
  return saved;
}

// The direction flag too, for a library that faulted with it set. fninit
// first: it drops what the library left pending or on the register stack
// without raising it, and no instruction that waits for the x87 runs before
// the control word is ours again.
void RestoreFloatSettings(const FloatSettings& saved, bool sse) {
  std::uint16_t x87 = saved.x87;
  std::uint32_t mxcsr = saved.mxcsr;
#if defined(_MSC_VER)
  __asm {
    cld
    fninit
    fldcw x87
  }
  if (sse) _mm_setcsr(mxcsr);
#else
  __asm__ volatile("cld\n\tfninit\n\tfldcw %0" : : "m"(x87));
  if (sse) __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
#endif
}

#if !defined(_MSC_VER)
// GCC has no __try: the same frame-based handler, registered by hand. The
// record sits on the stack at the head of the thread's handler chain, where
// the system looks for it; the system hands the handler the record's address,
// so the record comes first.
struct FaultFrame {
  EXCEPTION_REGISTRATION_RECORD record;
  std::jmp_buf resume;
  volatile DWORD code;  // written by the handler, read after longjmp
};

// The thread's handler chain starts in its information block.
#pragma GCC diagnostic push
// GCC 12 takes the segment offset that NtCurrentTeb reads for an address in page 0.
#pragma GCC diagnostic ignored "-Warray-bounds"
NT_TIB* ThreadInformation() {
  return reinterpret_cast<NT_TIB*>(NtCurrentTeb());
}
#pragma GCC diagnostic pop

EXCEPTION_DISPOSITION NTAPI OnFault(EXCEPTION_RECORD* exception, void* establisher, CONTEXT*, void*) {
  // Called once more as the frames above it are unwound.
  if (exception->ExceptionFlags & EXCEPTION_UNWIND) return ExceptionContinueSearch;
  auto* frame = static_cast<FaultFrame*>(establisher);
  frame->code = exception->ExceptionCode;
  // The C runtime's longjmp unwinds every handler registered since setjmp,
  // the library's own and this one, as __except does.
  std::longjmp(frame->resume, 1);
}
#endif

// Any exception that leaves the call is a failed call: the window's message
// dispatch must never see it, or the system swallows it in the middle of a
// listing. Handlers the library installs itself still come first. Returns
// false, with the exception's code, when the call did not return.
bool CallGuarded(VendorLibrary::EntryPoint entry, std::int16_t* table, std::uint32_t& result, DWORD& exception) {
#if defined(_MSC_VER)
  __try {
    result = CallEntry(entry, table);
    return true;
  } __except (EXCEPTION_EXECUTE_HANDLER) {
    exception = GetExceptionCode();
    return false;
  }
#else
  FaultFrame frame = {};
  if (setjmp(frame.resume) != 0) {
    exception = frame.code;
    return false;
  }
  NT_TIB* thread = ThreadInformation();
  frame.record.Next = thread->ExceptionList;
  frame.record.Handler = OnFault;
  thread->ExceptionList = &frame.record;
  result = CallEntry(entry, table);
  thread->ExceptionList = frame.record.Next;
  return true;
#endif
}

}  // namespace

// What a library may change of the thread's windows, as it was before the call.
struct VendorLibrary::WindowState {
  DpiContext dpi = nullptr;
  HWND active = nullptr;
  HWND focus = nullptr;
};

VendorLibrary::WindowState VendorLibrary::SaveWindowState() const {
  WindowState saved;
  if (getDpiContext_) saved.dpi = getDpiContext_();
  saved.active = GetActiveWindow();
  saved.focus = GetFocus();
  return saved;
}

void VendorLibrary::RestoreWindowState(const WindowState& saved) const {
  if (getDpiContext_ && setDpiContext_ && getDpiContext_() != saved.dpi) setDpiContext_(saved.dpi);
  // Focus taken to nowhere, or to a window since destroyed, while the window
  // stays active: the keyboard would reach no control until the next click.
  // A window of the library's that it activated keeps what it was given.
  HWND focus = GetFocus();
  if (saved.active && (!focus || !IsWindow(focus)) && GetActiveWindow() == saved.active && IsWindow(saved.focus)) {
    SetFocus(saved.focus);
  }
}

HMODULE VendorLibrary::LoadHeld(const char* fileName) {
  HMODULE library = LoadLibraryA(fileName);
  // Pinned: no FreeLibrary, not even the library's own on itself, unloads it.
  HMODULE pinned = nullptr;
  if (library) {
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(library), &pinned);
  }
  return library;
}

VendorLibrary::~VendorLibrary() {
  if (reserved_) VirtualFree(reserved_, 0, MEM_RELEASE);
}

void VendorLibrary::Prepare() {
  bound_ = true;
  entry_ = Bind<EntryPoint>(LoadHeld(fileName_), "SP_GetRegDevList");
  sse_ = IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE) != FALSE;
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  getDpiContext_ = Bind<GetDpiContext>(user32, "GetThreadDpiAwarenessContext");
  setDpiContext_ = Bind<SetDpiContext>(user32, "SetThreadDpiAwarenessContext");
  // Room of its own with a reserved page on either side: a write past the
  // room, or in front of the table, faults at once rather than landing in the
  // program's memory.
  reserved_ = VirtualAlloc(nullptr, kGuardBytes + kLandingBytes + kGuardBytes, MEM_RESERVE, PAGE_NOACCESS);
  if (!reserved_) return;
  void* room = static_cast<char*>(reserved_) + kGuardBytes;
  if (VirtualAlloc(room, kLandingBytes, MEM_COMMIT, PAGE_READWRITE)) {
    landing_ = static_cast<std::int16_t*>(room);
  } else {
    VirtualFree(reserved_, 0, MEM_RELEASE);
    reserved_ = nullptr;
  }
}

std::uint32_t VendorLibrary::GetRegDevList(DeviceTable& table) {
  if (!bound_) Prepare();
  if (!entry_ || !landing_) return 0;
  std::fill(landing_, landing_ + kLandingEntries, std::int16_t{0});
  const FloatSettings floatSettings = SaveFloatSettings(sse_);
  const WindowState windowState = SaveWindowState();
  std::uint32_t result = 0;
  DWORD exception = 0;
  const bool returned = CallGuarded(entry_, landing_, result, exception);
  // A library may change them on success too, and one that faulted stopped
  // wherever it was.
  RestoreFloatSettings(floatSettings, sse_);
  if (returned) {
    std::copy(landing_, landing_ + DeviceTable::kEntries, table.entry);
  } else if (exception == EXCEPTION_STACK_OVERFLOW && !_resetstkoflw()) {
    // The overflow used up the stack's guard page, and the next one would end
    // the process without a word: a new guard page, now that the stack is
    // unwound. Where none can be set, the library is not called again.
    entry_ = nullptr;
  }
  RestoreWindowState(windowState);
  return returned ? result : 0;
}
