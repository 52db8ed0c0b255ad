#include <windows.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "FormFixture.h"
#include "window/AppModule.h"

namespace {

struct Rect {
  int left, top, width, height;
};

struct Layout {
  int dpi;
  int clientWidth, clientHeight;
  Rect label1, upper, label2, lower, button;
};

// The twips of the design converted by hand: 15 twips a pixel at 96 DPI, 10 at
// 144, 7.5 at 192, halves rounded up.
const Layout kLayouts[] = {
    {96, 327, 233, {10, 12, 211, 15}, {6, 28, 315, 65}, {8, 112, 295, 15}, {6, 128, 315, 65}, {6, 206, 317, 23}},
    {144, 491, 350, {15, 18, 317, 23}, {9, 42, 473, 98}, {12, 168, 443, 23}, {9, 192, 473, 98}, {9, 309, 476, 35}},
    {192, 654, 466, {20, 24, 422, 30}, {12, 56, 630, 130}, {16, 224, 590, 30}, {12, 256, 630, 130}, {12, 412, 634, 46}},
};

int SystemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

Rect RectInParent(HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

std::string Show(const Rect& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.width) + "x" +
         std::to_string(r.height);
}

TEST_F(FormTest, LayoutIsTheDesignAtTheSystemDpi) {
  const int dpi = SystemDpi();
  // The prefix is named after its DPI: dpi144, dpi96-font13.
  const char* prefix = std::getenv("DEVICELIST_PREFIX");
  ASSERT_EQ(dpi, prefix ? std::atoi(prefix + 3) : 96) << "the Wine prefix runs at another DPI than its name says";
  const Layout* layout = nullptr;
  for (const Layout& l : kLayouts) {
    if (l.dpi == dpi) layout = &l;
  }
  ASSERT_NE(layout, nullptr) << "no layout written down for " << dpi << " DPI";

  RECT client;
  GetClientRect(form.Handle(), &client);
  EXPECT_EQ(client.right, layout->clientWidth) << "client width at " << dpi << " DPI";
  EXPECT_EQ(client.bottom, layout->clientHeight) << "client height at " << dpi << " DPI";

  const struct {
    const char* name;
    int id;
    Rect rect;
  } controls[] = {{"Label1", Form1::kLabel1, layout->label1},
                  {"txtMsgDisplay", Form1::kTxtMsgDisplay, layout->upper},
                  {"Label2", Form1::kLabel2, layout->label2},
                  {"txtMsgDisplay2", Form1::kTxtMsgDisplay2, layout->lower},
                  {"Command1", Form1::kCommand1, layout->button}};
  for (const auto& c : controls) {
    EXPECT_EQ(Show(RectInParent(Control(c.id))), Show(c.rect)) << c.name << " at " << dpi << " DPI";
  }

  // One monitor and no taskbar here (Wine cannot show one): the work area is
  // the whole screen.
  RECT window;
  GetWindowRect(form.Handle(), &window);
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  EXPECT_LE(std::abs(window.left + window.right - screenWidth), 1) << "centred horizontally";
  EXPECT_LE(std::abs(window.top + window.bottom - screenHeight), 1) << "centred vertically";
}

TEST_F(FormTest, CaptionsAreExact) {
  EXPECT_EQ(TextOf(form.Handle()), L" List of devices");
  const std::wstring label1 = TextOf(Control(Form1::kLabel1));
  const std::wstring label2 = TextOf(Control(Form1::kLabel2));
  EXPECT_EQ(label1, L"c o n n e c t e d   d e v i c e s");
  EXPECT_EQ(label1.size(), 33u);
  EXPECT_EQ(label2, L"d i s c o n n e c t e d   d e v i c e s  (still shown in regsitry)");
  EXPECT_EQ(label2.size(), 66u);
  EXPECT_EQ(TextOf(Button()), L"Get device list");
  EXPECT_EQ(TextOf(Upper()), L"");
  EXPECT_EQ(TextOf(Lower()), L"");
}

TEST_F(FormTest, PanesAreEditableWrappingUnicodeEditControls) {
  for (HWND pane : {Upper(), Lower()}) {
    const LONG style = GetWindowLongW(pane, GWL_STYLE);
    EXPECT_TRUE(style & ES_MULTILINE);
    EXPECT_TRUE(style & WS_VSCROLL);
    EXPECT_TRUE(style & WS_TABSTOP);
    EXPECT_FALSE(style & WS_HSCROLL) << "a horizontal scroll bar would stop the wrapping";
    EXPECT_FALSE(style & ES_AUTOHSCROLL) << "lines must wrap at the right edge";
    EXPECT_FALSE(style & ES_READONLY);
    EXPECT_TRUE(IsWindowUnicode(pane));
  }
  for (int label : {Form1::kLabel1, Form1::kLabel2}) {
    EXPECT_FALSE(GetWindowLongW(Control(label), GWL_STYLE) & WS_TABSTOP) << "labels take no focus";
  }
  EXPECT_TRUE(GetWindowLongW(Button(), GWL_STYLE) & WS_TABSTOP);
  EXPECT_TRUE(IsWindowUnicode(form.Handle()));
  EXPECT_TRUE(IsWindowVisible(form.Handle()));
}

LOGFONTW FontOf(HWND control) {
  LOGFONTW font = {};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
  return font;
}

std::string Show(const LOGFONTW& font) {
  return Printable(font.lfFaceName) + " " + std::to_string(font.lfHeight);
}

// The panes and the button take the message font as the user set it; the
// labels take it too, shrunk only as far as their captions need.
TEST_F(FormTest, FontsFollowTheMessageFontAndCaptionsFitTheirLabels) {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
  const LOGFONTW& message = metrics.lfMessageFont;
  for (int id : {Form1::kTxtMsgDisplay, Form1::kTxtMsgDisplay2, Form1::kCommand1}) {
    ASSERT_NE(SendMessageW(Control(id), WM_GETFONT, 0, 0), 0) << "control " << id << " left with the System font";
    EXPECT_EQ(Show(FontOf(Control(id))), Show(message)) << "control " << id << " at " << SystemDpi() << " DPI";
  }

  HDC dc = GetDC(form.Handle());
  for (int id : {Form1::kLabel1, Form1::kLabel2, Form1::kCommand1}) {
    HWND control = Control(id);
    const LOGFONTW font = FontOf(control);
    EXPECT_STREQ(font.lfFaceName, message.lfFaceName) << "control " << id;
    EXPECT_LE(std::abs(font.lfHeight), std::abs(message.lfHeight)) << "control " << id;
    const std::wstring caption = TextOf(control);
    HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE extent = {};
    GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
    SelectObject(dc, previous);
    RECT client;
    GetClientRect(control, &client);
    EXPECT_LE(extent.cx, client.right) << Printable(caption) << " in " << Show(font) << " is wider than its control at "
                                       << SystemDpi() << " DPI";
    EXPECT_LE(extent.cy, client.bottom) << Printable(caption) << " in " << Show(font)
                                        << " is taller than its control at " << SystemDpi() << " DPI";
  }
  ReleaseDC(form.Handle(), dc);
}

TEST_F(FormTest, TitleBarAndTaskbarShowTheProgramsIcon) {
  const struct {
    int index, widthMetric;
    const char* name;
  } icons[] = {{GCLP_HICON, SM_CXICON, "big icon"}, {GCLP_HICONSM, SM_CXSMICON, "small icon"}};
  for (const auto& expected : icons) {
    const HICON icon = reinterpret_cast<HICON>(GetClassLongPtrW(form.Handle(), expected.index));
    ASSERT_NE(icon, nullptr) << expected.name;
    EXPECT_NE(icon, LoadIconW(nullptr, MAKEINTRESOURCEW(32512))) << expected.name << " is the stock one";
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon, &info)) << expected.name;
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, GetSystemMetrics(expected.widthMetric)) << expected.name << " drawn at its own size";
    EXPECT_EQ(bitmap.bmBitsPixel, 32) << expected.name << " with its alpha channel";
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
  }
}

