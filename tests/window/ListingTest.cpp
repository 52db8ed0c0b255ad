#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FormFixture.h"
#include "TestSupport.h"
#include "listing/DeviceTable.h"
#include "window/AppModule.h"
#include "window/VendorLibrary.h"

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
  const Case cases[] = {
      {"table 5 3 9", L"3, 5, 9, ", L""},
      {"table 0 0 12 0 -5 3 0 3", L"3, 3, 12, ", L"32763, "},
      {"table 32767 1 -1 -32768 0 32767", L"1, 32767, 32767, ", L"32767, "},
      {"table 5 -32765 -32759", L"5, ", L"3, 9, "},
      {"table", L"", L""},
      {"table 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 77", L"", L""},
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

// A pane's write-out repaints once, at its end: what the user then sees, text,
// caret, scroll bar and every pixel, is what plain replaces show.
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
    EXPECT_TRUE(GetWindowLongW(pane, GWL_STYLE) & WS_VISIBLE) << "pane " << id << " left hidden";
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

TEST_F(FormTest, OnlyTheLowByteOfTheLibraryResultCounts) {
  struct Case {
    const char* scenario;
    std::wstring upper;
    std::wstring lower;
    DWORD caret;
  };
  const Case cases[] = {
      {"result 256", kNotice, L"before", 24},
      {"result 0xFFFFFF00", kNotice, L"before", 24},
      {"result 0x101", L"4, ", L"1, ", 0},
      {"result 0x80000001 0x200", L"4, ", kNotice, 0},
  };
  for (const Case& c : cases) {
    Scenario scenario(std::string("table 4 -32767\n") + c.scenario);
    SetWindowTextW(Lower(), L"before");
    Click();
    EXPECT_EQ(Printable(TextOf(Upper())), Printable(c.upper)) << c.scenario;
    EXPECT_EQ(Printable(TextOf(Lower())), Printable(c.lower)) << c.scenario;
    EXPECT_EQ(CaretOf(Upper()), c.caret) << c.scenario;
  }
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

TEST(VendorLibrary, TheWholeTableReachesTheLibraryAndComesBack) {
  Scenario scenario(
      "table -1 2 -3 4 -5 6 -7 8 -9 10 -11 12 -13 14 -15 16 -17 18 -19 20 -21 22 -23 24 -25 26 -27 28 -29 30 "
      "-31 32 -32768\nresult 0x1234\nrecord QZ_SIM.LOG");
  VendorLibrary library(kDeviceLibraryName);
  DeviceTable table;
  EXPECT_EQ(library.GetRegDevList(table), 0x1234u) << "the raw result, upper bits included";
  for (int i = 0; i < 32; ++i) {
    EXPECT_EQ(table.entry[i], (i % 2 ? 1 : -1) * (i + 1)) << "entry " << i;
  }
  EXPECT_EQ(table.entry[32], -32768) << "entry 32 is written by the library too";
  EXPECT_EQ(scenario.Calls(), std::vector<std::string>{"call 1 selector 0 table zero"});
}

TEST(VendorLibrary, AMissingEntryPointIsAFailedCall) {
  VendorLibrary library("QZ_NOENTRY.DLL");
  for (int call = 1; call <= 2; ++call) {
    DeviceTable table;
    EXPECT_EQ(library.GetRegDevList(table), 0u) << "call " << call;
  }
  ASSERT_NE(GetModuleHandleA("QZ_NOENTRY.DLL"), nullptr) << "the library itself loaded";
}

// A library that faults inside its call, or misbehaves in another way: the
// call fails, or succeeds as a sound one would, and leaves the thread as it
// was, down to the head of its handler chain; the next call is answered as usual.
TEST(VendorLibrary, WhatALibraryDoesInsideItsCallStaysThere) {
  const struct {
    const char* library;
    const char* scenario;
    std::uint32_t result;
    const char* emulatorCannot = nullptr;  // why the row shows nothing under emulation
  } cases[] = {
      {"QZ_USB.DLL", "fault av", 0},
      {"QZ_USB.DLL", "fault divide", 0},
      {"QZ_USB.DLL", "fault illegal", 0},
      {"QZ_USB.DLL", "fault raise 0xE06D7363", 0},
      {"QZ_USB.DLL", "fault raise 0xC0000005", 0},
      {"QZ_USB.DLL", "write 2049", 0},
      {"QZ_USB.DLL", "write 65536", 0},
      {"QZ_USB.DLL", "before 1", 0},
      {"QZ_USB.DLL", "fault stack", 0, kStackGuard},
      {"QZ_USB.DLL", "fault stack", 0, kStackGuard},  // the second overflow needs a new guard page
      {"QZ_USB.DLL", "fpu 0x0240 0x8000", 1},         // every exception unmasked, MXCSR flushing to zero
      {"QZ_USB.DLL", "leave direction", 1},
      {"QZ_USB.DLL", "leave dpi", 1},
      {"QZ_USB.DLL", "leave unload", 1},  // freed until the loader lets go: it must not
      {"QZ_CDECL.DLL", "", 1},
      {"QZ_POPS4.DLL", "", 1},
      {"QZ_POPS12.DLL", "", 1},
  };
  const std::string threadState = ThreadState();
  for (const auto& c : cases) {
    const std::string what = std::string(c.library) + ", " + c.scenario;
    const std::string row = "row " + std::to_string(&c - cases + 1) + " (" + what + ")";
    if (c.emulatorCannot && LeftOutUnderEmulation(row, c.emulatorCannot)) continue;
    VendorLibrary library(c.library);
    DeviceTable table;
    table.entry[0] = 99;
    {
      Scenario scenario(std::string("table 4 -32767 2\n") + c.scenario);
      EXPECT_EQ(library.GetRegDevList(table), c.result) << what;
    }
    EXPECT_EQ(table.entry[0], c.result ? 4 : 99) << what << ": what the library wrote, used or not";
    EXPECT_EQ(ThreadState(), threadState) << what;
    // An inexact result, as the next repaint has them: fatal with the library's settings.
    volatile double third = 1.0;
    third = third / 3.0;
    Scenario good("table 4 -32767 2");
    table.entry[0] = 0;
    EXPECT_EQ(library.GetRegDevList(table), 1u) << "the call after " << what;
    EXPECT_EQ(table.entry[0], 4) << "the call after " << what;
  }
}

}  // namespace
