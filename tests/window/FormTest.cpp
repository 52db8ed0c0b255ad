// The real Form1 in the test process: its layout, fonts, icons, captions and keyboard.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "FormFixture.h"
#include "window/AppModule.h"
#include "window/Resource.h"

namespace {

struct Rect {
  int left, top, width, height;
};

struct Layout {
  int dpi;
  int clientWidth, clientHeight;
  Rect label1, upper, label2, lower, button;
};

// The twips of the design converted by hand: 15 twips a pixel at 96 DPI, 12 at
// 120, 10 at 144, 8 4/7 at 168, 7.5 at 192, 6 2/3 at 216, halves rounded up.
const Layout kLayouts[] = {
    {96, 327, 233, {10, 12, 211, 15}, {6, 28, 315, 65}, {8, 112, 295, 15}, {6, 128, 315, 65}, {6, 206, 317, 23}},
    {120, 409, 291, {13, 15, 264, 19}, {8, 35, 394, 81}, {10, 140, 369, 19}, {8, 160, 394, 81}, {8, 258, 396, 29}},
    {144, 491, 350, {15, 18, 317, 23}, {9, 42, 473, 98}, {12, 168, 443, 23}, {9, 192, 473, 98}, {9, 309, 476, 35}},
    {168, 572, 408, {18, 21, 369, 26}, {11, 49, 551, 114}, {14, 196, 516, 26}, {11, 224, 551, 114}, {11, 361, 555, 40}},
    {192, 654, 466, {20, 24, 422, 30}, {12, 56, 630, 130}, {16, 224, 590, 30}, {12, 256, 630, 130}, {12, 412, 634, 46}},
    {216, 736, 524, {23, 27, 475, 34}, {14, 63, 709, 146}, {18, 252, 664, 34}, {14, 288, 709, 146}, {14, 464, 713, 52}},
};

const Layout* LayoutAt(int dpi) {
  for (const Layout& l : kLayouts) {
    if (l.dpi == dpi) return &l;
  }
  return nullptr;
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

void ExpectControlsLaidOut(HWND form, int dpi) {
  const Layout* layout = LayoutAt(dpi);
  ASSERT_NE(layout, nullptr) << "no layout written down for " << dpi << " DPI";
  const struct {
    const char* name;
    int id;
    Rect rect;
  } controls[] = {{"Label1", IDC_LABEL1, layout->label1},
                  {"txtMsgDisplay", IDC_TXTMSGDISPLAY, layout->upper},
                  {"Label2", IDC_LABEL2, layout->label2},
                  {"txtMsgDisplay2", IDC_TXTMSGDISPLAY2, layout->lower},
                  {"Command1", IDC_COMMAND1, layout->button}};
  for (const auto& c : controls) {
    EXPECT_EQ(Show(RectInParent(GetDlgItem(form, c.id))), Show(c.rect)) << c.name << " at " << dpi << " DPI";
  }
}

// The outer size of the window with the design's client area at the DPI
// (Windows 10 1607 and later, and Wine).
SIZE DesignFrame(HWND form, int dpi) {
  const Layout* layout = LayoutAt(dpi);
  RECT frame = {0, 0, layout ? layout->clientWidth : 0, layout ? layout->clientHeight : 0};
  auto forDpi = NewerUser32().adjustWindowRectExForDpi;
  if (!forDpi || !forDpi(&frame, static_cast<DWORD>(GetWindowLongW(form, GWL_STYLE)), FALSE, 0, dpi)) return {};
  return {frame.right - frame.left, frame.bottom - frame.top};
}

TEST_F(FormTest, CaptionsAreExact) {
  EXPECT_EQ(TextOf(form.Handle()), L" List of devices");
  EXPECT_EQ(TextOf(Control(IDC_LABEL1)), L"c o n n e c t e d   d e v i c e s");
  EXPECT_EQ(TextOf(Control(IDC_LABEL2)), L"d i s c o n n e c t e d   d e v i c e s  (still shown in regsitry)");
  EXPECT_EQ(TextOf(Button()), L"Get device list");
  EXPECT_EQ(TextOf(Upper()), L"");
  EXPECT_EQ(TextOf(Lower()), L"");
}

// The panes wrap their lines and scroll them vertically.
TEST_F(FormTest, PanesAreEditableWrappingUnicodeEditControls) {
  for (HWND pane : {Upper(), Lower()}) {
    const LONG style = GetWindowLongW(pane, GWL_STYLE);
    EXPECT_TRUE(style & ES_MULTILINE);
    EXPECT_TRUE(style & WS_VSCROLL);
    EXPECT_FALSE(style & WS_HSCROLL) << "a horizontal scroll bar would stop the wrapping";
    EXPECT_FALSE(style & ES_AUTOHSCROLL) << "lines must wrap at the right edge";
  }
  EXPECT_TRUE(IsWindowUnicode(form.Handle()));
}

LOGFONTW FontOf(HWND control) {
  LOGFONTW font = {};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
  return font;
}

std::string Show(const LOGFONTW& font) {
  return Printable(font.lfFaceName) + " " + std::to_string(font.lfHeight);
}

// Whether the control's caption in the font fits its client area, less the
// inset on every side.
bool CaptionFits(HWND control, const LOGFONTW& font, int inset) {
  HDC dc = GetDC(control);
  HFONT made = CreateFontIndirectW(&font);
  HGDIOBJ previous = SelectObject(dc, made);
  const std::wstring caption = TextOf(control);
  SIZE extent = {};
  GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
  SelectObject(dc, previous);
  DeleteObject(made);
  ReleaseDC(control, dc);
  RECT client;
  GetClientRect(control, &client);
  return extent.cx <= client.right - 2 * inset && extent.cy <= client.bottom - 2 * inset;
}

// The panes take the message font as the user set it; the labels and the button
// take it too, or the largest smaller size with which their captions fit: the
// labels their whole box, the button's inside its frame and focus rectangle.
void ExpectFonts(HWND form, const LOGFONTW& message, int dpi) {
  const std::string at = " with " + Show(message) + " at " + std::to_string(dpi) + " DPI";
  for (int id : {IDC_TXTMSGDISPLAY, IDC_TXTMSGDISPLAY2}) {
    EXPECT_EQ(Show(FontOf(GetDlgItem(form, id))), Show(message)) << "pane " << id << at;
  }
  const struct {
    const char* name;
    std::vector<int> ids;
    int inset;
  } roles[] = {{"labels", {IDC_LABEL1, IDC_LABEL2}, 0}, {"button", {IDC_COMMAND1}, MulDiv(3, dpi, 96)}};
  for (const auto& role : roles) {
    const LOGFONTW font = FontOf(GetDlgItem(form, role.ids.front()));
    LOGFONTW larger = font;
    larger.lfHeight += font.lfHeight < 0 ? -1 : 1;
    bool fits = true;
    bool largerFits = true;
    for (int id : role.ids) {
      HWND control = GetDlgItem(form, id);
      EXPECT_EQ(Show(FontOf(control)), Show(font)) << role.name << " share one font" << at;
      fits = fits && CaptionFits(control, font, role.inset);
      largerFits = largerFits && CaptionFits(control, larger, role.inset);
    }
    EXPECT_STREQ(font.lfFaceName, message.lfFaceName) << role.name << at;
    EXPECT_LE(std::abs(font.lfHeight), std::abs(message.lfHeight)) << role.name << at;
    EXPECT_TRUE(fits) << role.name << ": the captions do not fit in " << Show(font) << at;
    if (font.lfHeight != message.lfHeight) {
      EXPECT_FALSE(largerFits) << role.name << ": " << Show(font) << " is smaller than needed" << at;
    }
  }
}

// The message font as the user set it, at the system's DPI or at another one
// (Windows 10 1607 and later, and Wine); all zero where the system cannot say.
LOGFONTW MessageFont(int dpi = 0) {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  auto forDpi = NewerUser32().systemParametersInfoForDpi;
  if (!dpi) SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  if (dpi && forDpi) forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
  return metrics.lfMessageFont;
}

// The title bar and the taskbar show the program's icon at the sizes of the
// DPI (that the file has an image of each: Program.TheFileCarriesItsIconFirst).
void ExpectIcons(HWND form, int dpi) {
  const struct {
    WPARAM which;
    int widthMetric;
    const char* name;
  } icons[] = {{ICON_BIG, SM_CXICON, "big icon"}, {ICON_SMALL, SM_CXSMICON, "small icon"}};
  for (const auto& expected : icons) {
    const HICON icon = reinterpret_cast<HICON>(SendMessageW(form, WM_GETICON, expected.which, 0));
    ASSERT_NE(icon, nullptr) << expected.name;
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon, &info)) << expected.name;
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
    auto forDpi = NewerUser32().getSystemMetricsForDpi;
    const int width = forDpi ? forDpi(expected.widthMetric, dpi) : GetSystemMetrics(expected.widthMetric);
    EXPECT_EQ(bitmap.bmWidth, width) << expected.name << " at " << dpi << " DPI";
    EXPECT_EQ(bitmap.bmBitsPixel, 32) << expected.name << " with its alpha channel";
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
  }
}

