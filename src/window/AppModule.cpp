// The module's globals, the start-up check, the error box and the caret of
// the upper pane.
#include "window/AppModule.h"

#include <vector>

#include "listing/Pane.h"
#include "window/Form1.h"

bool gLibOk = false;
HMODULE gLibHandle = nullptr;
std::int32_t gMsgResult = 0;

namespace {

// Null-terminated, for the ANSI call.
std::vector<char> ToSystemCodePage(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::vector<char> converted(size > 0 ? static_cast<std::size_t>(size) : 1u, '\0');
  if (size > 0) WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, converted.data(), size, nullptr, nullptr);
  return converted;
}

}  // namespace

void CheckLibrary() {
  // A QZ_USB.DLL planted in whatever folder the program was started from must
  // not be loaded; the Windows folder and the program's own stay searched.
  SetDllDirectoryW(L"");
  // A file that is no library fails quietly here rather than in a system box.
  DWORD previousMode = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previousMode);
  gLibHandle = LoadPinned("QZ_USB.DLL");
  SetThreadErrorMode(previousMode, nullptr);
  if (gLibHandle) {
    gLibOk = true;
    return;
  }

  ShowMessage(
      L"ERROR finding QZ_USB.DLL\n\n\nLocate and place file in Windows directory, or\n\n"
      L"same directory as application and try again.\n\n",
      L"error");
  gLibOk = false;
  // No window is shown and no further handler runs.
  ExitProcess(1);
}

HMODULE LoadPinned(const char* fileName) {
  HMODULE library = LoadLibraryA(fileName);
  HMODULE pinned = nullptr;
  if (library) {
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(library), &pinned);
  }
  return library;
}

void ShowMessage(const std::wstring& message, const std::wstring& caption) {
  Form1* form = Form1::MainWindow();
  HWND owner = form ? form->Handle() : nullptr;
  gMsgResult = MessageBoxA(owner, ToSystemCodePage(message).data(), ToSystemCodePage(caption).data(), 0);
}

void ScrollDisplay(std::string_view command) {
  Form1* form = Form1::MainWindow();
  if (form) ScrollToEnd(form->UpperPane(), command);
}
