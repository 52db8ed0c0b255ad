#include "window/VendorLibrary.h"

#include <float.h>

#include <algorithm>
#include <csetjmp>

#include "window/SystemLibrary.h"

namespace {

constexpr std::size_t kLandingBytes = VendorLibrary::kLandingEntries * sizeof(std::int16_t);
// One page, the smallest unit that can be made inaccessible.
constexpr std::size_t kGuardBytes = 4096;
static_assert(kLandingBytes % kGuardBytes == 0, "the guard page follows the room directly");

#if !defined(_MSC_VER)
// GCC has no __try: the same frame-based handler, registered by hand. The
// record sits on the stack at the head of the thread's handler chain, where
// the system looks for it; the system hands the handler the record's address,
// so the record comes first.
struct FaultFrame {
  EXCEPTION_REGISTRATION_RECORD record;
  std::jmp_buf resume;
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
  // The C runtime's longjmp unwinds every handler registered since setjmp,
  // the library's own and this one, as __except does.
  std::longjmp(static_cast<FaultFrame*>(establisher)->resume, 1);
}
#endif

// Any exception that leaves the call is a failed call: the window's message
// dispatch must never see it, or the system swallows it in the middle of a
// listing. Handlers the library installs itself still come first.
bool CallGuarded(VendorLibrary::EntryPoint entry, std::int16_t* table, std::uint32_t& result) {
#if defined(_MSC_VER)
  __try {
    result = entry(table, 0);
    return true;
  } __except (EXCEPTION_EXECUTE_HANDLER) {
    return false;
  }
#else
  FaultFrame frame = {};
  if (setjmp(frame.resume) != 0) return false;
  NT_TIB* thread = ThreadInformation();
  frame.record.Next = thread->ExceptionList;
  frame.record.Handler = OnFault;
  thread->ExceptionList = &frame.record;
  result = entry(table, 0);
  thread->ExceptionList = frame.record.Next;
  return true;
#endif
}

}  // namespace

VendorLibrary::~VendorLibrary() {
  if (landing_) VirtualFree(landing_, 0, MEM_RELEASE);
}

std::uint32_t VendorLibrary::GetRegDevList(DeviceTable& table) {
  if (!bound_) {
    bound_ = true;
    // Never freed: the library stays loaded until the process ends.
    entry_ = Bind<EntryPoint>(LoadLibraryA(fileName_), "SP_GetRegDevList");
    // Room of its own with a reserved page behind it: a write past the room
    // faults at once rather than landing in the program's memory.
    landing_ =
        static_cast<std::int16_t*>(VirtualAlloc(nullptr, kLandingBytes + kGuardBytes, MEM_RESERVE, PAGE_NOACCESS));
    if (landing_ && !VirtualAlloc(landing_, kLandingBytes, MEM_COMMIT, PAGE_READWRITE)) {
      VirtualFree(landing_, 0, MEM_RELEASE);
      landing_ = nullptr;
    }
  }
  if (!entry_ || !landing_) return 0;
  std::fill(landing_, landing_ + kLandingEntries, std::int16_t{0});
  const unsigned floatControl = _control87(0, 0);
  std::uint32_t result = 0;
  if (!CallGuarded(entry_, landing_, result)) {
    // The library stopped wherever it faulted: its floating-point state is
    // not ours, and what it wrote is not an answer.
    _fpreset();
    _control87(floatControl, _MCW_EM | _MCW_RC | _MCW_PC);
    return 0;
  }
  std::copy(landing_, landing_ + DeviceTable::kEntries, table.entry);
  return result;
}
