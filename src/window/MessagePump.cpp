#include "window/MessagePump.h"

void DispatchWithDialogKeys(HWND window, MSG& msg) {
  if (window && IsDialogMessageW(window, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

int MessagePump::Run() {
  MSG msg = {};
  while (window_) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(msg.wParam);
    // -1: the loop itself is broken and no message will come.
    if (got == -1) return 1;
    DispatchWithDialogKeys(window_, msg);
  }
  // Closed, as every close ends.
  return 0;
}

bool MessagePump::HandlePending() {
  MSG msg;
  while (window_ && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Not ours to take: the main loop must still see it and end.
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    DispatchWithDialogKeys(window_, msg);
  }
  return window_ != nullptr;
}
