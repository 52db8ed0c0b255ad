// Functions the program looks up at run time rather than importing: user32's
// that Windows 7 lacks, and COM's, which would load ole32 at every start.
#pragma once

#include <windows.h>

// Sent by Windows 10 1703 and later before WM_DPICHANGED; the Windows 7
// headers lack it.
#ifndef WM_GETDPISCALEDSIZE
#define WM_GETDPISCALEDSIZE 0x02E4
#endif

// DPI_AWARENESS_CONTEXT of Windows 10 1607, which the Windows 7 headers lack.
using DpiAwarenessContext = HANDLE;

// user32's per-monitor DPI functions of Windows 10 1607, each null where the
// running Windows lacks it; the caller then falls back to the system DPI.
struct User32Functions {
  UINT(WINAPI* getDpiForWindow)(HWND);
  BOOL(WINAPI* adjustWindowRectExForDpi)(RECT*, DWORD, BOOL, DWORD, UINT);
  BOOL(WINAPI* systemParametersInfoForDpi)(UINT, UINT, void*, UINT, UINT);
  int(WINAPI* getSystemMetricsForDpi)(int, UINT);
  DpiAwarenessContext(WINAPI* getThreadDpiAwarenessContext)();
  DpiAwarenessContext(WINAPI* setThreadDpiAwarenessContext)(DpiAwarenessContext);
};
const User32Functions& NewerUser32();

// COM's functions, looked up on the first use: ole32 loads then, and not at
// a start that never needs it. Null where ole32 cannot be loaded.
struct Ole32Functions {
  decltype(&CoInitializeEx) coInitializeEx;
  decltype(&CoUninitialize) coUninitialize;
  decltype(&CoCreateInstance) coCreateInstance;
};
const Ole32Functions& Ole32();

// A function looked up by name; null where the module lacks it.
template <typename Function>
void LookUp(Function& function, HMODULE module, const char* name) {
  FARPROC found = module ? GetProcAddress(module, name) : nullptr;
  // Through the generic function pointer type, the cast that compilers accept quietly.
  function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}
