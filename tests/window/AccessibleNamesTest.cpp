// The names a screen reader gets, seen through a stand-in for the system's
// annotation service: Wine's own accepts the calls and keeps nothing.
#include <windows.h>
#include <initguid.h>
#include <oleacc.h>

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "window/Form1.h"

namespace {

// Records the names set and cleared per window; answers nothing else.
class RecordingServices : public IAccPropServices, public IClassFactory {
 public:
  std::map<HWND, std::vector<std::wstring>> named;
  std::map<HWND, int> cleared;

  HRESULT WINAPI QueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IUnknown || iid == IID_IAccPropServices) {
      *object = static_cast<IAccPropServices*>(this);
    } else if (iid == IID_IClassFactory) {
      *object = static_cast<IClassFactory*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  // Lives on the test's stack.
  ULONG WINAPI AddRef() override { return 2; }
  ULONG WINAPI Release() override { return 1; }

  HRESULT WINAPI CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    return outer ? CLASS_E_NOAGGREGATION : QueryInterface(iid, object);
  }
  HRESULT WINAPI LockServer(BOOL) override { return S_OK; }

  HRESULT WINAPI SetHwndPropStr(HWND hwnd, DWORD object, DWORD child, MSAAPROPID property, LPCWSTR text) override {
    if (object == static_cast<DWORD>(OBJID_CLIENT) && child == CHILDID_SELF && property == PROPID_ACC_NAME) {
      named[hwnd].push_back(text);
    }
    return S_OK;
  }
  HRESULT WINAPI ClearHwndProps(HWND hwnd, DWORD, DWORD, const MSAAPROPID* properties, int count) override {
    if (count == 1 && properties[0] == PROPID_ACC_NAME) ++cleared[hwnd];
    return S_OK;
  }