// A fresh window at the system's DPI, as the DPI change below expects it at others.
TEST_F(FormTest, LayoutFontsAndIconsFollowTheSystem) {
  const int dpi = DpiOf(form.Handle());
  // A Wine prefix is named after its DPI: dpi144, dpi96-font13.
  const char* prefix = std::getenv("DEVICELIST_PREFIX");
  if (prefix) {
    ASSERT_EQ(dpi, std::atoi(prefix + 3)) << "the Wine prefix runs at another DPI than its name says";
  }
  const Layout* layout = LayoutAt(dpi);
  ASSERT_NE(layout, nullptr) << "no layout written down for " << dpi << " DPI";

  RECT client;
  GetClientRect(form.Handle(), &client);
  EXPECT_EQ(client.right, layout->clientWidth) << "client width at " << dpi << " DPI";
  EXPECT_EQ(client.bottom, layout->clientHeight) << "client height at " << dpi << " DPI";
  ExpectControlsLaidOut(form.Handle(), dpi);
  ExpectFonts(form.Handle(), MessageFont(), dpi);
  ExpectIcons(form.Handle(), dpi);

  // Centred in the work area of the monitor under the pointer.
  POINT pointer = {};
  GetCursorPos(&pointer);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  ASSERT_TRUE(GetMonitorInfoW(MonitorFromPoint(pointer, MONITOR_DEFAULTTOPRIMARY), &monitor));
  const RECT& area = monitor.rcWork;
  RECT window;
  GetWindowRect(form.Handle(), &window);
  EXPECT_LE(std::abs((window.left + window.right) - (area.left + area.right)), 1) << "centred horizontally";
  EXPECT_LE(std::abs((window.top + window.bottom) - (area.top + area.bottom)), 1) << "centred vertically";
}

