// The run-time lookups of LateBound.h, each made once.
#include "window/LateBound.h"

// Each table is filled on its first use, on the window's thread, the only
// one that asks: no lock.
const User32Functions& NewerUser32() {
  static User32Functions f;
  static bool filled = false;
  if (!filled) {
    filled = true;
    // Loaded with the program, whose imports include it.
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    LookUp(f.getDpiForWindow, user32, "GetDpiForWindow");
    LookUp(f.adjustWindowRectExForDpi, user32, "AdjustWindowRectExForDpi");
    LookUp(f.systemParametersInfoForDpi, user32, "SystemParametersInfoForDpi");
    LookUp(f.getSystemMetricsForDpi, user32, "GetSystemMetricsForDpi");
    LookUp(f.getThreadDpiAwarenessContext, user32, "GetThreadDpiAwarenessContext");
    LookUp(f.setThreadDpiAwarenessContext, user32, "SetThreadDpiAwarenessContext");
  }
  return f;
}

const Ole32Functions& Ole32() {
  static Ole32Functions f;
  static bool filled = false;
  if (!filled) {
    filled = true;
    // A known DLL: the system's own copy, never one planted beside the program.
    HMODULE ole32 = LoadLibraryW(L"ole32.dll");
    LookUp(f.coInitializeEx, ole32, "CoInitializeEx");
    LookUp(f.coUninitialize, ole32, "CoUninitialize");
    LookUp(f.coCreateInstance, ole32, "CoCreateInstance");
  }
  return f;
}
