// The floor for start-up and memory that does the platform work DeviceList
// does before its window is visible, the least way: the device library
// loaded, common controls 6 (by its manifest) registered, the icons, the
// message font, the five controls, the window shown. Built by the same
// toolchain, in plain Win32.
#include <windows.h>
#include <commctrl.h>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HICON Icon(HINSTANCE instance, int size) {
  return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, LR_SHARED));
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/, LPSTR /*lpCmdLine*/, int nShowCmd) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  if (!LoadLibraryA("QZ_USB.DLL")) return 1;

  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = hInstance;
  windowClass.hIcon = Icon(hInstance, GetSystemMetrics(SM_CXICON));
  windowClass.hIconSm = Icon(hInstance, GetSystemMetrics(SM_CXSMICON));
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = L"FloorSameWork";
  RegisterClassExW(&windowClass);
  HWND window = CreateWindowExW(0, L"FloorSameWork", L" List of devices", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                                (GetSystemMetrics(SM_CXSCREEN) - 333) / 2, (GetSystemMetrics(SM_CYSCREEN) - 262) / 2,
                                333, 262, nullptr, nullptr, hInstance, nullptr);

  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
  const DWORD pane = WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
  const struct {
    const wchar_t *className, *text;
    DWORD style, exStyle;
    int x, y, w, h;
  } children[] = {
      {L"STATIC", L"c o n n e c t e d   d e v i c e s", SS_LEFT | SS_NOPREFIX, 0, 10, 12, 211, 15},
      {L"EDIT", L"", pane, WS_EX_CLIENTEDGE, 6, 28, 315, 65},
      {L"STATIC", L"d i s c o n n e c t e d   d e v i c e s  (still shown in regsitry)", SS_LEFT | SS_NOPREFIX, 0, 8,
       112, 295, 15},
      {L"EDIT", L"", pane, WS_EX_CLIENTEDGE, 6, 128, 315, 65},
      {L"BUTTON", L"Get device list", WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 6, 206, 317, 23},
  };
  HWND button = nullptr;
  for (const auto& c : children) {
    HWND child = CreateWindowExW(c.exStyle, c.className, c.text, WS_CHILD | WS_VISIBLE | c.style, c.x, c.y, c.w, c.h,
                                 window, nullptr, hInstance, nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    button = child;
  }
  ShowWindow(window, nShowCmd);
  UpdateWindow(window);
  SetFocus(button);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(window, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return 0;
}
