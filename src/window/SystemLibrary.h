#pragma once

#include <windows.h>

#include <string>

// A Windows DLL from the system folder only: a plain LoadLibraryW searches the
// program's folder first, where a planted copy would run inside the program.
inline HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  return LoadLibraryW((std::wstring(folder, length) + L"\\" + name).c_str());
}

// A function that the running Windows may lack, looked up by name; null where
// it does not exist, and the caller falls back.
template <typename Function>
Function Bind(HMODULE module, const char* name) {
  FARPROC found = module ? GetProcAddress(module, name) : nullptr;
  // Through the generic function pointer type, the cast that compilers accept quietly.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}
