// The run-time lookups of LateBound.h, each made once.
#include "window/LateBound.h"

#include <string>

namespace {

// From the system folder only: a plain LoadLibraryW searches the program's
// folder first, where a planted ole32.dll would run inside the program.
HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  return LoadLibraryW((std::wstring(folder, length) + L"\\" + name).c_str());
}

}  // namespace

// Each table is filled on its first use, on the window's thread, the only
// one that asks: no lock.
const User32Functions& NewerUser32() {
  static User32Functions f;
  static bool filled = false;
  if (!filled) {
    filled = true;
    // Loaded with the program, whose imports include it.
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    f.getDpiForWindow = ProcAddress<decltype(f.getDpiForWindow)>(user32, "GetDpiForWindow");
    f.adjustWindowRectExForDpi = ProcAddress<decltype(f.adjustWindowRectExForDpi)>(user32, "AdjustWindowRectExForDpi");
    f.systemParametersInfoForDpi =
        ProcAddress<decltype(f.systemParametersInfoForDpi)>(user32, "SystemParametersInfoForDpi");
    f.getSystemMetricsForDpi = ProcAddress<decltype(f.getSystemMetricsForDpi)>(user32, "GetSystemMetricsForDpi");
    f.getThreadDpiAwarenessContext =
        ProcAddress<decltype(f.getThreadDpiAwarenessContext)>(user32, "GetThreadDpiAwarenessContext");
    f.setThreadDpiAwarenessContext =
        ProcAddress<decltype(f.setThreadDpiAwarenessContext)>(user32, "SetThreadDpiAwarenessContext");
  }
  return f;
}

const Ole32Functions& Ole32() {
  static Ole32Functions f;
  static bool filled = false;
  if (!filled) {
    filled = true;
    HMODULE ole32 = LoadSystemLibrary(L"ole32.dll");
    f.coInitializeEx = ProcAddress<decltype(f.coInitializeEx)>(ole32, "CoInitializeEx");
    f.coUninitialize = ProcAddress<decltype(f.coUninitialize)>(ole32, "CoUninitialize");
    f.coCreateInstance = ProcAddress<decltype(f.coCreateInstance)>(ole32, "CoCreateInstance");
  }
  return f;
}
