// Saving and putting back what ThreadState.h lists.
#include "window/ThreadState.h"

#include <intrin.h>  // __readfsdword, __writefsdword: the head of the handler chain
#if defined(_MSC_VER)
#include <xmmintrin.h>
#endif

ThreadState::ThreadState() : sse_(IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE) != FALSE) {
  std::uint16_t x87 = 0;
  std::uint32_t mxcsr = 0;
#if defined(_MSC_VER)
  __asm {
    fnstcw x87
  }
  if (sse_) mxcsr = _mm_getcsr();
#else
  __asm__ volatile("fnstcw %0" : "=m"(x87));
  if (sse_) __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
#endif
  x87_ = x87;
  mxcsr_ = mxcsr;
  handlers_ = reinterpret_cast<void*>(static_cast<std::uintptr_t>(__readfsdword(0)));
  if (NewerUser32().getThreadDpiAwarenessContext) dpi_ = NewerUser32().getThreadDpiAwarenessContext();
  active_ = GetActiveWindow();
  focus_ = GetFocus();
}

ThreadState::~ThreadState() {
  // The direction flag first, for a library that faulted with it set; then
  // fninit: it drops what the library left pending or on the register stack
  // without raising it, and no instruction that waits for the x87 runs before
  // the control word is ours again.
  std::uint16_t x87 = x87_;
  std::uint32_t mxcsr = mxcsr_;
#if defined(_MSC_VER)
  __asm {
    cld
    fninit
    fldcw x87
  }
  if (sse_) _mm_setcsr(mxcsr);
#else
  __asm__ volatile("cld\n\tfninit\n\tfldcw %0" : : "m"(x87));
  if (sse_) __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
#endif
  if (reinterpret_cast<void*>(static_cast<std::uintptr_t>(__readfsdword(0))) != handlers_) {
    __writefsdword(0, static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(handlers_)));
  }

  const User32Functions& user32 = NewerUser32();
  if (user32.setThreadDpiAwarenessContext && user32.getThreadDpiAwarenessContext() != dpi_) {
    user32.setThreadDpiAwarenessContext(dpi_);
  }
  // Focus taken to nowhere, or to a window since destroyed, while the window
  // stays active: the keyboard would reach no control until the next click.
  // A window of the library's that it activated keeps what it was given.
  HWND focus = GetFocus();
  if (active_ && (!focus || !IsWindow(focus)) && GetActiveWindow() == active_ && IsWindow(focus_)) SetFocus(focus_);
}
