// Listings through the real Form1 and the simulated library: what the panes show.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FormFixture.h"
#include "TestSupport.h"
#include "window/AppModule.h"

namespace {

// The pane as it painted itself, frame and scroll bar included, from its own
// window DC: with desktop composition (always on since Windows 8) the window's
// own surface, whatever covers it on the screen (a CI runner's console may).
// PrintWindow would paint the pane anew and hide a repaint that never came.
std::vector<DWORD> PixelsOf(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  HDC screen = GetWindowDC(window);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
  GdiFlush();
  std::vector<DWORD> pixels(static_cast<const DWORD*>(bits), static_cast<const DWORD*>(bits) + width * height);
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(window, screen);
  return pixels;
}

// The vertical scroll bar, and whether the text needs it.
std::string ScrollState(HWND pane) {
  SCROLLINFO info = {};
  info.cbSize = sizeof info;
  info.fMask = SIF_ALL;
  GetScrollInfo(pane, SB_VERT, &info);
  return "range " + std::to_string(info.nMin) + ".." + std::to_string(info.nMax) + ", page " +
         std::to_string(info.nPage) + ", at " + std::to_string(info.nPos) +
         (info.nMax >= static_cast<int>(info.nPage) ? ", needed" : ", not needed");
}

// Handles what is queued for the window's thread, its paint included, until
// nothing is: the panes then show what the user sees, with no time waited.
bool HandleWhatIsQueued(HWND form) {
  return PumpUntil(form, [] { return HIWORD(GetQueueStatus(QS_ALLINPUT)) == 0; });
}

// Each listing reads a call of its own: the first table fills the upper pane,
// the second the lower one, replacing what it held. Each pane's list is written
// in one replace: what the user then sees, text, caret, scroll bar and every
// pixel, is what a plain replace shows.
TEST_F(FormTest, AWriteOutShowsWhatPlainReplacesShow) {
  // Numbers long enough for the scroll bar: 10001 to 10032, 20001 to 20032.
  std::string table = "table";
  for (int n = 10001; n <= 10032; ++n) table += " " + std::to_string(n);
  table += "\ntable";
  for (int n = 20001; n <= 20032; ++n) table += " " + std::to_string(n - 32768);
  Scenario scenario(table + "\nrecord QZ_SIM.LOG");
  SetWindowTextW(Lower(), L"stale");
  Click();
  ASSERT_TRUE(HandleWhatIsQueued(form.Handle())) << "the queue never emptied after the click";
  EXPECT_EQ(scenario.Calls(),
            (std::vector<std::string>{"call 1 selector 0 table zero", "call 2 selector 0 table zero"}));
  EXPECT_TRUE(gLibOk);
  for (HWND pane : {Upper(), Lower()}) {
    const int id = GetDlgCtrlID(pane);
    EXPECT_EQ(CaretOf(pane), 0u) << "pane " << id;
    const std::wstring text = TextOf(pane);
    EXPECT_EQ(Printable(text.substr(0, 7)), id == IDC_TXTMSGDISPLAY ? "10001, " : "20001, ") << "pane " << id;
    EXPECT_EQ(text.size(), 32u * 7) << "pane " << id;
    const std::string scroll = ScrollState(pane);
    EXPECT_NE(scroll.find(", needed"), std::string::npos) << "pane " << id << ": the numbers need the scroll bar";
    const std::vector<DWORD> pixels = PixelsOf(pane);

    SetWindowTextW(pane, text.c_str());
    EXPECT_TRUE(HandleWhatIsQueued(form.Handle())) << "pane " << id << ": the queue never emptied after a replace";
    EXPECT_EQ(scroll, ScrollState(pane)) << "pane " << id << " after the click, then after a plain replace";
    EXPECT_TRUE(pixels == PixelsOf(pane)) << "pane " << id << " looks different after the click";
  }
}

// Text typed in any script stays in front of what the combined listing
// appends, and so does a list in front of a failure notice, the caret after it.
TEST_F(FormTest, CombinedListingAppendsWithoutClearing) {
  Scenario scenario("table 4 -32767\nresult 1 0");
  ASSERT_TRUE(BringToForeground(form.Handle()));
  const std::wstring typed = L"\u00c5ngstr\u00f6m \u4e2d\u6587 \u0416 \u03a9 \U0001F600 ";
  for (HWND pane : {Upper(), Lower()}) {
    SetFocus(pane);
    TypeText(typed);
    // Keys reach whatever has the focus when they are handled.
    ASSERT_TRUE(PumpUntil(form.Handle(), [&] { return TextOf(pane).size() == typed.size(); }))
        << "typed into pane " << GetDlgCtrlID(pane) << ": " << Printable(TextOf(pane));
  }
  form.GetConnectedList();
  EXPECT_EQ(Printable(TextOf(Upper())), Printable(typed + L"4, "));
  EXPECT_EQ(Printable(TextOf(Lower())), Printable(typed + L"1, "));
  form.GetConnectedList();
  EXPECT_EQ(Printable(TextOf(Upper())), Printable(typed + L"4, " + kNotice));
  EXPECT_EQ(CaretOf(Upper()), TextOf(Upper()).size()) << "the caret after the notice";
  EXPECT_FALSE(gLibOk);
}

// A WM_QUIT that a listing's yield meets while the window exists was posted
// by someone else: it ends nothing.
TEST_F(FormTest, AQuitMetWhileListingEndsNothing) {
  Scenario scenario("table 1 2 3 -32767");
  PostQuitMessage(7);
  Click();
  EXPECT_EQ(TextOf(Upper()), L"1, 2, 3, ") << "the listing still ends normally";
  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the quit was kept for the main loop";
}

}  // namespace