// Moved to a monitor of another scale, the window lays itself out again as
// a window opened there would be, and frees what it replaced.
TEST_F(FormTest, ADpiChangeLaysOutTheWindowAsIfOpenedAtThatDpi) {
  HWND window = form.Handle();
  // 175 and 225 %: icon sizes between those of the prefixes (28 and 56, 36 and 72).
  for (int dpi : {144, 168, 192, 216, 96}) {
    const LOGFONTW message = MessageFont(dpi);
    ASSERT_NE(message.lfHeight, 0) << "this system has no fonts for a DPI";
    std::vector<HGDIOBJ> before;
    for (int id : {IDC_LABEL1, IDC_TXTMSGDISPLAY, IDC_COMMAND1}) {
      before.push_back(reinterpret_cast<HGDIOBJ>(SendMessageW(GetDlgItem(window, id), WM_GETFONT, 0, 0)));
    }
    const HICON bigIcon = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0));

    SIZE size = {};
    EXPECT_TRUE(SendMessageW(window, WM_GETDPISCALEDSIZE, dpi, reinterpret_cast<LPARAM>(&size)));
    const SIZE frame = DesignFrame(window, dpi);
    EXPECT_EQ(size.cx, frame.cx) << "frame width for " << dpi << " DPI";
    EXPECT_EQ(size.cy, frame.cy) << "frame height for " << dpi << " DPI";
    RECT suggested = {40, 30, 40 + size.cx, 30 + size.cy};
    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));

    RECT now;
    GetWindowRect(window, &now);
    EXPECT_TRUE(EqualRect(&now, &suggested)) << "the window moves to the suggested rectangle at " << dpi << " DPI";
    ExpectControlsLaidOut(window, dpi);
    ExpectFonts(window, message, dpi);
    ExpectIcons(window, dpi);
    for (HGDIOBJ font : before) EXPECT_EQ(GetObjectType(font), 0u) << "a font replaced at " << dpi << " DPI lives on";
    ICONINFO info = {};
    EXPECT_FALSE(GetIconInfo(bigIcon, &info)) << "the icon replaced at " << dpi << " DPI lives on";
  }
}

