// Saving and putting back what ThreadState.h lists.
#include "window/ThreadState.h"

#include "window/GuardedCall.h"  // HandlerChain

#if defined(_MSC_VER)
#include <xmmintrin.h>
#endif

bool IsProgramWindow(HWND window) {
  return window && reinterpret_cast<HMODULE>(GetWindowLongPtrW(window, GWLP_HINSTANCE)) == GetModuleHandleW(nullptr);
}

// Each of the program's top-level windows on the thread, and their children.
BOOL CALLBACK ThreadState::AddWindow(HWND window, LPARAM state) {
  auto& saved = *reinterpret_cast<ThreadState*>(state);
  if (!IsProgramWindow(window) || saved.windowCount_ == sizeof saved.windows_ / sizeof saved.windows_[0]) return TRUE;
  saved.windows_[saved.windowCount_++] = {window, GetWindowLongW(window, GWL_STYLE),
                                          GetWindowLongPtrW(window, GWLP_WNDPROC)};
  if (!GetParent(window)) EnumChildWindows(window, AddWindow, state);
  return TRUE;
}

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
  handlers_ = HandlerChain();
  if (NewerUser32().getThreadDpiAwarenessContext) dpi_ = NewerUser32().getThreadDpiAwarenessContext();
  EnumThreadWindows(GetCurrentThreadId(), AddWindow, reinterpret_cast<LPARAM>(this));
  capture_ = GetCapture();
  cursor_ = ShowCursor(FALSE) + 1;
  ShowCursor(TRUE);
  priority_ = GetThreadPriority(GetCurrentThread());
  console_ = GetConsoleWindow() != nullptr;
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
  if (HandlerChain() != handlers_) SetHandlerChain(handlers_);

  if (processorOnly_) return;
  const User32Functions& user32 = NewerUser32();
  if (user32.setThreadDpiAwarenessContext && user32.getThreadDpiAwarenessContext() != dpi_) {
    user32.setThreadDpiAwarenessContext(dpi_);
  }
  // The procedures first: enabling or showing a window sends it messages,
  // which a subclass of the library's must not get.
  for (std::size_t i = 0; i < windowCount_; ++i) {
    const Window& w = windows_[i];
    if (IsWindow(w.window) && GetWindowLongPtrW(w.window, GWLP_WNDPROC) != w.procedure) {
      SetWindowLongPtrW(w.window, GWLP_WNDPROC, w.procedure);
    }
  }
  for (std::size_t i = 0; i < windowCount_; ++i) {
    const Window& w = windows_[i];
    const LONG style = IsWindow(w.window) ? GetWindowLongW(w.window, GWL_STYLE) : w.style;
    if ((style ^ w.style) & WS_DISABLED) EnableWindow(w.window, !(w.style & WS_DISABLED));
    if ((style ^ w.style) & WS_VISIBLE) ShowWindow(w.window, (w.style & WS_VISIBLE) ? SW_SHOWNA : SW_HIDE);
  }
  // Where the window that had it is gone, the library's capture is released
  // all the same; ReleaseCapture touches only a capture of this thread.
  if (capture_ && GetCapture() != capture_) SetCapture(capture_);
  if (GetCapture() != capture_) ReleaseCapture();
  // ShowCursor moves the count one step and says where it is now.
  int count = ShowCursor(TRUE);
  while (count > cursor_) count = ShowCursor(FALSE);
  while (count < cursor_) count = ShowCursor(TRUE);
  if (GetThreadPriority(GetCurrentThread()) != priority_) SetThreadPriority(GetCurrentThread(), priority_);
  // Closes the clipboard only where this thread has it open: the program
  // never holds it across a call.
  CloseClipboard();
  if (!console_ && GetConsoleWindow()) FreeConsole();
  // Focus taken to nowhere, or to a window since destroyed, while the window
  // stays active: the keyboard would reach no control until the next click.
  // A window of the library's that it activated keeps what it was given.
  HWND focus = GetFocus();
  if (active_ && (!focus || !IsWindow(focus)) && GetActiveWindow() == active_ && IsWindow(focus_)) SetFocus(focus_);
}
