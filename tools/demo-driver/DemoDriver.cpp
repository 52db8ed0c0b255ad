// Drives a running DeviceList from outside, for the demo and the screenshots:
//   DemoDriver window   waits for the main window; prints its screen rectangle
//   DemoDriver box      waits for the start-up error box; prints its rectangle
//   DemoDriver ok       presses OK in the error box
//   DemoDriver click    presses "Get device list" and prints both panes
//   DemoDriver close    closes the main window
// Exit code 0 on success, 2 when the window or box did not appear in time.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "window/Resource.h"

namespace {

HWND WaitFor(const wchar_t* className, const wchar_t* title) {
  for (int i = 0; i < 1000; ++i) {
    HWND window = FindWindowW(className, title);
    if (window && IsWindowVisible(window)) return window;
    Sleep(10);
  }
  return nullptr;
}

void PrintRect(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  std::printf("%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
}

std::string PaneText(HWND pane) {
  wchar_t text[8192] = {};
  DWORD_PTR length = 0;
  SendMessageTimeoutW(pane, WM_GETTEXT, 8192, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 10000, &length);
  char utf8[32768] = {};
  WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8, sizeof utf8 - 1, nullptr, nullptr);
  return utf8;
}

}  // namespace

int main(int argc, char** argv) {
  const char* command = argc > 1 ? argv[1] : "";
  if (std::strcmp(command, "box") == 0 || std::strcmp(command, "ok") == 0) {
    HWND box = WaitFor(L"#32770", L"error");
    if (!box) return 2;
    if (command[0] == 'b')
      PrintRect(box);
    else
      PostMessageW(box, WM_COMMAND, IDOK, 0);
    return 0;
  }
  HWND form = WaitFor(L"DeviceList.Form1", nullptr);
  if (!form) return 2;
  if (std::strcmp(command, "window") == 0) {
    PrintRect(form);
  } else if (std::strcmp(command, "click") == 0) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(GetDlgItem(form, IDC_COMMAND1), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 30000, &result);
    std::printf("connected devices:    %s\n", PaneText(GetDlgItem(form, IDC_TXTMSGDISPLAY)).c_str());
    std::printf("disconnected devices: %s\n", PaneText(GetDlgItem(form, IDC_TXTMSGDISPLAY2)).c_str());
  } else if (std::strcmp(command, "close") == 0) {
    PostMessageW(form, WM_CLOSE, 0, 0);
  } else {
    std::fprintf(stderr, "usage: DemoDriver window|box|ok|click|close\n");
    return 1;
  }
  return 0;
}
