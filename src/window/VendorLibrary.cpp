// The device library's entry point, called through the guarded call with the
// thread's state put back after it.
#include "window/VendorLibrary.h"

#include <malloc.h>  // _resetstkoflw

#include <algorithm>

#include "window/GuardedCall.h"
#include "window/LateBound.h"
#include "window/ThreadState.h"

namespace {

// Entries the library may write without harm: a library that fills more than
// the 33 of its table writes into zeroed memory of its own.
constexpr std::size_t kBufferEntries = 2048;
constexpr std::size_t kBufferBytes = kBufferEntries * sizeof(std::int16_t);
// One page, the smallest unit that can be made inaccessible.
constexpr std::size_t kGuardBytes = 4096;
static_assert(kBufferBytes % kGuardBytes == 0, "the guard pages border the buffer directly");

// Why a call failed, for DebugView or a debugger: one line each; the user
// sees the program's own "function call failed". wsprintfW: user32's, no
// C runtime formatting pulled into the program.
void Trace(const wchar_t* format, DWORD first = 0, const void* second = nullptr) {
  wchar_t line[160];
  wsprintfW(line, format, first, static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(second)));
  OutputDebugStringW(line);
}

// What a fault inside a modal loop of the library's leaves: a window of its
// own owned by one of the program's, the system's modal loop gone and the
// owner disabled (ThreadState enables it again). Destroyed.
BOOL CALLBACK DestroyOrphan(HWND window, LPARAM) {
  if (!IsProgramWindow(window) && IsProgramWindow(GetWindow(window, GW_OWNER))) DestroyWindow(window);
  return TRUE;
}

void AfterFault() {
  EnumThreadWindows(GetCurrentThreadId(), DestroyOrphan, 0);
}

}  // namespace

void DispatchForeign(MSG& msg) {
  std::uintptr_t result = 0;
  Fault fault;
  bool returned = false;
  {
    ThreadState saved;
    // DispatchMessageW takes one argument: the thunk puts back the second.
    const auto dispatch = reinterpret_cast<ForeignFunction>(reinterpret_cast<void (*)()>(&DispatchMessageW));
    returned = CallGuarded(dispatch, &msg, 0, result, fault);
    if (returned) saved.ProcessorOnly();
  }
  if (msg.message == WM_PAINT) ValidateRect(msg.hwnd, nullptr);
  if (returned) return;
  if (msg.message == WM_TIMER && msg.lParam) {
    Trace(L"DeviceList: the library's timer procedure raised exception 0x%08lX at 0x%08lX; its timer is killed\n",
          fault.code, fault.address);
    KillTimer(msg.hwnd, msg.wParam);
  } else {
    Trace(L"DeviceList: the library's window procedure raised exception 0x%08lX at 0x%08lX; its window is destroyed\n",
          fault.code, fault.address);
    DestroyWindow(msg.hwnd);
  }
  AfterFault();
}

void VendorLibrary::LookUpEntryPoint() {
  bound_ = true;
  LookUp(entry_, *module_, "SP_GetRegDevList");
  // A reserved page on either side: a write past the buffer, or in front of
  // the table, faults at once rather than landing in the program's memory.
  reservation_.reset(VirtualAlloc(nullptr, kGuardBytes + kBufferBytes + kGuardBytes, MEM_RESERVE, PAGE_NOACCESS));
  if (!reservation_) return;
  void* inside = static_cast<char*>(reservation_.get()) + kGuardBytes;
  buffer_ = static_cast<std::int16_t*>(VirtualAlloc(inside, kBufferBytes, MEM_COMMIT, PAGE_READWRITE));
}

std::uint32_t VendorLibrary::GetRegDevList(DeviceTable& table) {
  if (!bound_) LookUpEntryPoint();
  if (!entry_ || !buffer_) {
    Trace(entry_ ? L"DeviceList: no memory for the device library's table; the call failed\n"
                 : L"DeviceList: the device library has no entry point SP_GetRegDevList; the call failed\n");
    return 0;
  }
  std::fill(buffer_, buffer_ + kBufferEntries, std::int16_t{0});
  std::uintptr_t result = 0;
  Fault fault;
  bool returned = false;
  {
    const ThreadState saved;
    returned = CallGuarded(entry_, buffer_, 0, result, fault);
    // Before the thread's state is put back: this copy is the first compiled
    // code after the library's, and it relies on the thunk's clear direction flag.
    if (returned) std::copy(buffer_, buffer_ + DeviceTable::kEntries, table.entry);
  }
  if (!returned) {
    Trace(L"DeviceList: SP_GetRegDevList raised exception 0x%08lX at 0x%08lX; the call failed\n", fault.code,
          fault.address);
    // The overflow used up the stack's guard page, and the next one would end
    // the process without a word: a new guard page, now that the stack is
    // unwound. Where none can be set, the library is not called again.
    if (fault.code == EXCEPTION_STACK_OVERFLOW && !_resetstkoflw()) entry_ = nullptr;
    AfterFault();
    return 0;
  }
  // The entry point sets only the low byte of EAX; the rest is whatever it holds.
  const auto raw = static_cast<std::uint32_t>(result);
  if (!LibraryCallSucceeded(raw)) Trace(L"DeviceList: SP_GetRegDevList returned 0x%08lX, a failure\n", raw);
  return raw;
}
