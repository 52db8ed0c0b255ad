// The window: its controls, its messages, its two handlers and its two
// public listings.
#include "window/Form1.h"

#include <commctrl.h>

#include <utility>

#include "window/AppModule.h"
#include "window/LateBound.h"
#include "window/OwnFaults.h"
#include "window/Resource.h"

namespace {
const wchar_t kClassName[] = L"DeviceList.Form1";
}  // namespace

Form1* Form1::mainWindow_ = nullptr;

Form1::Form1() : library_(&gLibHandle), listings_(txtMsgDisplay_, txtMsgDisplay2_, library_, pump_, gLibOk) {}

Form1::~Form1() {
  if (hwnd_) DestroyWindow(hwnd_);
}

bool Form1::Create(HINSTANCE instance) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

  const int dpi = SystemDpi();
  const SIZE frame = FrameSize(dpi);
  const POINT at = CentredOnPointerMonitor(frame);
  if (!CreateWindowExW(0, kClassName, kCaption, kFrameStyle, at.x, at.y, frame.cx, frame.cy, nullptr, nullptr, instance,
                       this)) {
    return false;
  }
  // Scaled per monitor, the window took the DPI of the monitor it opened on.
  if (dpi_ != dpi) {
    const SIZE scaled = FrameSize(dpi_);
    const POINT centred = CentredOnPointerMonitor(scaled);
    SetWindowPos(hwnd_, nullptr, centred.x, centred.y, scaled.cx, scaled.cy, SWP_NOZORDER | SWP_NOACTIVATE);
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
  return AsOwnCode([=] {
    Form1* self = nullptr;
    if (message == WM_NCCREATE) {
      self = static_cast<Form1*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
      self->hwnd_ = hwnd;
      if (!mainWindow_) mainWindow_ = self;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
      self = reinterpret_cast<Form1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    return self ? self->OnMessage(message, wParam, lParam) : DefWindowProcW(hwnd, message, wParam, lParam);
  });
}

LRESULT Form1::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return CreateControls() ? 0 : -1;

    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_COMMAND1 && HIWORD(wParam) == BN_CLICKED) Command1_Click();
      return 0;

    case DM_GETDEFID:
      // Enter outside the panes presses the button, as in a dialog.
      return MAKELRESULT(IDC_COMMAND1, DC_HASDEFID);

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

    case WM_GETDPISCALEDSIZE:
      // Exactly the design's client area at the new DPI, not a scaled frame.
      *reinterpret_cast<SIZE*>(lParam) = FrameSize(static_cast<int>(wParam));
      return TRUE;

    case WM_DPICHANGED: {
      dpi_ = LOWORD(wParam);
      PlaceControls();
      ApplyFonts();
      ApplyIcons();
      const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }

    case WM_GETOBJECT:
      names_.Annotate();
      break;

    case WM_SETTINGCHANGE:
      // The text size, however it was announced (Windows does not always name
      // SPI_SETNONCLIENTMETRICS): the fonts a fresh start would take, where
      // the message font changed; nothing to redraw otherwise.
      if (!fonts_.Current(dpi_)) ApplyFonts();
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
      if (mainWindow_ == this) mainWindow_ = nullptr;
      return DefWindowProcW(hwnd, message, wParam, lParam);
    }
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

bool Form1::CreateControls() {
  dpi_ = WindowDpi(hwnd_);
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE));
  for (const ControlLayout& c : kControls) {
    const RECT r = ControlRect(c, dpi_);
    HWND control = CreateWindowExW(c.exStyle, c.className, c.text, WS_CHILD | WS_VISIBLE | c.style, r.left, r.top,
                                   r.right - r.left, r.bottom - r.top, hwnd_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance, nullptr);
    if (!control) return false;
    EditPane* pane = c.id == IDC_TXTMSGDISPLAY    ? &txtMsgDisplay_
                     : c.id == IDC_TXTMSGDISPLAY2 ? &txtMsgDisplay2_
                                                  : nullptr;
    if (pane && !pane->Attach(control, names_)) return false;
    // A pane passes on its accessibility requests itself.
    if (c.accessibleName && !names_.Add(control, c.accessibleName, pane == nullptr)) return false;
  }
  ApplyFonts();
  ApplyIcons();
  pump_.Attach(hwnd_);
  focus_ = GetDlgItem(hwnd_, IDC_COMMAND1);
  names_.Ready();
  if (AccessibleNames::ScreenReaderAnnounced()) names_.Annotate();
  return true;
}

void Form1::PlaceControls() {
  // One pass: the controls move together and the window repaints once.
  HDWP positions = BeginDeferWindowPos(static_cast<int>(kControlCount));
  for (const ControlLayout& c : kControls) {
    const RECT r = ControlRect(c, dpi_);
    if (positions) {
      positions = DeferWindowPos(positions, GetDlgItem(hwnd_, c.id), nullptr, r.left, r.top, r.right - r.left,
                                 r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  if (positions) EndDeferWindowPos(positions);
}

void Form1::ApplyFonts() {
  ControlFonts fonts;
  if (!fonts.Create(dpi_)) return;
  for (const ControlLayout& c : kControls) {
    SendMessageW(GetDlgItem(hwnd_, c.id), WM_SETFONT, reinterpret_cast<WPARAM>(fonts.For(c.font)), TRUE);
  }
  // The fonts replaced go now that no control uses them.
  fonts_ = std::move(fonts);
}

void Form1::ApplyIcons() {
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE));
  const struct {
    WPARAM which;
    int widthMetric, heightMetric;
  } kinds[] = {{ICON_SMALL, SM_CXSMICON, SM_CYSMICON}, {ICON_BIG, SM_CXICON, SM_CYICON}};
  for (const auto& kind : kinds) {
    // None where the running file carries no icon: the system shows its default.
    UniqueIcon icon(
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_DEVICELIST), IMAGE_ICON,
                                      MetricForDpi(kind.widthMetric, dpi_), MetricForDpi(kind.heightMetric, dpi_), 0)));
    SendMessageW(hwnd_, WM_SETICON, kind.which, reinterpret_cast<LPARAM>(icon.get()));
    // The icon replaced goes now that the window no longer shows it.
    icons_[kind.which] = std::move(icon);
  }
}

void Form1::MoveFocus(HWND control) {
  // Labels take no focus, whoever asks.
  if (!control || !(GetWindowLongW(control, GWL_STYLE) & WS_TABSTOP)) return;
  SetFocus(control);
  // As in a dialog: a pane entered by keyboard has its text selected.
  if (SendMessageW(control, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(control, EM_SETSEL, 0, -1);
}

void Form1::Form_Load() {
  CheckLibrary();
}