TEST_F(FormTest, ButtonHasTheFocusAndTabCyclesThroughThePanes) {
  EXPECT_EQ(GetFocus(), Button()) << "focus when the window opens";
  const HWND forward[] = {Upper(), Lower(), Button(), Upper()};
  for (HWND next : forward) {
    PressKey(VK_TAB);
    EXPECT_TRUE(PumpUntil(form.Handle(), [&] { return GetFocus() == next; }))
        << "Tab should reach control " << GetDlgCtrlID(next) << ", focus is on " << GetDlgCtrlID(GetFocus());
  }
  const HWND backward[] = {Button(), Lower(), Upper(), Button()};
  for (HWND next : backward) {
    PressKey(VK_TAB, true);
    EXPECT_TRUE(PumpUntil(form.Handle(), [&] { return GetFocus() == next; }))
        << "Shift+Tab should reach control " << GetDlgCtrlID(next) << ", focus is on " << GetDlgCtrlID(GetFocus());
  }
}

// The focus messages a dialog understands: WM_NEXTDLGCTL reads its flag from
// the low word only, and focus given to the window goes on to its control.
TEST_F(FormTest, FocusMessagesWorkAsInADialog) {
  SetFocus(Button());
  SendMessageW(form.Handle(), WM_NEXTDLGCTL, 0, MAKELPARAM(FALSE, 1));
  EXPECT_EQ(GetFocus(), Upper()) << "next control, whatever the high word holds";
  SendMessageW(form.Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Lower()), MAKELPARAM(TRUE, 0));
  EXPECT_EQ(GetFocus(), Lower()) << "the control named in wParam";
  SetFocus(form.Handle());
  EXPECT_EQ(GetFocus(), Button()) << "the window passes the focus on to its control";
}

