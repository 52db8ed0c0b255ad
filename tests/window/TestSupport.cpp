// The helpers of TestSupport.h.
#include "TestSupport.h"

#include <algorithm>
#include <cstdio>

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::string ReadFileBytes(const std::wstring& path) {
  std::string bytes;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return bytes;
  char chunk[65536];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) bytes.append(chunk, n);
  std::fclose(file);
  return bytes;
}

void WriteText(const std::wstring& path, const std::string& text) {
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (!file) return;
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
}

Scenario::Scenario(const std::string& text, const std::wstring& folder) : folder_(folder) {
  Write(text);
}

Scenario::~Scenario() {
  DeleteFileW((folder_ + L"QZ_SIM.TXT").c_str());
  DeleteFileW((folder_ + L"QZ_SIM.LOG").c_str());
}

void Scenario::Write(const std::string& text) {
  static int serial = 0;
  DeleteFileW((folder_ + L"QZ_SIM.LOG").c_str());
  // A line of its own makes every scenario new to the simulator.
  WriteText(folder_ + L"QZ_SIM.TXT", "# scenario " + std::to_string(++serial) + "\n" + text + "\n");
}

std::vector<std::string> Scenario::Calls() const {
  std::vector<std::string> lines;
  const std::string text = ReadFileBytes(folder_ + L"QZ_SIM.LOG");
  for (size_t start = 0, end; start < text.size(); start = end + 1) {
    end = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
    if (!lines.back().empty() && lines.back().back() == '\r') lines.back().pop_back();
  }
  return lines;
}

std::wstring TextOf(HWND window) {
  DWORD_PTR length = 0;
  SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG, 5000,
                      &copied);
  text.resize(std::min<size_t>(copied, length));
  return text;
}

std::wstring KeptText(HWND window) {
  wchar_t text[1024] = {};
  const int length = InternalGetWindowText(window, text, 1024);
  return std::wstring(text, length > 0 ? static_cast<size_t>(length) : 0u);
}

static std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::string Describe(HWND window) {
  if (!window) return "no window";
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  return "\"" + Printable(KeptText(window)) + "\" (class " + Printable(ClassOf(window)) + ", process " +
         std::to_string(process) + ")";
}

static void PumpOnce(HWND window) {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) continue;  // from a window a test closed
    if (!window || !IsDialogMessageW(window, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

bool PumpUntil(HWND window, const std::function<bool()>& done, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > timeoutMs) return false;
    PumpOnce(window);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

void PumpBriefly(HWND window, DWORD ms) {
  const auto never = [] { return false; };
  PumpUntil(window, never, ms);
}

namespace {

// A key going down or up: a virtual key, or with KEYEVENTF_UNICODE a character.
INPUT Key(WORD key, bool up, DWORD flags = 0) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  (flags & KEYEVENTF_UNICODE ? input.ki.wScan : input.ki.wVk) = key;
  input.ki.dwFlags = flags | (up ? KEYEVENTF_KEYUP : 0);
  return input;
}

// Keys go to the thread that holds the foreground: they are typed only while
// a window of this thread holds it, or they would reach another program.
bool ForegroundIsOurs(const std::string& what) {
  HWND front = GetForegroundWindow();
  if (front && GetWindowThreadProcessId(front, nullptr) == GetCurrentThreadId()) return true;
  ADD_FAILURE() << what << " not typed: the foreground is held by " << Describe(front)
                << ", not by a window of this test";
  return false;
}

}  // namespace

void PressKey(WORD key, bool shift) {
  if (!ForegroundIsOurs("key " + std::to_string(key))) return;
  std::vector<INPUT> inputs;
  if (shift) inputs.push_back(Key(VK_SHIFT, false));
  inputs.push_back(Key(key, false));
  inputs.push_back(Key(key, true));
  if (shift) inputs.push_back(Key(VK_SHIFT, true));
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void TypeText(const std::wstring& text) {
  if (!ForegroundIsOurs("text \"" + Printable(text) + "\"")) return;
  std::vector<INPUT> inputs;
  for (wchar_t c : text) {
    for (bool up : {false, true}) inputs.push_back(Key(c, up, KEYEVENTF_UNICODE));
  }
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

::testing::AssertionResult BringToForeground(HWND window) {
  const DWORD start = GetTickCount();
  while (GetForegroundWindow() != window && GetTickCount() - start < 3000) {
    const DWORD own = GetCurrentThreadId();
    HWND front = GetForegroundWindow();
    const DWORD frontThread = front ? GetWindowThreadProcessId(front, nullptr) : 0;
    const bool attached = frontThread != 0 && frontThread != own && AttachThreadInput(own, frontThread, TRUE);
    SetForegroundWindow(window);
    BringWindowToTop(window);
    if (attached) AttachThreadInput(own, frontThread, FALSE);
    PumpBriefly(window, 20);
  }
  if (GetForegroundWindow() == window) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the test's keys would go elsewhere: the foreground is held by "
                                       << Describe(GetForegroundWindow()) << ", not by " << Describe(window);
}

bool RunningOnWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

bool UnderEmulation() {
  // Set by scripts/common.sh to the emulator's name and version.
  return GetEnvironmentVariableA("DEVICELIST_EMULATION", nullptr, 0) > 0;
}

bool LeftOutUnderEmulation(const std::string& check, const char* reason) {
  if (!UnderEmulation()) return false;
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::printf("[ LEFT OUT ] %s.%s, %s: %s\n", test ? test->test_suite_name() : "?", test ? test->name() : "?",
              check.c_str(), reason);
  std::fflush(stdout);
  return true;
}

bool MayChangeTheSession() {
  char throwaway[4] = {};
  const DWORD length = GetEnvironmentVariableA("DEVICELIST_THROWAWAY_SESSION", throwaway, sizeof throwaway);
  return RunningOnWine() || (length == 1 && throwaway[0] == '1');
}

int DpiOf(HWND window) {
  auto forWindow = NewerUser32().getDpiForWindow;
  if (forWindow) return static_cast<int>(forWindow(window));
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

std::string Printable(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    if (c == L'\r')
      out += "\\r";
    else if (c == L'\n')
      out += "\\n";
    else if (c >= 0x20 && c < 0x7F)
      out += static_cast<char>(c);
    else {
      char code[12];
      std::snprintf(code, sizeof code, "\\u%04X", static_cast<unsigned>(c));
      out += code;
    }
  }
  return out;
}
