#include "window/MessagePump.h"

void DispatchWithDialogKeys(HWND window, MSG& msg) {
  if (window && IsDialogMessageW(window, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

int RunMessageLoop(HWND window) {
  MSG msg = {};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchWithDialogKeys(window, msg);
  return static_cast<int>(msg.wParam);
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