// Sets the message font for the session (never the user's profile) while it
// lives, as a text size does, and tells the window, naming it in wParam or not (0).
class MessageFontSetting {
 public:
  MessageFontSetting(HWND window, int height, WPARAM announced) : window_(window), announced_(announced) {
    metrics_.cbSize = sizeof metrics_;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics_, &metrics_, 0);
    NONCLIENTMETRICSW changed = metrics_;
    changed.lfMessageFont.lfHeight = -height;
    Apply(changed);
  }
  ~MessageFontSetting() { Apply(metrics_); }
  MessageFontSetting(const MessageFontSetting&) = delete;
  MessageFontSetting& operator=(const MessageFontSetting&) = delete;

 private:
  void Apply(NONCLIENTMETRICSW& metrics) {
    SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    SendMessageW(window_, WM_SETTINGCHANGE, announced_, reinterpret_cast<LPARAM>(L"WindowMetrics"));
  }

  HWND window_;
  WPARAM announced_;
  NONCLIENTMETRICSW metrics_ = {};
};

// A text size changed while the program runs: the fonts follow at once, however
// announced, and every caption fits; any other announcement leaves them as they are.
TEST_F(FormTest, TheFontsFollowTheTextSizeWhileRunning) {
  if (!MayChangeTheSession()) GTEST_SKIP() << kSessionOfItsOwn;
  const struct {
    int height;
    WPARAM announced;
  } cases[] = {{13, SPI_SETNONCLIENTMETRICS}, {18, 0}, {24, SPI_SETNONCLIENTMETRICS}};
  for (const auto& c : cases) {
    MessageFontSetting setting(form.Handle(), c.height, c.announced);
    const LOGFONTW message = MessageFont();
    ASSERT_EQ(message.lfHeight, -c.height) << "the message font did not change";
    SCOPED_TRACE(c.announced ? "announced as SPI_SETNONCLIENTMETRICS" : "announced with wParam 0");
    ExpectFonts(form.Handle(), message, DpiOf(form.Handle()));
  }
  const LRESULT font = SendMessageW(Upper(), WM_GETFONT, 0, 0);
  for (WPARAM announced : {WPARAM{0}, WPARAM{SPI_SETNONCLIENTMETRICS}, WPARAM{SPI_SETDESKWALLPAPER}}) {
    SendMessageW(form.Handle(), WM_SETTINGCHANGE, announced, reinterpret_cast<LPARAM>(L"Environment"));
    EXPECT_EQ(SendMessageW(Upper(), WM_GETFONT, 0, 0), font) << "fonts made again for an unchanged text size, "
                                                             << "announced as " << announced;
  }
}

