// The helpers of TestSupport.h.
#include "TestSupport.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include <intrin.h>  // __readfsdword
#if defined(_MSC_VER)
#include <xmmintrin.h>
#endif

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::vector<std::string> ReadLines(const std::wstring& path) {
  std::vector<std::string> lines;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return lines;
  char line[256];
  while (std::fgets(line, sizeof line, file)) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    lines.push_back(text);
  }
  std::fclose(file);
  return lines;
}

void WriteText(const std::wstring& path, const std::string& text) {
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (!file) return;
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
}

Scenario::Scenario(const std::string& text) : folder_(ProgramFolder()) {
  static int serial = 0;
  DeleteFileW((folder_ + L"QZ_SIM.LOG").c_str());
  // A line of its own makes every scenario new to the simulator.
  WriteText(folder_ + L"QZ_SIM.TXT", "# scenario " + std::to_string(++serial) + "\n" + text + "\n");
}

Scenario::~Scenario() {
  DeleteFileW((folder_ + L"QZ_SIM.TXT").c_str());
  DeleteFileW((folder_ + L"QZ_SIM.LOG").c_str());
}

std::vector<std::string> Scenario::Calls() const {
  return ReadLines(folder_ + L"QZ_SIM.LOG");
}

std::wstring TextOf(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, &text[0], length + 1)));
  return text;
}

static void PumpOnce(HWND window) {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) continue;  // from a window a test closed
    if (!IsDialogMessageW(window, &msg)) {
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
  const DWORD start = GetTickCount();
  do {
    PumpOnce(window);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  } while (GetTickCount() - start < ms);
}

static INPUT Key(WORD key, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return input;
}

namespace {

std::string Describe(HWND window);

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
    for (bool up : {false, true}) {
      INPUT input = {};
      input.type = INPUT_KEYBOARD;
      input.ki.wScan = c;
      input.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
      inputs.push_back(input);
    }
  }
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

namespace {

std::string Describe(HWND window) {
  if (!window) return "no window";
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  return "\"" + Printable(TextOf(window)) + "\" (class " + Printable(className) + ", process " +
         std::to_string(process) + ")";
}

}  // namespace

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

int KeysArriving::counts_[256];

KeysArriving::KeysArriving() : hook_(SetWindowsHookExW(WH_KEYBOARD, Hook, nullptr, GetCurrentThreadId())) {
  std::fill(std::begin(counts_), std::end(counts_), 0);
}

KeysArriving::~KeysArriving() {
  if (hook_) UnhookWindowsHookEx(hook_);
}

LRESULT CALLBACK KeysArriving::Hook(int code, WPARAM key, LPARAM flags) {
  // Bit 31: the key goes up; a press counts once, as it goes down.
  if (code == HC_ACTION && !(flags & 0x80000000)) ++counts_[key & 0xFF];
  return CallNextHookEx(nullptr, code, key, flags);
}

namespace {}  // namespace

bool MessageFontAtDpi(int dpi, LOGFONTW& font) {
  auto forDpi = NewerUser32().systemParametersInfoForDpi;
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  if (!forDpi || !forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) return false;
  font = metrics.lfMessageFont;
  return true;
}

bool MetricAtDpi(int metric, int dpi, int& value) {
  auto forDpi = NewerUser32().getSystemMetricsForDpi;
  if (!forDpi) return false;
  value = forDpi(metric, dpi);
  return true;
}

bool FrameAtDpi(RECT& client, DWORD style, int dpi) {
  auto forDpi = NewerUser32().adjustWindowRectExForDpi;
  return forDpi && forDpi(&client, style, FALSE, 0, dpi);
}

namespace {

DWORD WINAPI ClipboardFree(void*) {
  return OpenClipboard(nullptr) && CloseClipboard();
}

// The test program's windows, enabled, visible and with their procedures, and
// any other window owned by one of them.
BOOL CALLBACK DescribeWindow(HWND window, LPARAM out) {
  const bool own = reinterpret_cast<HMODULE>(GetWindowLongPtrW(window, GWLP_HINSTANCE)) == GetModuleHandleW(nullptr);
  if (!own && !GetWindow(window, GW_OWNER)) return TRUE;
  char line[160];
  std::snprintf(line, sizeof line, "; %s window %p%s%s, procedure %p", own ? "a" : "a foreign owned",
                static_cast<void*>(window), IsWindowEnabled(window) ? "" : " disabled",
                (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) ? "" : " hidden",
                reinterpret_cast<void*>(GetWindowLongPtrW(window, GWLP_WNDPROC)));
  *reinterpret_cast<std::string*>(out) += line;
  return TRUE;
}

}  // namespace

std::string ThreadState() {
  // First, and cleared at once: with it set, the formatting below would copy backwards.
  unsigned flags = 0;
  unsigned short x87 = 0;
  unsigned mxcsr = 0;
#if defined(_MSC_VER)
  __asm {
    pushfd
    pop eax
    mov flags, eax
    cld
    fnstcw x87
  }
  mxcsr = _mm_getcsr();
#else
  __asm__ volatile("pushfl\n\tpopl %0\n\tcld" : "=r"(flags));
  __asm__ volatile("fnstcw %0\n\tstmxcsr %1" : "=m"(x87), "=m"(mxcsr));
#endif
  const void* handlers = reinterpret_cast<const void*>(static_cast<ULONG_PTR>(__readfsdword(0)));
  auto getDpiContext = NewerUser32().getThreadDpiAwarenessContext;
  const void* dpi = getDpiContext ? getDpiContext() : nullptr;
  char text[160];
  std::snprintf(text, sizeof text, "x87 0x%04X, MXCSR 0x%04X, direction flag %u, DPI awareness %p, handler chain at %p",
                x87, mxcsr, (flags >> 10) & 1u, dpi, handlers);
  std::string state = text;
  const int cursor = ShowCursor(FALSE) + 1;
  ShowCursor(TRUE);
  // Whether another thread can open the clipboard, that is whether this one left it open.
  HANDLE probe = CreateThread(nullptr, 0, ClipboardFree, nullptr, 0, nullptr);
  DWORD clipboardFree = 0;
  WaitForSingleObject(probe, 5000);
  GetExitCodeThread(probe, &clipboardFree);
  CloseHandle(probe);
  std::snprintf(text, sizeof text, ", capture %p, cursor count %d, priority %d, clipboard %s, console %s",
                static_cast<void*>(GetCapture()), cursor, GetThreadPriority(GetCurrentThread()),
                clipboardFree ? "free" : "held", GetConsoleWindow() ? "open" : "none");
  state += text;
  EnumThreadWindows(GetCurrentThreadId(), DescribeWindow, reinterpret_cast<LPARAM>(&state));
  return state;
}

bool RunningOnWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::vector<std::string> DebugOutput::lines_;

DebugOutput::DebugOutput() : handler_(AddVectoredExceptionHandler(1, Seen)) {
  lines_.clear();
}

DebugOutput::~DebugOutput() {
  RemoveVectoredExceptionHandler(handler_);
}

LONG CALLBACK DebugOutput::Seen(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
  // DBG_PRINTEXCEPTION_C: its length, with the terminating zero, and the text.
  if (record.ExceptionCode == 0x40010006 && record.NumberParameters >= 2) {
    lines_.emplace_back(reinterpret_cast<const char*>(record.ExceptionInformation[1]),
                        record.ExceptionInformation[0] > 0 ? record.ExceptionInformation[0] - 1 : 0);
  }
  return EXCEPTION_CONTINUE_SEARCH;
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

bool RunningElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  const BOOL known = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
  CloseHandle(token);
  return known && elevation.TokenIsElevated;
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