  HRESULT WINAPI SetPropValue(const BYTE*, DWORD, MSAAPROPID, VARIANT) override { return E_NOTIMPL; }
  HRESULT WINAPI SetPropServer(const BYTE*, DWORD, const MSAAPROPID*, int, IAccPropServer*, AnnoScope) override {
    return E_NOTIMPL;
  }
  HRESULT WINAPI ClearProps(const BYTE*, DWORD, const MSAAPROPID*, int) override { return E_NOTIMPL; }
  HRESULT WINAPI SetHwndProp(HWND, DWORD, DWORD, MSAAPROPID, VARIANT) override { return E_NOTIMPL; }
  HRESULT WINAPI SetHwndPropServer(HWND, DWORD, DWORD, const MSAAPROPID*, int, IAccPropServer*, AnnoScope) override {
    return E_NOTIMPL;
  }
  HRESULT WINAPI ComposeHwndIdentityString(HWND, DWORD, DWORD, BYTE**, DWORD*) override { return E_NOTIMPL; }
  HRESULT WINAPI DecomposeHwndIdentityString(const BYTE*, DWORD, HWND*, DWORD*, DWORD*) override { return E_NOTIMPL; }
  HRESULT WINAPI SetHmenuProp(HMENU, DWORD, MSAAPROPID, VARIANT) override { return E_NOTIMPL; }
  HRESULT WINAPI SetHmenuPropStr(HMENU, DWORD, MSAAPROPID, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT WINAPI SetHmenuPropServer(HMENU, DWORD, const MSAAPROPID*, int, IAccPropServer*, AnnoScope) override {
    return E_NOTIMPL;
  }
  HRESULT WINAPI ClearHmenuProps(HMENU, DWORD, const MSAAPROPID*, int) override { return E_NOTIMPL; }
  HRESULT WINAPI ComposeHmenuIdentityString(HMENU, DWORD, BYTE**, DWORD*) override { return E_NOTIMPL; }
  HRESULT WINAPI DecomposeHmenuIdentityString(const BYTE*, DWORD, HMENU*, DWORD*) override { return E_NOTIMPL; }
};

// The name changes a screen reader is told of, per control; called inside
// NotifyWinEvent, while the control still exists.
std::map<HWND, int> gAnnounced;

void CALLBACK RecordNameChange(HWINEVENTHOOK, DWORD, HWND control, LONG object, LONG child, DWORD, DWORD) {
  if (object == OBJID_CLIENT && child == CHILDID_SELF) ++gAnnounced[control];
}

// An assistive tool that asks the window for its objects while the second
// label is being created, before the lower pane exists.
LRESULT CALLBACK AskDuringCreation(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    const CREATESTRUCTW* created = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
    if (created->hwndParent && reinterpret_cast<INT_PTR>(created->hMenu) == IDC_LABEL2) {
      SendMessageW(created->hwndParent, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT));
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(AccessibleNames, EachControlIsNamedOnceAndClearedWhenTheWindowGoes) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  RecordingServices services;
  DWORD cookie = 0;
  ASSERT_EQ(CoRegisterClassObject(CLSID_AccPropServices, static_cast<IClassFactory*>(&services), CLSCTX_INPROC_SERVER,
                                  REGCLS_MULTIPLEUSE, &cookie),
            S_OK);
  HWINEVENTHOOK announcements =
      SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE, GetModuleHandleW(nullptr), RecordNameChange,
                      GetCurrentProcessId(), 0, WINEVENT_INCONTEXT);
  ASSERT_NE(announcements, nullptr);
  for (bool duringCreation : {false, true}) {
    const char* when = duringCreation ? "asked while the controls are created" : "asked once the window exists";
    services.named.clear();
    services.cleared.clear();
    gAnnounced.clear();
    HHOOK hook = duringCreation ? SetWindowsHookExW(WH_CBT, AskDuringCreation, nullptr, GetCurrentThreadId()) : nullptr;
    std::map<HWND, std::wstring> expected;
    {
      Form1 form;
      ASSERT_TRUE(form.Create(GetModuleHandleW(nullptr))) << when;
      if (hook) UnhookWindowsHookEx(hook);
      HWND window = form.Handle();
      // Asked first by a pane, then again and again by the others.
      for (int id : {int{IDC_TXTMSGDISPLAY2}, int{IDC_LABEL1}, int{IDC_TXTMSGDISPLAY}, 0}) {
        SendMessageW(id ? GetDlgItem(window, id) : window, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT));
        if (!duringCreation && id == IDC_TXTMSGDISPLAY2) {
          EXPECT_EQ(services.named.size(), 4u) << "the lower pane's request named all four";
        }
      }
      const std::wstring connected = L"connected devices";
      const std::wstring disconnected = L"disconnected devices (still shown in registry)";
      expected = {{GetDlgItem(window, IDC_LABEL1), connected},
                  {GetDlgItem(window, IDC_TXTMSGDISPLAY), connected},
                  {GetDlgItem(window, IDC_LABEL2), disconnected},
                  {GetDlgItem(window, IDC_TXTMSGDISPLAY2), disconnected}};
      EXPECT_EQ(services.named.size(), expected.size()) << when << ": windows named";
      for (const auto& control : expected) {
        const int id = GetDlgCtrlID(control.first);
        EXPECT_EQ(services.named[control.first], std::vector<std::wstring>{control.second})
            << when << ": control " << id << " named once";
        EXPECT_EQ(gAnnounced[control.first], 1) << when << ": control " << id << "'s new name announced once";
      }
      EXPECT_TRUE(services.cleared.empty()) << when;
      DestroyWindow(window);
    }
    for (const auto& control : expected) {
      EXPECT_EQ(services.cleared[control.first], 1) << when << ": control " << control.second << " cleared once";
      EXPECT_EQ(gAnnounced[control.first], 2) << when << ": control " << control.second << "'s clearing announced";
    }
    EXPECT_EQ(gAnnounced.size(), expected.size()) << when << ": announcements for other windows";
  }
  UnhookWinEvent(announcements);
  CoRevokeClassObject(cookie);
  CoUninitialize();
  PumpBriefly(nullptr, 0);
}

// A thread that was in no COM apartment is in none after the annotation: a
// device library that wants a multithreaded apartment of its own still gets it.
TEST(AccessibleNames, TheAnnotationLeavesNoApartmentBehind) {
  Form1 form;
  ASSERT_TRUE(form.Create(GetModuleHandleW(nullptr)));
  SendMessageW(form.Handle(), WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT));
  const HRESULT multithreaded = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  EXPECT_EQ(multithreaded, S_OK) << "the thread was left in an apartment (RPC_E_CHANGED_MODE is " << RPC_E_CHANGED_MODE
                                 << ")";
  if (SUCCEEDED(multithreaded)) CoUninitialize();
  DestroyWindow(form.Handle());
  PumpBriefly(nullptr, 0);
}

}  // namespace
