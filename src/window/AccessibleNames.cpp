#include "window/AccessibleNames.h"

#include <commctrl.h>
#include <initguid.h>  // before oleacc.h: its GUIDs are defined here, without an import library
#include <oleacc.h>

namespace {

LRESULT CALLBACK WatchProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR names) {
  if (message == WM_GETOBJECT) reinterpret_cast<AccessibleNames*>(names)->Annotate();
  if (message == WM_NCDESTROY) RemoveWindowSubclass(control, WatchProc, id);
  return DefSubclassProc(control, message, wParam, lParam);
}

// Bound at run time: importing them would load COM at every start.
template <typename Function>
Function Bind(HMODULE module, const char* name) {
  FARPROC found = module ? GetProcAddress(module, name) : nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

}  // namespace

bool AccessibleNames::Add(HWND control, const wchar_t* name) {
  if (count_ == sizeof entries_ / sizeof entries_[0]) return false;
  entries_[count_++] = {control, name};
  return SetWindowSubclass(control, WatchProc, 0, reinterpret_cast<DWORD_PTR>(this)) != FALSE;
}

void AccessibleNames::Annotate() {
  if (tried_) return;
  tried_ = true;
  HMODULE ole32 = LoadLibraryW(L"ole32.dll");
  auto coInitializeEx = Bind<decltype(&CoInitializeEx)>(ole32, "CoInitializeEx");
  auto coCreateInstance = Bind<decltype(&CoCreateInstance)>(ole32, "CoCreateInstance");
  if (!coInitializeEx || !coCreateInstance) return;
  // Already initialised, or in another apartment, is fine for an in-process object.
  coInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  void* services = nullptr;
  if (FAILED(coCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices, &services))) {
    return;
  }
  services_ = static_cast<IAccPropServices*>(services);
  for (std::size_t i = 0; i < count_; ++i) {
    services_->SetHwndPropStr(entries_[i].control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_NAME,
                              entries_[i].name);
  }
}

void AccessibleNames::Clear() {
  if (!services_) return;
  for (std::size_t i = 0; i < count_; ++i) {
    services_->ClearHwndProps(entries_[i].control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, &PROPID_ACC_NAME, 1);
  }
  services_->Release();
  services_ = nullptr;
}

bool AccessibleNames::ScreenReaderAnnounced() {
  BOOL running = FALSE;
  return SystemParametersInfoW(SPI_GETSCREENREADER, 0, &running, 0) && running;
}