// Updates of a pane nest: only the outermost end shows the pane again.
TEST_F(FormTest, PaneUpdatesNest) {
  Pane& pane = form.UpperPane();
  pane.BeginUpdate();
  pane.BeginUpdate();
  pane.EndUpdate();
  EXPECT_FALSE(GetWindowLongW(Upper(), GWL_STYLE) & WS_VISIBLE) << "shown by the inner end";
  pane.EndUpdate();
  EXPECT_TRUE(GetWindowLongW(Upper(), GWL_STYLE) & WS_VISIBLE) << "hidden after the outer end";
}

TEST_F(FormTest, EscInAPaneKeepsTheWindowAndEnterBreaksTheLine) {
  for (HWND pane : {Upper(), Lower()}) {
    SetFocus(pane);
    TypeText(L"ab");
    PressKey(VK_RETURN);
    TypeText(L"c");
    PressKey(VK_ESCAPE);
    EXPECT_TRUE(PumpUntil(form.Handle(), [&] { return TextOf(pane).size() == 5; }));
    PumpBriefly(form.Handle());
    ASSERT_TRUE(IsWindow(form.Handle())) << "Esc in pane " << GetDlgCtrlID(pane) << " closed the window";
    EXPECT_EQ(Printable(TextOf(pane)), "ab\\r\\nc");
  }
}

TEST_F(FormTest, SpaceAndEnterOnTheFocusedButtonClickIt) {
  Scenario scenario("table 5 -32767 3");
  for (WORD key : {VK_SPACE, VK_RETURN}) {
    SetWindowTextW(Upper(), L"");
    SetWindowTextW(Lower(), L"");
    SetFocus(Button());
    PressKey(key);
    EXPECT_TRUE(PumpUntil(form.Handle(), [&] { return TextOf(Upper()) == L"3, 5, "; }))
        << (key == VK_SPACE ? "Space" : "Enter") << " did not click; upper pane holds " << Printable(TextOf(Upper()));
    EXPECT_EQ(TextOf(Lower()), L"1, ");
  }
}

TEST_F(FormTest, TextTypedInAnyScriptSurvivesAnAppend) {
  Scenario scenario("table 4 -32767");
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
}

TEST_F(FormTest, CaretAfterAReplaceAndAfterScrollDisplay) {
  std::wstring lines;
  for (int i = 0; i < 40; ++i) lines += L"line " + std::to_wstring(i) + L"\r\n";
  form.UpperPane().SetText(lines);
  DWORD start = 1, end = 1;
  SendMessageW(Upper(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 0u) << "a replace leaves the caret at the start";
  EXPECT_EQ(end, 0u);
  EXPECT_EQ(SendMessageW(Upper(), EM_GETFIRSTVISIBLELINE, 0, 0), 0) << "the pane shows its first line";

  ScrollDisplay("Down");
  SendMessageW(Upper(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 0u) << "\"Down\" is not a command";

  ScrollDisplay("end");
  SendMessageW(Upper(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, lines.size());
  EXPECT_EQ(end, lines.size()) << "an empty selection after the last character";
  EXPECT_GT(SendMessageW(Upper(), EM_GETFIRSTVISIBLELINE, 0, 0), 30) << "the end is scrolled into view";
  EXPECT_EQ(SendMessageW(Lower(), EM_GETFIRSTVISIBLELINE, 0, 0), 0) << "the lower pane is not scrolled";
}

}  // namespace
