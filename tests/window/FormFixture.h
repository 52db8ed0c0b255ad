// A real Form1 for a test, created and shown as the program does and destroyed after it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "window/Form1.h"

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(form.Create(GetModuleHandleW(nullptr))) << "the window was not made; last error " << GetLastError();
    form.Show(SW_SHOWNORMAL);
    // In front where it can be; a test that types asserts it.
    static_cast<void>(BringToForeground(form.Handle()));
    PumpBriefly(form.Handle(), 50);
  }

  void TearDown() override {
    DestroyWindow(form.Handle());
    PumpBriefly(nullptr, 0);
  }

  HWND Control(int id) const { return GetDlgItem(form.Handle(), id); }
  HWND Upper() const { return Control(IDC_TXTMSGDISPLAY); }
  HWND Lower() const { return Control(IDC_TXTMSGDISPLAY2); }
  HWND Button() const { return Control(IDC_COMMAND1); }

  void Click() { SendMessageW(Button(), BM_CLICK, 0, 0); }

  // Where the caret is, or ~0u where the pane has a selection.
  static DWORD CaretOf(HWND pane) {
    DWORD start = 0, end = 0;
    SendMessageW(pane, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return start == end ? start : ~0u;
  }

  Form1 form;
};
