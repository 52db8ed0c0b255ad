// The main loop and the yield, with the dialog keyboard interface.
#include "window/MessagePump.h"

#include "window/ThreadState.h"
#include "window/VendorLibrary.h"

namespace {

// Far more than real input ever queues: past it, what a window of the
// library's keeps posting to itself waits for the next yield.
constexpr int kMostMessagesPerYield = 10000;

// With the dialog keyboard interface of the window: Tab, Shift+Tab, Enter,
// and Space on the button.
void DispatchWithDialogKeys(HWND window, MSG& msg) {
  if (window && IsDialogMessageW(window, &msg)) return;
  TranslateMessage(&msg);
  // The program's own faults end it (OwnFaults.h); a library's end only its message.
  if (IsProgramWindow(msg.hwnd)) {
    DispatchMessageW(&msg);
  } else {
    DispatchForeign(msg);
  }
}

}  // namespace

int MessagePump::Run() {
  MSG msg = {};
  while (window_) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    // -1: the loop itself is broken and no message will come.
    if (got == -1) return 1;
    // A WM_QUIT while the window exists is not the program's: the window
    // posts its own only as it goes.
    if (got == 0) continue;
    DispatchWithDialogKeys(window_, msg);
  }
  // Closed, as every close ends.
  return 0;
}

bool MessagePump::HandlePending() {
  MSG msg;
  for (int handled = 0; window_ && handled < kMostMessagesPerYield; ++handled) {
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) break;
    // Someone else's, as in the main loop.
    if (msg.message == WM_QUIT) continue;
    DispatchWithDialogKeys(window_, msg);
  }
  return window_ != nullptr;
}
