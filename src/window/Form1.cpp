#include "window/Form1.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>

#include "window/AppModule.h"
#include "window/Resource.h"

namespace {

const wchar_t kClassName[] = L"DeviceList.Form1";
const wchar_t kCaption[] = L" List of devices";

const DWORD kFrameStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
const int kClientWidth = 4905;  // twips, like every size here
const int kClientHeight = 3495;

struct ControlLayout {
  int id;
  const wchar_t* className;
  const wchar_t* text;
  DWORD style;
  DWORD exStyle;
  int left, top, width, height;
  const wchar_t* accessibleName;  // what a screen reader says instead of the spaced-out caption
};

const DWORD kPaneStyle = WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;

const wchar_t kConnected[] = L"connected devices";
const wchar_t kDisconnected[] = L"disconnected devices (still shown in registry)";

// In screen order, each label before its pane, so that without annotations a
// pane takes its label's text as its name; Tab goes button, upper, lower.
const ControlLayout kControls[] = {
    {Form1::kLabel1, L"STATIC", L"c o n n e c t e d   d e v i c e s", SS_LEFT | SS_NOPREFIX, 0, 150, 180, 3165, 225,
     kConnected},
    {Form1::kTxtMsgDisplay, L"EDIT", L"", kPaneStyle, WS_EX_CLIENTEDGE, 90, 420, 4725, 975, kConnected},
    {Form1::kLabel2, L"STATIC", L"d i s c o n n e c t e d   d e v i c e s  (still shown in regsitry)",
     SS_LEFT | SS_NOPREFIX, 0, 120, 1680, 4425, 225, kDisconnected},
    {Form1::kTxtMsgDisplay2, L"EDIT", L"", kPaneStyle, WS_EX_CLIENTEDGE, 90, 1920, 4725, 975, kDisconnected},
    {Form1::kCommand1, L"BUTTON", L"Get device list", WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 90, 3090, 4755, 345, nullptr},
};

Form1* gMainWindow = nullptr;

int SystemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

// 1440 twips make an inch at any DPI.
int TwipsToPixels(int twips, int dpi) {
  return MulDiv(twips, dpi, 1440);
}

bool IsLabel(const ControlLayout& c) {
  return wcscmp(c.className, L"STATIC") == 0;
}

bool CaptionsFit(HDC dc, HFONT font, int dpi) {
  HGDIOBJ previous = SelectObject(dc, font);
  bool fit = true;
  for (const ControlLayout& c : kControls) {
    if (!IsLabel(c)) continue;
    SIZE extent = {};
    GetTextExtentPoint32W(dc, c.text, static_cast<int>(wcslen(c.text)), &extent);
    fit = fit && extent.cx <= TwipsToPixels(c.width, dpi) && extent.cy <= TwipsToPixels(c.height, dpi);
  }
  SelectObject(dc, previous);
  return fit;
}

// The font dialogs use, as the user set it.
bool GetMessageFont(LOGFONTW& font) {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return false;
  font = metrics.lfMessageFont;
  return true;
}

// The message font, a pixel smaller at a time until both captions fit their
// fixed labels (Windows' own message font is taller than a label).
HFONT CreateLabelFont(LOGFONTW font, int dpi) {
  HDC dc = GetDC(nullptr);
  for (;;) {
    HFONT candidate = CreateFontIndirectW(&font);
    if (!candidate || std::abs(font.lfHeight) <= 8 || CaptionsFit(dc, candidate, dpi)) {
      ReleaseDC(nullptr, dc);
      return candidate;
    }
    DeleteObject(candidate);
    font.lfHeight += font.lfHeight < 0 ? 1 : -1;
  }
}

// Centred in the work area (the screen without the taskbar) of the monitor
// that holds the mouse pointer, where a user of several monitors looks.
POINT CentredPosition(int width, int height) {
  POINT pointer = {};
  GetCursorPos(&pointer);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (GetMonitorInfoW(MonitorFromPoint(pointer, MONITOR_DEFAULTTOPRIMARY), &monitor)) area = monitor.rcWork;
  // Larger than the area: the caption stays reachable.
  return {std::max(area.left, (area.left + area.right - width) / 2),
          std::max(area.top, (area.top + area.bottom - height) / 2)};
}

// The program's icon at the size the system draws it; none where the running
// file carries no icon, and the system shows its default.
HICON LoadProgramIcon(HINSTANCE instance, int widthMetric, int heightMetric) {
  return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_DEVICELIST), IMAGE_ICON,
                                       GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric), LR_SHARED));
}

}  // namespace

Form1::Form1() : library_(kDeviceLibraryName), listings_(txtMsgDisplay_, txtMsgDisplay2_, library_, pump_, gLibOk) {}

Form1::~Form1() {
  if (hwnd_) DestroyWindow(hwnd_);
}

Form1* Form1::MainWindow() {
  return gMainWindow;
}

