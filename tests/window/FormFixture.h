// A real Form1 for a test, created and shown as the program does.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "window/Form1.h"

// A real Form1, created and shown as the program does, destroyed after the test.
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
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
  }

  HWND Control(int id) const { return GetDlgItem(form.Handle(), id); }
  HWND Upper() const { return Control(IDC_TXTMSGDISPLAY); }
  HWND Lower() const { return Control(IDC_TXTMSGDISPLAY2); }
  HWND Button() const { return Control(IDC_COMMAND1); }

  void Click() { SendMessageW(Button(), BM_CLICK, 0, 0); }

  Form1 form;
};
