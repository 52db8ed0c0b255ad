#pragma once

#include <windows.h>

#include "listing/OrderingPass.h"

// Hands one queued message to its window, with the dialog keyboard interface
// (Tab, Shift+Tab, Enter and Space on the button) of the given top-level window.
void DispatchWithDialogKeys(HWND window, MSG& msg);

// The main loop; returns the exit code that WM_QUIT carries.
int RunMessageLoop(HWND window);

// The yield of a running listing: handles what is queued, then returns.
class MessagePump : public EventPump {
 public:
  void Attach(HWND window) { window_ = window; }
  // Called as the window is destroyed, so that a yielding listing ends.
  void Detach() { window_ = nullptr; }

  bool HandlePending() override;

 private:
  HWND window_ = nullptr;
};
