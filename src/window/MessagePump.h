// The window's message loop: the main loop, and the yield of a running listing.
#pragma once

#include <windows.h>

#include "listing/OrderingPass.h"

class MessagePump : public EventPump {
 public:
  void Attach(HWND window) { window_ = window; }
  // Called as the window is destroyed: the main loop and a yielding listing end.
  void Detach() { window_ = nullptr; }

  // The main loop, for as long as the window exists: also when a library's own
  // message loop took the WM_QUIT, and past a WM_QUIT that someone else posted
  // while the window exists. Returns the program's exit code.
  int Run();

  // Handles what is queued, then returns, also while some window keeps asking
  // to be painted; false once the window is gone.
  bool HandlePending() override;

 private:
  HWND window_ = nullptr;
};
