// The window's design in twips, and what it takes at a given DPI.
#include "window/Layout.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <iterator>

#include "window/LateBound.h"
#include "window/Resource.h"
#include "window/Scoped.h"

namespace {

const int kClientWidth = 4905;
const int kClientHeight = 3495;

const DWORD kPaneStyle = WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
const DWORD kLabelStyle = SS_LEFT | SS_NOPREFIX;

const wchar_t kConnected[] = L"connected devices";
const wchar_t kDisconnected[] = L"disconnected devices (still shown in registry)";

// Where the push button's frame and focus rectangle leave its caption room.
const int kButtonInset = 45;

// The font dialogs use, as the user set it, at the DPI.
bool GetMessageFont(int dpi, LOGFONTW& font) {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  const auto forDpi = NewerUser32().systemParametersInfoForDpi;
  const BOOL got = forDpi ? forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)
                          : SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  font = metrics.lfMessageFont;
  // Else given at the system DPI, the only one such a Windows draws at.
  if (!forDpi) font.lfHeight = MulDiv(font.lfHeight, dpi, SystemDpi());
  return got != FALSE;
}

bool CaptionsFit(HDC dc, HFONT font, FontRole role, int dpi) {
  HGDIOBJ previous = SelectObject(dc, font);
  bool fit = true;
  for (const ControlLayout& c : kControls) {
    if (c.font != role) continue;
    SIZE extent = {};
    GetTextExtentPoint32W(dc, c.text, static_cast<int>(wcslen(c.text)), &extent);
    const int inset = 2 * TwipsToPixels(c.textInset, dpi);
    fit = fit && extent.cx <= TwipsToPixels(c.width, dpi) - inset && extent.cy <= TwipsToPixels(c.height, dpi) - inset;
  }
  SelectObject(dc, previous);
  return fit;
}

// The font, a pixel smaller at a time until the captions of the role fit
// their fixed boxes.
UniqueFont CreateFittedFont(LOGFONTW font, FontRole role, int dpi) {
  const ScreenDC screen(GetDC(nullptr));
  for (;;) {
    UniqueFont candidate(CreateFontIndirectW(&font));
    if (!candidate || std::abs(font.lfHeight) <= 8 || CaptionsFit(screen.get(), candidate.get(), role, dpi)) {
      return candidate;
    }
    font.lfHeight += font.lfHeight < 0 ? 1 : -1;
  }
}

}  // namespace

const wchar_t kCaption[] = L" List of devices";
const DWORD kFrameStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// Each control a group of its own: the arrow keys of the dialog keyboard
// then never move the focus. Tab goes button, upper pane, lower pane.
const ControlLayout kControls[kControlCount] = {
    {IDC_LABEL1, L"STATIC", L"c o n n e c t e d   d e v i c e s", WS_GROUP | kLabelStyle, 0, 150, 180, 3165, 225, 0,
     FontRole::kLabel, kConnected},
    {IDC_TXTMSGDISPLAY, L"EDIT", L"", WS_GROUP | kPaneStyle, WS_EX_CLIENTEDGE, 90, 420, 4725, 975, 0,
     FontRole::kMessage, kConnected},
    {IDC_LABEL2, L"STATIC", L"d i s c o n n e c t e d   d e v i c e s  (still shown in regsitry)",
     WS_GROUP | kLabelStyle, 0, 120, 1680, 4425, 225, 0, FontRole::kLabel, kDisconnected},
    {IDC_TXTMSGDISPLAY2, L"EDIT", L"", WS_GROUP | kPaneStyle, WS_EX_CLIENTEDGE, 90, 1920, 4725, 975, 0,
     FontRole::kMessage, kDisconnected},
    {IDC_COMMAND1, L"BUTTON", L"Get device list", WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 90, 3090, 4755, 345,
     kButtonInset, FontRole::kButton, nullptr},
};

int TwipsToPixels(int twips, int dpi) {
  return MulDiv(twips, dpi, 1440);
}

RECT ControlRect(const ControlLayout& c, int dpi) {
  const int left = TwipsToPixels(c.left, dpi);
  const int top = TwipsToPixels(c.top, dpi);
  return {left, top, left + TwipsToPixels(c.width, dpi), top + TwipsToPixels(c.height, dpi)};
}

SIZE FrameSize(int dpi) {
  RECT frame = {0, 0, TwipsToPixels(kClientWidth, dpi), TwipsToPixels(kClientHeight, dpi)};
  const auto forDpi = NewerUser32().adjustWindowRectExForDpi;
  static_cast<void>(forDpi ? forDpi(&frame, kFrameStyle, FALSE, 0, dpi)
                           : AdjustWindowRectEx(&frame, kFrameStyle, FALSE, 0));
  return {frame.right - frame.left, frame.bottom - frame.top};
}

POINT CentredOnPointerMonitor(SIZE frame) {
  POINT pointer = {};
  GetCursorPos(&pointer);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (GetMonitorInfoW(MonitorFromPoint(pointer, MONITOR_DEFAULTTOPRIMARY), &monitor)) area = monitor.rcWork;
  // Larger than the area: the caption stays reachable.
  return {std::max(area.left, (area.left + area.right - frame.cx) / 2),
          std::max(area.top, (area.top + area.bottom - frame.cy) / 2)};
}

int SystemDpi() {
  const ScreenDC screen(GetDC(nullptr));
  const int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
  return dpi > 0 ? dpi : 96;
}

int WindowDpi(HWND window) {
  const auto forWindow = NewerUser32().getDpiForWindow;
  const UINT dpi = forWindow ? forWindow(window) : 0;
  return dpi > 0 ? static_cast<int>(dpi) : SystemDpi();
}

int MetricForDpi(int metric, int dpi) {
  const auto forDpi = NewerUser32().getSystemMetricsForDpi;
  return forDpi ? forDpi(metric, dpi) : MulDiv(GetSystemMetrics(metric), dpi, SystemDpi());
}

bool ControlFonts::Create(int dpi) {
  LOGFONTW message = {};
  if (!GetMessageFont(dpi, message)) return false;
  dpi_ = dpi;
  message_ = message;
  fonts_[static_cast<int>(FontRole::kMessage)].reset(CreateFontIndirectW(&message));
  for (FontRole role : {FontRole::kLabel, FontRole::kButton}) {
    fonts_[static_cast<int>(role)] = CreateFittedFont(message, role, dpi);
  }
  return std::all_of(std::begin(fonts_), std::end(fonts_), [](const UniqueFont& font) { return bool(font); });
}

bool ControlFonts::Current(int dpi) const {
  LOGFONTW message = {};
  return fonts_[0] && dpi == dpi_ && GetMessageFont(dpi, message) &&
         std::memcmp(&message, &message_, offsetof(LOGFONTW, lfFaceName)) == 0 &&
         std::wcsncmp(message.lfFaceName, message_.lfFaceName, LF_FACESIZE) == 0;
}

HFONT ControlFonts::For(FontRole role) const {
  return fonts_[static_cast<int>(role)].get();
}