// Another window in front, as a user's program may come to the front during
// a test: here one of another thread, which the keys would reach.
class WindowOfAnotherThread {
 public:
  WindowOfAnotherThread() : made_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    thread_ = CreateThread(nullptr, 0, Run, this, 0, &id_);
    WaitForSingleObject(made_, 10000);
  }
  ~WindowOfAnotherThread() {
    PostThreadMessageW(id_, WM_QUIT, 0, 0);
    WaitForSingleObject(thread_, 10000);
    CloseHandle(thread_);
    CloseHandle(made_);
  }
  WindowOfAnotherThread(const WindowOfAnotherThread&) = delete;
  WindowOfAnotherThread& operator=(const WindowOfAnotherThread&) = delete;

  HWND Handle() const { return window_; }

 private:
  static DWORD WINAPI Run(void* self) {
    auto* other = static_cast<WindowOfAnotherThread*>(self);
    other->window_ = CreateWindowExW(0, L"STATIC", L"another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 100,
                                     nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetEvent(other->made_);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    DestroyWindow(other->window_);
    return 0;
  }

  HANDLE made_;
  HANDLE thread_ = nullptr;
  DWORD id_ = 0;
  HWND window_ = nullptr;
};

// With a window of someone else's in front, a key or text is not typed, and
// the test fails saying which window holds the foreground.
TEST_F(FormTest, NothingIsTypedWhileAnotherWindowHoldsTheForeground) {
  WindowOfAnotherThread other;
  ASSERT_NE(other.Handle(), nullptr);
  ASSERT_TRUE(BringToForeground(other.Handle()));
  EXPECT_NONFATAL_FAILURE(PressKey(VK_TAB), "key 9 not typed: the foreground is held by \"another program\"");
  EXPECT_NONFATAL_FAILURE(TypeText(L"x"), "text \"x\" not typed: the foreground is held by \"another program\"");
}

// The focus messages a dialog understands: WM_NEXTDLGCTL reads its flag from
// the low word only and never lands on a label, focus given to the window
// goes on to its control, and the button is the default one.
TEST_F(FormTest, FocusMessagesWorkAsInADialog) {
  SetFocus(Button());
  SendMessageW(form.Handle(), WM_NEXTDLGCTL, 0, MAKELPARAM(FALSE, 1));
  EXPECT_EQ(GetFocus(), Upper()) << "next control, whatever the high word holds";
  SendMessageW(form.Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Lower()), MAKELPARAM(TRUE, 0));
  EXPECT_EQ(GetFocus(), Lower()) << "the control named in wParam";
  SendMessageW(form.Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Control(IDC_LABEL2)), TRUE);
  EXPECT_EQ(GetFocus(), Lower()) << "a label takes no focus";
  SetFocus(form.Handle());
  EXPECT_EQ(GetFocus(), Button()) << "the window passes the focus on to the control that had it when last active";
  EXPECT_EQ(SendMessageW(form.Handle(), DM_GETDEFID, 0, 0), MAKELRESULT(IDC_COMMAND1, DC_HASDEFID));
}

// Counts the key presses that reach this thread's message queue, by key, while
// it lives: a key test that saw none tested nothing.
class KeysArriving {
 public:
  KeysArriving() : hook_(SetWindowsHookExW(WH_KEYBOARD, Hook, nullptr, GetCurrentThreadId())) {
    std::fill(std::begin(counts_), std::end(counts_), 0);
  }
  ~KeysArriving() {
    if (hook_) UnhookWindowsHookEx(hook_);
  }
  KeysArriving(const KeysArriving&) = delete;
  KeysArriving& operator=(const KeysArriving&) = delete;

  int Count(WORD key) const { return counts_[key & 0xFF]; }

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM key, LPARAM flags) {
    // Bit 31: the key goes up; a press counts once, as it goes down.
    if (code == HC_ACTION && !(flags & 0x80000000)) ++counts_[key & 0xFF];
    return CallNextHookEx(nullptr, code, key, flags);
  }

  static inline int counts_[256];
  HHOOK hook_;
};

// Presses Shift, which changes nothing, and handles messages until it has
// come: whatever the keys before it set off, messages they posted too (the
// queue gives posted messages before input), has been handled by then.
bool HandledUpToAShift(HWND form, const KeysArriving& keys) {
  const int shifts = keys.Count(VK_SHIFT);
  PressKey(VK_SHIFT);
  return PumpUntil(form, [&] { return keys.Count(VK_SHIFT) > shifts; });
}

