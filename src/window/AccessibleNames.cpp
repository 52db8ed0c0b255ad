// The names of AccessibleNames.h, set and cleared through the annotation service.
#include "window/AccessibleNames.h"

#include <commctrl.h>
#include <initguid.h>  // before oleacc.h: its GUIDs are defined here, without an import library
#include <oleacc.h>

#include "window/LateBound.h"
#include "window/OwnFaults.h"
#include "window/Scoped.h"

namespace {

LRESULT CALLBACK WatchProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR names) {
  return AsOwnCode([=] {
    if (message == WM_GETOBJECT) reinterpret_cast<AccessibleNames*>(names)->Annotate();
    if (message == WM_NCDESTROY) RemoveWindowSubclass(control, WatchProc, id);
    return DefSubclassProc(control, message, wParam, lParam);
  });
}

void LeaveApartment(bool entered) {
  if (entered) Ole32().coUninitialize();
}

void ReleaseServices(IAccPropServices* services) {
  services->Release();
}

// Runs use with the annotation service, in a single-threaded apartment for
// just as long, or in none: the thread leaves in the apartment it came in, so
// that a device library that wants COM of its own never finds one of ours. A
// thread already in another apartment serves the in-process service as well.
template <typename Use>
void WithServices(Use use) {
  const Ole32Functions& ole32 = Ole32();
  if (!ole32.coInitializeEx || !ole32.coUninitialize || !ole32.coCreateInstance) return;
  const Unique<bool, &LeaveApartment> apartment(SUCCEEDED(ole32.coInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  void* created = nullptr;
  const HRESULT made =
      ole32.coCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices, &created);
  const Unique<IAccPropServices*, &ReleaseServices> services(SUCCEEDED(made) ? static_cast<IAccPropServices*>(created)
                                                                             : nullptr);
  if (services) use(services.get());
}

}  // namespace

bool AccessibleNames::Add(HWND control, const wchar_t* name, bool watch) {
  if (count_ == sizeof entries_ / sizeof entries_[0]) return false;
  entries_[count_++] = {control, name};
  return !watch || SetWindowSubclass(control, WatchProc, 0, reinterpret_cast<DWORD_PTR>(this)) != FALSE;
}

void AccessibleNames::Ready() {
  ready_ = true;
  if (wanted_) Annotate();
}

void AccessibleNames::Annotate() {
  wanted_ = true;
  if (!ready_ || named_) return;
  // Tried once: a system that cannot annotate is not asked at every request.
  named_ = true;
  SetNames(true);
}

void AccessibleNames::Clear() {
  // The controls are going: nothing is named any more.
  ready_ = false;
  if (!named_) return;
  named_ = false;
  SetNames(false);
}

void AccessibleNames::SetNames(bool set) {
  WithServices([this, set](IAccPropServices* services) {
    for (std::size_t i = 0; i < count_; ++i) {
      const HWND control = entries_[i].control;
      const DWORD client = static_cast<DWORD>(OBJID_CLIENT);
      const HRESULT changed =
          set ? services->SetHwndPropStr(control, client, CHILDID_SELF, PROPID_ACC_NAME, entries_[i].name)
              : services->ClearHwndProps(control, client, CHILDID_SELF, &PROPID_ACC_NAME, 1);
      // The annotation runtime tells no one: a screen reader that has read
      // the spaced-out caption reads the name again only when told.
      if (SUCCEEDED(changed)) NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, control, OBJID_CLIENT, CHILDID_SELF);
    }
  });
}

bool AccessibleNames::ScreenReaderAnnounced() {
  BOOL running = FALSE;
  return SystemParametersInfoW(SPI_GETSCREENREADER, 0, &running, 0) && running;
}
