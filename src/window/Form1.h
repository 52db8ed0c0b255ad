// Form1, the program's one window: two labelled panes and the button that
// lists the devices. Its owner keeps the object alive as long as the window.
#pragma once

#include <windows.h>

#include "listing/Listings.h"
#include "window/AccessibleNames.h"
#include "window/EditPane.h"
#include "window/Layout.h"
#include "window/MessagePump.h"
#include "window/Scoped.h"
#include "window/VendorLibrary.h"

class Form1 {
 public:
  Form1();
  ~Form1();
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // Creates the window and its controls and runs the load handler, which ends
  // the program if the device library is missing. The window stays hidden.
  bool Create(HINSTANCE instance);
  // Shows the window as the show command says; once active, the button has the focus.
  void Show(int showCommand);
  // Handles the window's messages until it is gone; returns the exit code.
  int RunMessageLoop() { return pump_.Run(); }

  HWND Handle() const { return hwnd_; }
  Pane& UpperPane() { return txtMsgDisplay_; }

  // The main window, as the module's procedures reach it; null when none exists.
  static Form1* MainWindow() { return mainWindow_; }

  // Fills the lower pane with the disconnected devices.
  void GetDisconnectList() { listings_.ListDisconnected(); }
  // Appends both lists from one library call.
  void GetConnectedList() { listings_.ListCombined(); }

 private:
  // Runs OnMessage in the program's own fault frame (OwnFaults.h).
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  bool CreateControls();
  void MoveFocus(HWND control);
  // Everything that depends on the DPI, for dpi_: positions, fonts, icons.
  void PlaceControls();
  void ApplyFonts();
  void ApplyIcons();

  void Form_Load();
  void Command1_Click() { listings_.ListBoth(); }

  static Form1* mainWindow_;
  HWND hwnd_ = nullptr;
  int dpi_ = 96;  // the DPI the window is drawn at
  ControlFonts fonts_;
  UniqueIcon icons_[2];   // by ICON_SMALL (0) and ICON_BIG (1), at dpi_
  HWND focus_ = nullptr;  // the control to focus again when the window is activated
  AccessibleNames names_;
  EditPane txtMsgDisplay_;
  EditPane txtMsgDisplay2_;
  MessagePump pump_;
  VendorLibrary library_;
  Listings listings_;
};