bool Form1::Create(HINSTANCE instance) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadProgramIcon(instance, SM_CXICON, SM_CYICON);
  windowClass.hIconSm = LoadProgramIcon(instance, SM_CXSMICON, SM_CYSMICON);
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

  const int dpi = SystemDpi();
  RECT frame = {0, 0, TwipsToPixels(kClientWidth, dpi), TwipsToPixels(kClientHeight, dpi)};
  AdjustWindowRectEx(&frame, kFrameStyle, FALSE, 0);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const POINT at = CentredPosition(width, height);
  if (!CreateWindowExW(0, kClassName, kCaption, kFrameStyle, at.x, at.y, width, height, nullptr, nullptr, instance,
                       this)) {
    return false;
  }
  Form_Load();
  return true;
}

void Form1::Show(int showCommand) {
  // The layout is fixed: a shortcut's "Run: Maximized" opens it as designed.
  if (showCommand == SW_SHOWMAXIMIZED) showCommand = SW_SHOWNORMAL;
  // Activation gives the button the focus; a start minimised or without
  // activation leaves the focus where it is.
  ShowWindow(hwnd_, showCommand);
  // Windows may take the first show command from the shortcut all the same.
  if (IsZoomed(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
  UpdateWindow(hwnd_);
}

LRESULT CALLBACK Form1::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Form1* self = nullptr;
  if (message == WM_NCCREATE) {
    self = static_cast<Form1*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    if (!gMainWindow) gMainWindow = self;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<Form1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  return self ? self->OnMessage(message, wParam, lParam) : DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT Form1::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return CreateControls() ? 0 : -1;

    case WM_COMMAND:
      if (LOWORD(wParam) == kCommand1 && HIWORD(wParam) == BN_CLICKED) Command1_Click();
      return 0;

    case WM_NEXTDLGCTL:
      // Sent by the dialog keyboard interface and by a pane on Tab.
      MoveFocus(LOWORD(lParam) ? reinterpret_cast<HWND>(wParam) : GetNextDlgTabItem(hwnd_, GetFocus(), wParam != 0));
      return 0;

    case WM_SETFOCUS:
      // As a dialog does: the focus goes on to the control that had it.
      if (focus_) SetFocus(focus_);
      return 0;

    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) focus_ = focus;
      } else if (!HIWORD(wParam)) {
        SetFocus(focus_);
        return 0;
      }
      break;

    case WM_GETOBJECT:
      names_.Annotate();
      break;

    case WM_SETTINGCHANGE:
      // A screen reader came or went; names cost nothing to a user without one.
      if (wParam == SPI_SETSCREENREADER) names_.Annotate();
      break;

    case WM_DESTROY:
      names_.Clear();
      PostQuitMessage(0);
      return 0;

    case WM_NCDESTROY: {
      // A listing that is yielding now ends without touching the window.
      pump_.Detach();
      SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      HWND hwnd = hwnd_;
      hwnd_ = nullptr;
      if (gMainWindow == this) gMainWindow = nullptr;
      for (HFONT* font : {&font_, &labelFont_}) {
        if (*font) DeleteObject(*font);
        *font = nullptr;
      }
      return DefWindowProcW(hwnd, message, wParam, lParam);
    }
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

bool Form1::CreateControls() {
  const int dpi = SystemDpi();
  // The panes and the button follow the user's text size; only the labels
  // must fit their captions.
  LOGFONTW messageFont = {};
  if (GetMessageFont(messageFont)) {
    font_ = CreateFontIndirectW(&messageFont);
    labelFont_ = CreateLabelFont(messageFont, dpi);
  }
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE));
  for (const ControlLayout& c : kControls) {
    HWND control =
        CreateWindowExW(c.exStyle, c.className, c.text, WS_CHILD | WS_VISIBLE | c.style, TwipsToPixels(c.left, dpi),
                        TwipsToPixels(c.top, dpi), TwipsToPixels(c.width, dpi), TwipsToPixels(c.height, dpi), hwnd_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance, nullptr);
    if (!control) return false;
    if (c.accessibleName && !names_.Add(control, c.accessibleName)) return false;
    HFONT font = IsLabel(c) ? labelFont_ : font_;
    if (font) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  if (!txtMsgDisplay_.Attach(GetDlgItem(hwnd_, kTxtMsgDisplay)) ||
      !txtMsgDisplay2_.Attach(GetDlgItem(hwnd_, kTxtMsgDisplay2))) {
    return false;
  }
  pump_.Attach(hwnd_);
  focus_ = GetDlgItem(hwnd_, kCommand1);
  names_.Ready();
  if (AccessibleNames::ScreenReaderAnnounced()) names_.Annotate();
  return true;
}

void Form1::MoveFocus(HWND control) {
  if (!control) return;
  SetFocus(control);
  // As in a dialog: a pane entered by keyboard has its text selected.
  if (SendMessageW(control, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(control, EM_SETSEL, 0, -1);
}

void Form1::Form_Load() {
  CheckLibrary();
}

void Form1::Command1_Click() {
  listings_.ListBoth();
}

void Form1::GetDisconnectList() {
  listings_.ListDisconnected();
}

void Form1::GetConnectedList() {
  listings_.ListCombined();
}