// Keys work as in a dialog box: Tab and Shift+Tab go round the panes and the
// button, past the labels; arrow keys move nothing, each control being a group
// of its own; Esc in a pane keeps the window, Enter there breaks the line;
// Space and Enter on the button press it.
TEST_F(FormTest, KeysWorkAsInADialogBox) {
  EXPECT_EQ(GetFocus(), Button()) << "focus when the window opens";
  ASSERT_TRUE(BringToForeground(form.Handle()));
  Scenario scenario("table 5 -32767 3");
  KeysArriving keys;
  const std::wstring ab = L"ab";  // what each pane holds before the key, the caret at its end
  const struct {
    const char* name;
    HWND at;
    WORD key;
    bool shift;
    HWND focus;
    std::wstring upper, lower;
  } cases[] = {
      {"Tab", Button(), VK_TAB, false, Upper(), ab, ab},
      {"Tab", Upper(), VK_TAB, false, Lower(), ab, ab},
      {"Tab", Lower(), VK_TAB, false, Button(), ab, ab},
      {"Shift+Tab", Button(), VK_TAB, true, Lower(), ab, ab},
      {"Shift+Tab", Lower(), VK_TAB, true, Upper(), ab, ab},
      {"Shift+Tab", Upper(), VK_TAB, true, Button(), ab, ab},
      {"Down", Button(), VK_DOWN, false, Button(), ab, ab},
      {"Right", Button(), VK_RIGHT, false, Button(), ab, ab},
      {"Up", Button(), VK_UP, false, Button(), ab, ab},
      {"Left", Button(), VK_LEFT, false, Button(), ab, ab},
      {"Esc", Upper(), VK_ESCAPE, false, Upper(), ab, ab},
      {"Esc", Lower(), VK_ESCAPE, false, Lower(), ab, ab},
      {"Enter", Upper(), VK_RETURN, false, Upper(), L"ab\r\n", ab},
      {"Enter", Lower(), VK_RETURN, false, Lower(), ab, L"ab\r\n"},
      {"Space", Button(), VK_SPACE, false, Button(), L"3, 5, ", L"1, "},
      {"Enter", Button(), VK_RETURN, false, Button(), L"3, 5, ", L"1, "},
  };
  for (const auto& c : cases) {
    const std::string row = std::string(c.name) + " on control " + std::to_string(GetDlgCtrlID(c.at));
    for (HWND pane : {Upper(), Lower()}) {
      SetWindowTextW(pane, ab.c_str());
      SendMessageW(pane, EM_SETSEL, ab.size(), ab.size());
    }
    SetFocus(c.at);
    const int pressed = keys.Count(c.key);
    PressKey(c.key, c.shift);
    EXPECT_TRUE(PumpUntil(form.Handle(), [&] { return keys.Count(c.key) > pressed; })) << row << ": the key never came";
    EXPECT_TRUE(HandledUpToAShift(form.Handle(), keys)) << row << ": the Shift after it never came";
    ASSERT_TRUE(IsWindow(form.Handle())) << row << " closed the window";
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), GetDlgCtrlID(c.focus)) << row << ": the control with the focus";
    EXPECT_EQ(Printable(TextOf(Upper())), Printable(c.upper)) << row << ": the upper pane";
    EXPECT_EQ(Printable(TextOf(Lower())), Printable(c.lower)) << row << ": the lower pane";
  }
}

// Where a replace leaves the caret: FormTest.AWriteOutShowsWhatPlainReplacesShow.
TEST_F(FormTest, ScrollDisplayShowsTheEndOfTheUpperPane) {
  std::wstring lines;
  for (int i = 0; i < 40; ++i) lines += L"line " + std::to_wstring(i) + L"\r\n";
  form.UpperPane().SetText(lines);
  ScrollDisplay("end");  // which commands move the caret: PaneTest.ScrollCommandMatchesExactly
  EXPECT_EQ(CaretOf(Upper()), lines.size()) << "an empty selection after the last character";
  EXPECT_GT(SendMessageW(Upper(), EM_GETFIRSTVISIBLELINE, 0, 0), 30) << "the end is scrolled into view";
  EXPECT_EQ(SendMessageW(Lower(), EM_GETFIRSTVISIBLELINE, 0, 0), 0) << "the lower pane is not scrolled";
}

}  // namespace
