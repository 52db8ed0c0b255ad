// Listings through the real Form1 and the simulated library: what the panes show.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FormFixture.h"
#include "TestSupport.h"
#include "window/AppModule.h"

namespace {

const std::wstring kNotice = L"function call failed\r\n\r\n";

DWORD CaretOf(HWND pane) {
  DWORD start = 0, end = 0;
  SendMessageW(pane, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return start == end ? start : ~0u;
}

TEST_F(FormTest, ClickFillsBothPanesFromTwoLibraryCalls) {
  struct Case {
    const char* scenario;
    std::wstring upper;
    std::wstring lower;
  };
  // What each pane holds for a table the host tests show in detail; here,
  // that it comes through the library call and the window.
  const Case cases[] = {
      {"table 32767 1 -1 -32768 0 32767", L"1, 32767, 32767, ", L"32767, "},
      {"table", L"", L""},
      // Each listing reads its own call: the second table fills the lower pane.
      {"table 2 1 -32766\ntable 9 -32760", L"1, 2, ", L"8, "},
  };
  for (const Case& c : cases) {
    Scenario scenario(std::string(c.scenario) + "\nrecord QZ_SIM.LOG");
    SetWindowTextW(Lower(), L"stale");
    Click();
    EXPECT_EQ(Printable(TextOf(Upper())), Printable(c.upper)) << c.scenario;
    EXPECT_EQ(Printable(TextOf(Lower())), Printable(c.lower)) << c.scenario;
    EXPECT_EQ(CaretOf(Upper()), 0u) << c.scenario << ": the pane shows its start";
    EXPECT_EQ(scenario.Calls(),
              (std::vector<std::string>{"call 1 selector 0 table zero", "call 2 selector 0 table zero"}))
        << c.scenario;
    EXPECT_TRUE(gLibOk) << c.scenario;
  }
}

// The pane as it painted itself, pixel by pixel, frame and scroll bar
// included, read from its own window DC: with desktop composition (always on
// since Windows 8) that is the window's own surface, whatever covers it on
// the screen, as a CI runner's console may. PrintWindow would paint the pane
// anew for the copy and hide a repaint that never came.
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

std::string ScrollState(HWND pane) {
  SCROLLINFO info = {};
  info.cbSize = sizeof info;
  info.fMask = SIF_ALL;
  GetScrollInfo(pane, SB_VERT, &info);
  return "range " + std::to_string(info.nMin) + ".." + std::to_string(info.nMax) + ", page " +
         std::to_string(info.nPage) + ", at " + std::to_string(info.nPos);
}

// Handles what is queued for the window's thread, its paint included, until
// nothing is: the panes then show what the user sees, with no time waited.
bool HandleWhatIsQueued(HWND form) {
  return PumpUntil(form, [] { return HIWORD(GetQueueStatus(QS_ALLINPUT)) == 0; });
}

// Each pane's list is written in one replace: what the user then sees, text,
// caret, scroll bar and every pixel, is what a plain replace shows.
TEST_F(FormTest, AWriteOutShowsWhatPlainReplacesShow) {
  // Numbers long enough for the scroll bar: 10001 to 10032, 20001 to 20032.
  std::string table = "table";
  for (int n = 10001; n <= 10032; ++n) table += " " + std::to_string(n);
  table += "\ntable";
  for (int n = 20001; n <= 20032; ++n) table += " " + std::to_string(n - 32768);
  Scenario scenario(table);
  Click();
  ASSERT_TRUE(HandleWhatIsQueued(form.Handle())) << "the queue never emptied after the click";
  for (HWND pane : {Upper(), Lower()}) {
    const int id = GetDlgCtrlID(pane);
    EXPECT_EQ(CaretOf(pane), 0u) << "pane " << id;
    const std::wstring text = TextOf(pane);
    EXPECT_EQ(text.size(), 32u * 7) << "pane " << id;
    const std::string scroll = ScrollState(pane);
    const std::vector<DWORD> pixels = PixelsOf(pane);

    SetWindowTextW(pane, text.c_str());
    EXPECT_TRUE(HandleWhatIsQueued(form.Handle())) << "pane " << id << ": the queue never emptied after a replace";
    EXPECT_EQ(scroll, ScrollState(pane)) << "pane " << id << " after the click, then after a plain replace";
    EXPECT_NE(scroll.find("range 0.."), std::string::npos);
    EXPECT_TRUE(pixels == PixelsOf(pane)) << "pane " << id << " looks different after the click";
  }
  SCROLLINFO info = {};
  info.cbSize = sizeof info;
  info.fMask = SIF_ALL;
  GetScrollInfo(Upper(), SB_VERT, &info);
  EXPECT_GT(info.nMax + 1, static_cast<int>(info.nPage)) << "the numbers need the scroll bar: " << ScrollState(Upper());
}

TEST_F(FormTest, CombinedListingAppendsWithoutClearing) {
  Scenario scenario("table -32768 -1 32767 1 -32767\nresult 1 0");
  SetWindowTextW(Upper(), L"above ");
  SetWindowTextW(Lower(), L"below ");
  form.GetConnectedList();
  EXPECT_EQ(TextOf(Upper()), L"above 1, 32767, ");
  EXPECT_EQ(TextOf(Lower()), L"below 0, 32767, 1, ");
  form.GetConnectedList();
  EXPECT_EQ(Printable(TextOf(Upper())), Printable(L"above 1, 32767, " + kNotice));
  EXPECT_EQ(CaretOf(Upper()), TextOf(Upper()).size());
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
