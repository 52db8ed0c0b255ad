// Starts the real DeviceList.exe in folders of its own and watches it from
// outside, as a user would see it.
#include <windows.h>
#include <oleacc.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "window/Form1.h"

namespace {

const wchar_t kMessage[] =
    L"ERROR finding QZ_USB.DLL\n\n\nLocate and place file in Windows directory, or\n\nsame directory as "
    L"application and try again.\n\n";

std::wstring Payload(const wchar_t* name) {
  return ProgramFolder() + L"payload\\" + name;
}

std::vector<char> ReadFileBytes(const std::wstring& path) {
  std::vector<char> bytes;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return bytes;
  char chunk[65536];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) bytes.insert(bytes.end(), chunk, chunk + n);
  std::fclose(file);
  return bytes;
}

// An empty folder to start the program in, so that nothing is found there.
std::wstring EmptyFolder() {
  const std::wstring folder = ProgramFolder() + L"stage\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  CreateDirectoryW((folder + L"empty").c_str(), nullptr);
  return folder + L"empty\\";
}

// A fresh folder holding the program and the given files (payload name,
// name in the folder).
std::wstring Stage(const wchar_t* name, std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> files) {
  EmptyFolder();
  const std::wstring folder = ProgramFolder() + L"stage\\" + name + L"\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  for (const wchar_t* old : {L"DeviceList.exe", L"QZ_USB.DLL", L"QZ_SIM.TXT", L"QZ_SIM.LOG"}) {
    DeleteFileW((folder + old).c_str());
  }
  CopyFileW(Payload(L"DeviceList.exe").c_str(), (folder + L"DeviceList.exe").c_str(), FALSE);
  for (const auto& file : files) CopyFileW(Payload(file.first).c_str(), (folder + file.second).c_str(), FALSE);
  return folder;
}

// A fresh folder holding the program and the simulator with the scenario.
std::wstring StageWithScenario(const wchar_t* name, const std::string& scenario) {
  const std::wstring folder = Stage(name, {{L"QZ_USB.DLL", L"QZ_USB.DLL"}});
  WriteText(folder + L"QZ_SIM.TXT", scenario + "\n");
  return folder;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

// Text of a window in another process, asked for as its window procedure sees it.
std::wstring TextAcross(HWND window) {
  wchar_t text[4096] = {};
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &copied);
  return std::wstring(text, copied);
}

struct WindowSearch {
  DWORD pid;  // 0: any process
  const wchar_t* className;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if ((search->pid == 0 || pid == search->pid) && _wcsicmp(ClassOf(window).c_str(), search->className) == 0) {
    search->found.push_back(window);
  }
  return TRUE;
}

std::vector<HWND> Children(HWND parent, const wchar_t* className) {
  WindowSearch search{0, className, {}};
  EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

class Program {
 public:
  // showCommand as a shortcut's "Run: Minimized" passes it; -1: the default.
  // startFolder: the current folder of the new process; an empty one if not given.
  explicit Program(const std::wstring& folder, int showCommand = -1, const std::wstring& startFolder = L"") {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (showCommand >= 0) {
      startup.dwFlags = STARTF_USESHOWWINDOW;
      startup.wShowWindow = static_cast<WORD>(showCommand);
    }
    std::wstring exe = folder + L"DeviceList.exe";
    const std::wstring current = startFolder.empty() ? EmptyFolder() : startFolder;
    started_ =
        CreateProcessW(exe.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, current.c_str(), &startup, &process_);
  }
  ~Program() {
    if (!started_) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process_.hProcess, 99);
    WaitForSingleObject(process_.hProcess, 5000);
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool Started() const { return started_; }
  bool Running() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }

  // The program's top-level windows of one class.
  std::vector<HWND> Windows(const wchar_t* className) const {
    WindowSearch search{process_.dwProcessId, className, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
  }

  HWND Form() const {
    const std::vector<HWND> forms = Windows(L"DeviceList.Form1");
    return forms.empty() ? nullptr : forms.front();
  }

  // Waits for the window to be shown; null if it is not within the time.
  HWND ShownForm(DWORD timeoutMs = 10000) const {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
      HWND form = Form();
      if (form && IsWindowVisible(form)) return form;
      Sleep(10);
    }
    return nullptr;
  }

  // Waits for the end; the exit code, or STILL_ACTIVE if it did not end.
  DWORD ExitCode(DWORD timeoutMs = 10000) const {
    WaitForSingleObject(process_.hProcess, timeoutMs);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
  }

  // Waits until the program has done what it does before it first waits
  // for input (WaitForInputIdle), and has handled a message sent to the
  // window from its loop: what the program started with is done, with no
  // time waited.
  bool Settled(HWND window) const {
    if (WaitForInputIdle(process_.hProcess, 10000) != 0) return false;
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &result) != 0;
  }

  // Processor time used so far, user and kernel, in milliseconds.
  ULONGLONG CpuMilliseconds() const {
    FILETIME created, ended, kernel, user;
    GetProcessTimes(process_.hProcess, &created, &ended, &kernel, &user);
    const auto ms = [](const FILETIME& t) { return ((ULONGLONG{t.dwHighDateTime} << 32) | t.dwLowDateTime) / 10000; };
    return ms(kernel) + ms(user);
  }

  DWORD Thread() const { return process_.dwThreadId; }
  DWORD Pid() const { return process_.dwProcessId; }

  // The file names of the modules loaded in the program now, in capitals.
  std::vector<std::string> Modules() const {
    std::vector<std::string> names;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, process_.dwProcessId);
    if (snapshot == INVALID_HANDLE_VALUE) return names;
    MODULEENTRY32 module = {};
    module.dwSize = sizeof module;
    for (BOOL more = Module32First(snapshot, &module); more; more = Module32Next(snapshot, &module)) {
      std::string name = module.szModule;
      CharUpperBuffA(&name[0], static_cast<DWORD>(name.size()));
      names.push_back(name);
    }
    CloseHandle(snapshot);
    return names;
  }

  bool Loaded(const char* module) const {
    const std::vector<std::string> modules = Modules();
    return std::find(modules.begin(), modules.end(), module) != modules.end();
  }

 private:
  PROCESS_INFORMATION process_ = {};
  bool started_ = false;
};

// The error box of a failed start: exactly one, as described, over a window
// that is never shown; OK ends the program with exit code 1.
// Dialog boxes of every process, as the system's own error boxes are.
std::vector<HWND> AllBoxes() {
  WindowSearch search{0, L"#32770", {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The text of another process's window as the system keeps it: read
// without a message to that process, whose windows the test only looks at.
std::wstring KeptText(HWND window) {
  wchar_t text[1024] = {};
  const int length = InternalGetWindowText(window, text, 1024);
  return std::wstring(text, length > 0 ? static_cast<std::size_t>(length) : 0u);
}

void ExpectErrorBoxAndEnd(const std::wstring& folder, const std::wstring& startFolder = L"") {
  const std::vector<HWND> earlier = AllBoxes();
  Program program(folder, -1, startFolder);
  ASSERT_TRUE(program.Started());
  bool formShown = false;
  std::vector<HWND> boxes;
  std::vector<HWND> foreign;
  const DWORD start = GetTickCount();
  while (boxes.empty() && foreign.empty() && program.Running() && GetTickCount() - start < 10000) {
    HWND form = program.Form();
    formShown = formShown || (form && IsWindowVisible(form));
    boxes = program.Windows(L"#32770");
    for (HWND box : AllBoxes()) {
      DWORD pid = 0;
      GetWindowThreadProcessId(box, &pid);
      if (pid != program.Pid() && std::find(earlier.begin(), earlier.end(), box) == earlier.end()) {
        foreign.push_back(box);
      }
    }
    Sleep(5);
  }
  // Reported and left open: the system's box answers to the user, and a box
  // of any other program is that program's.
  for (HWND box : foreign) {
    std::wstring text;
    for (HWND label : Children(box, L"Static")) text += L" " + KeptText(label);
    DWORD pid = 0;
    GetWindowThreadProcessId(box, &pid);
    ADD_FAILURE() << "a box of another process (" << pid << ") came first, left open: \"" << Printable(KeptText(box))
                  << "\":" << Printable(text);
  }
  ASSERT_EQ(boxes.size(), 1u) << "one error box";
  HWND box = boxes.front();
  // Once the box waits for input, whatever the program does before that is
  // done: a second box would be there now.
  ASSERT_TRUE(program.Settled(box)) << "the program never waited for input with its box up";
  EXPECT_EQ(program.Windows(L"#32770").size(), 1u) << "no second box";

  EXPECT_EQ(TextAcross(box), L"error");
  HWND form = program.Form();
  ASSERT_NE(form, nullptr) << "the main window exists while the box is up";
  EXPECT_EQ(GetWindow(box, GW_OWNER), form) << "the box is owned by the main window";
  EXPECT_FALSE(IsWindowVisible(form));

  std::wstring message;
  for (HWND label : Children(box, L"Static")) {
    if (message.empty()) message = TextAcross(label);
  }
  EXPECT_EQ(Printable(message), Printable(kMessage));
  EXPECT_EQ(message.size(), 121u);
  std::vector<HWND> buttons;
  for (HWND button : Children(box, L"Button")) {
    if (IsWindowVisible(button)) buttons.push_back(button);
  }
  ASSERT_EQ(buttons.size(), 1u) << "a single button";
  EXPECT_EQ(TextAcross(buttons.front()), L"OK");

  // As the button reports a click to its box: BM_CLICK posted to a box that
  // is not active may go nowhere.
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(buttons.front()));
  // Until the program ends, which a second box would hold off.
  bool secondBox = false;
  while (program.Running() && GetTickCount() - start < 20000) {
    formShown = formShown || (IsWindow(form) && IsWindowVisible(form));
    for (HWND other : program.Windows(L"#32770")) secondBox = secondBox || other != box;
    Sleep(5);
  }
  EXPECT_EQ(program.ExitCode(), 1u);
  EXPECT_FALSE(secondBox) << "a second box after OK";
  EXPECT_FALSE(formShown) << "the main window was shown";
}

TEST(Startup, WithoutTheLibraryTheBoxSaysWhereToPutItAndTheProgramEnds) {
  ExpectErrorBoxAndEnd(Stage(L"missing", {}));
}

// A file that cannot be loaded gives the program's box, and no system box
// about a bad image before it.
TEST(Startup, AFileThatIsNoLibraryCountsAsMissing) {
  std::vector<char> library = ReadFileBytes(Payload(L"QZ_USB.DLL"));
  library.resize(1024);
  const struct {
    const wchar_t* name;
    std::string bytes;
  } files[] = {{L"not-a-library", "This is not a library.\r\n"},
               {L"damaged-library", std::string(library.begin(), library.end())}};
  for (const auto& file : files) {
    SCOPED_TRACE(Printable(file.name));
    const std::wstring folder = Stage(file.name, {});
    WriteText(folder + L"QZ_USB.DLL", file.bytes);
    ExpectErrorBoxAndEnd(folder);
  }
  if (RunningOnWine()) GTEST_SKIP() << "Wine shows no system box for a bad image, whatever the error mode";
}

// The folder the program is started from is not searched for the library: a
// QZ_USB.DLL planted there is not loaded.
TEST(Startup, ALibraryInTheStartFolderIsNotLoaded) {
  const std::wstring planted = Stage(L"planted", {{L"QZ_USB.DLL", L"QZ_USB.DLL"}});
  const std::wstring folder = Stage(L"alone", {});
  if (RunningOnWine()) {
    // Wine ignores SetDllDirectoryW(L""): the program finds the library and opens.
    Program program(folder, -1, planted);
    HWND form = program.ShownForm();
    if (form) PostMessageW(form, WM_CLOSE, 0, 0);
    program.ExitCode();
    GTEST_SKIP() << "Wine searches the start folder whatever the program asks";
  }
  ExpectErrorBoxAndEnd(folder, planted);
}

void ExpectWindowWithFocusedButton(Program& program) {
  HWND form = program.ShownForm();
  ASSERT_NE(form, nullptr) << "the window did not open";
  EXPECT_TRUE(program.Windows(L"#32770").empty()) << "no box";
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  for (int i = 0; i < 100 && !info.hwndFocus; ++i) {
    GetGUIThreadInfo(program.Thread(), &info);
    Sleep(10);
  }
  EXPECT_EQ(GetDlgCtrlID(info.hwndFocus), IDC_COMMAND1) << "the button has the focus";
  PostMessageW(form, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.ExitCode(), 0u);
}

TEST(Startup, TheLibraryBesideTheProgramIsFound) {
  Program program(Stage(L"beside", {{L"QZ_USB.DLL", L"QZ_USB.DLL"}}));
  ExpectWindowWithFocusedButton(program);
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The simulator put into the Windows folder is found there. The folder is
// the machine's own: a QZ_USB.DLL found there, the user's device library,
// stays byte for byte as it was and the program is not started on it; the
// test removes only the copy it made, and only while it holds its bytes.
TEST(Startup, TheLibraryInTheWindowsFolderIsFound) {
  if (!MayChangeTheSession()) GTEST_SKIP() << kSessionOfItsOwn;
  // Not elevated, Windows would redirect this 32-bit test's copy to the
  // user's VirtualStore, where the program does not look.
  if (!RunningElevated()) GTEST_SKIP() << "writing to the Windows folder needs an elevated test";
  wchar_t windows[MAX_PATH];
  GetWindowsDirectoryW(windows, MAX_PATH);
  const std::wstring placed = std::wstring(windows) + L"\\QZ_USB.DLL";
  const bool machines = Exists(placed);
  const std::vector<char> simulator = ReadFileBytes(Payload(L"QZ_USB.DLL"));
  const struct {
    const char* name;
    bool libraryThere;
  } cases[] = {{"no QZ_USB.DLL there", false}, {"a QZ_USB.DLL of the machine's own there", true}};
  for (const auto& c : cases) {
    // None there only where the machine has none: the test removes no file
    // that it did not make.
    if (!c.libraryThere && machines) continue;
    // Where the machine has none, the test puts one there as a user would.
    const bool users = c.libraryThere && !machines;
    if (users) WriteText(placed, "a QZ_USB.DLL of the user's own, not to be touched\r\n");
    const std::vector<char> before = ReadFileBytes(placed);
    // Copied only where no file is there: a file of the machine's own is never overwritten.
    const bool copied = CopyFileW(Payload(L"QZ_USB.DLL").c_str(), placed.c_str(), TRUE) != FALSE;
    EXPECT_EQ(copied, !c.libraryThere) << c.name << ": the simulator copied";
    if (copied) {
      Program program(Stage(L"windows-folder", {}));
      ExpectWindowWithFocusedButton(program);
      if (ReadFileBytes(placed) == simulator) DeleteFileW(placed.c_str());
      EXPECT_FALSE(Exists(placed)) << c.name << ": the simulator is left in the Windows folder";
    } else {
      EXPECT_TRUE(ReadFileBytes(placed) == before) << c.name << ": the file there changed";
    }
    if (users) DeleteFileW(placed.c_str());
  }
  if (machines) {
    GTEST_SKIP() << Printable(placed) << " is the machine's own: left as it was, and the program not started on it";
  }
}

HWND FocusOf(const Program& program) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(program.Thread(), &info);
  return info.hwndFocus;
}

// Started minimised or without activation, the program leaves the user's
// window active; activated later, it gives its button the focus.
TEST(Startup, TheShowCommandDecidesAboutActivation) {
  HWND own = CreateWindowExW(0, L"STATIC", L"the user's window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 100,
                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(own, nullptr);
  const struct {
    int command;
    const char* name;
    bool iconic;
  } cases[] = {{SW_SHOWMINNOACTIVE, "SW_SHOWMINNOACTIVE", true}, {SW_SHOWNOACTIVATE, "SW_SHOWNOACTIVATE", false}};
  for (const auto& c : cases) {
    ASSERT_TRUE(BringToForeground(own)) << c.name;
    Program program(Stage(L"show-command", {{L"QZ_USB.DLL", L"QZ_USB.DLL"}}), c.command);
    HWND form = program.ShownForm();
    ASSERT_NE(form, nullptr) << c.name;
    // Shown, and past its start: an activation would have come by now.
    ASSERT_TRUE(program.Settled(form)) << c.name;
    EXPECT_EQ(IsIconic(form) != FALSE, c.iconic) << c.name;
    EXPECT_EQ(GetForegroundWindow(), own) << c.name << " took the activation";
    EXPECT_EQ(FocusOf(program), nullptr) << c.name << " took the focus";

    ShowWindow(form, c.iconic ? SW_RESTORE : SW_SHOW);
    EXPECT_TRUE(BringToForeground(form)) << c.name;
    const DWORD start = GetTickCount();
    while (GetDlgCtrlID(FocusOf(program)) != IDC_COMMAND1 && GetTickCount() - start < 5000) Sleep(10);
    EXPECT_EQ(GetDlgCtrlID(FocusOf(program)), IDC_COMMAND1) << c.name << ", then activated";
    PostMessageW(form, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.ExitCode(), 0u) << c.name;
  }
  DestroyWindow(own);
}

// A shortcut set to "Run: Maximized" opens the fixed layout as designed.
TEST(Startup, AMaximizedStartOpensTheWindowAsDesigned) {
  Program program(Stage(L"maximized", {{L"QZ_USB.DLL", L"QZ_USB.DLL"}}), SW_SHOWMAXIMIZED);
  HWND form = program.ShownForm();
  ASSERT_NE(form, nullptr);
  // Past its start, where the program restores a window shown maximized.
  ASSERT_TRUE(program.Settled(form));
  EXPECT_FALSE(IsZoomed(form));
  // The design's 4905 x 3495 twips at the window's DPI (327 x 233 at 96).
  const int dpi = DpiOf(form);
  RECT client;
  GetClientRect(form, &client);
  EXPECT_EQ(client.right, MulDiv(4905, dpi, 1440)) << "client width at " << dpi << " DPI";
  EXPECT_EQ(client.bottom, MulDiv(3495, dpi, 1440)) << "client height at " << dpi << " DPI";
  PostMessageW(form, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.ExitCode(), 0u);
}

// Presses the button through the program's own message loop, as a click or a
// key does, and waits for the upper pane to show what a listing ends with:
// the pane is marked first, and each listing clears it at its start.
void PressAndWaitFor(HWND form, const std::wstring& upper) {
  HWND pane = GetDlgItem(form, IDC_TXTMSGDISPLAY);
  DWORD_PTR result = 0;
  SendMessageTimeoutW(pane, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"(pressed)"), SMTO_ABORTIFHUNG, 5000, &result);
  PostMessageW(GetDlgItem(form, IDC_COMMAND1), BM_CLICK, 0, 0);
  const DWORD start = GetTickCount();
  while (TextAcross(pane) != upper && IsWindow(form) && GetTickCount() - start < 10000) Sleep(10);
  // Back in the main loop, past the handler's end.
  SendMessageTimeoutW(form, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
}

// A click lists 5 and 9 above, 1 and 3 below, and the program ends normally.
void ExpectListingAndNormalEnd(Program& program, HWND form, const char* when) {
  PressAndWaitFor(form, L"5, 9, ");
  EXPECT_EQ(TextAcross(GetDlgItem(form, IDC_TXTMSGDISPLAY)), L"5, 9, ") << when;
  EXPECT_EQ(TextAcross(GetDlgItem(form, IDC_TXTMSGDISPLAY2)), L"1, 3, ") << when;
  PostMessageW(form, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.ExitCode(), 0u) << when;
}

bool ScreenReaderRunning() {
  BOOL running = FALSE;
  return SystemParametersInfoW(SPI_GETSCREENREADER, 0, &running, 0) && running;
}

std::wstring StageForAccessibility() {
  return StageWithScenario(L"accessibility", "table 5 -32765 9 -32767");
}

// Nothing of accessibility loads at start; a screen reader's queries of every
// window load it and leave the program working, and give the labels and
// panes their names as words (on Windows: Wine does not annotate).
TEST(Accessibility, QueriesOfEveryWindowLeaveTheProgramWorking) {
  if (ScreenReaderRunning()) GTEST_SKIP() << "a screen reader runs: the program loads accessibility at start";
  Program program(StageForAccessibility());
  HWND form = program.ShownForm();
  ASSERT_NE(form, nullptr);
  ASSERT_TRUE(program.Loaded("USER32.DLL")) << "the program's modules cannot be listed";
  EXPECT_FALSE(program.Loaded("OLEACC.DLL")) << "the accessibility runtime loaded at start";

  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::wstring connected = L"connected devices";
  const std::wstring disconnected = L"disconnected devices (still shown in registry)";
  const struct {
    HWND window;
    std::wstring name;  // empty: not looked at
  } windows[] = {{form, L""},
                 {GetDlgItem(form, IDC_LABEL1), connected},
                 {GetDlgItem(form, IDC_TXTMSGDISPLAY), connected},
                 {GetDlgItem(form, IDC_LABEL2), disconnected},
                 {GetDlgItem(form, IDC_TXTMSGDISPLAY2), disconnected},
                 {GetDlgItem(form, IDC_COMMAND1), L"Get device list"}};
  for (const auto& expected : windows) {
    const HWND window = expected.window;
    IAccessible* accessible = nullptr;
    EXPECT_EQ(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                         reinterpret_cast<void**>(&accessible)),
              S_OK)
        << "control " << GetDlgCtrlID(window);
    if (!accessible) continue;
    VARIANT self = {};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    EXPECT_EQ(accessible->get_accName(self, &name), S_OK) << "control " << GetDlgCtrlID(window);
    const std::wstring said = name ? std::wstring(name, SysStringLen(name)) : L"";
    SysFreeString(name);
    accessible->Release();
    if (!expected.name.empty() && !RunningOnWine()) {
      EXPECT_EQ(Printable(said), Printable(expected.name))
          << "what a screen reader says for control " << GetDlgCtrlID(window);
    }
  }
  CoUninitialize();
  EXPECT_TRUE(program.Loaded("OLEACC.DLL")) << "the first query did not start the annotation";
  ExpectListingAndNormalEnd(program, form, "after the queries");
  if (RunningOnWine()) GTEST_SKIP() << "the names themselves: Wine does not annotate";
}

// Sets the session's screen-reader flag, as a screen reader does, while it
// lives; each change is announced to every window as Windows does (Wine does not).
class ScreenReaderFlag {
 public:
  ScreenReaderFlag() : before_(ScreenReaderRunning()) { Set(TRUE); }
  ~ScreenReaderFlag() { Set(before_); }
  ScreenReaderFlag(const ScreenReaderFlag&) = delete;
  ScreenReaderFlag& operator=(const ScreenReaderFlag&) = delete;

 private:
  static void Set(BOOL on) {
    SystemParametersInfoW(SPI_SETSCREENREADER, on, nullptr, SPIF_SENDCHANGE);
    DWORD_PTR result = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, SPI_SETSCREENREADER, 0, SMTO_ABORTIFHUNG, 5000, &result);
  }

  BOOL before_;
};
TEST(Accessibility, AnAnnouncedScreenReaderStartsTheAnnotation) {
  if (!MayChangeTheSession()) GTEST_SKIP() << kSessionOfItsOwn;
  if (ScreenReaderRunning()) GTEST_SKIP() << "a screen reader runs: a start without one cannot be seen";
  {
    ScreenReaderFlag screenReader;
    Program program(StageForAccessibility());
    HWND form = program.ShownForm();
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(program.Loaded("OLEACC.DLL")) << "a screen reader that runs at start";
    ExpectListingAndNormalEnd(program, form, "a screen reader at start");
  }
  Program program(StageForAccessibility());
  HWND form = program.ShownForm();
  ASSERT_NE(form, nullptr);
  EXPECT_FALSE(program.Loaded("OLEACC.DLL")) << "no screen reader at start";
  ScreenReaderFlag screenReader;
  const DWORD start = GetTickCount();
  while (!program.Loaded("OLEACC.DLL") && GetTickCount() - start < 5000) Sleep(20);
  EXPECT_TRUE(program.Loaded("OLEACC.DLL")) << "a screen reader that starts later";
  ExpectListingAndNormalEnd(program, form, "a screen reader started later");
}

HWND Pane(HWND form, int id) {
  return GetDlgItem(form, id);
}

TEST(Program, ALibraryWithoutTheEntryPointStartsAndReportsAFailedCall) {
  Program program(Stage(L"no-entry", {{L"QZ_NOENTRY.DLL", L"QZ_USB.DLL"}}));
  HWND form = program.ShownForm();
  ASSERT_NE(form, nullptr) << "the start-up check passes";
  PressAndWaitFor(form, L"function call failed\r\n\r\n");
  EXPECT_EQ(Printable(TextAcross(Pane(form, IDC_TXTMSGDISPLAY))), "function call failed\\r\\n\\r\\n");
  EXPECT_TRUE(program.Running()) << "the program keeps running";
  PostMessageW(form, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.ExitCode(), 0u);
}

// A second click while the first one's listing runs is dropped, whether it
// comes while the listing yields or while the library is busy with a slow
// answer that nothing yields after: each list shows once.
TEST(Program, ADoubleClickListsOnce) {
  const std::wstring notice = L"function call failed\r\n\r\n";
  const struct {
    const char* scenario;
    std::wstring upper, lower;
    std::size_t calls;
  } cases[] = {
      {"table 5 -32765 9 -32767", L"5, 9, ", L"1, 3, ", 2},
      {"table", L"", L"", 2},
      {"result 0", notice, L"", 1},
  };
  for (const auto& c : cases) {
    const std::wstring folder =
        StageWithScenario(L"double-click", std::string(c.scenario) + "\ndelay 400 0\nrecord QZ_SIM.LOG");
    Program program(folder);
    HWND form = program.ShownForm();
    ASSERT_NE(form, nullptr) << c.scenario;
    HWND button = GetDlgItem(form, IDC_COMMAND1);
    PostMessageW(button, BM_CLICK, 0, 0);
    PostMessageW(button, BM_CLICK, 0, 0);
    const std::wstring log = folder + L"QZ_SIM.LOG";
    const DWORD start = GetTickCount();
    while (ReadLines(log).size() < c.calls && GetTickCount() - start < 10000) Sleep(20);
    // The listing ends with its upper pane, read through the program's loop.
    HWND upper = Pane(form, IDC_TXTMSGDISPLAY);
    while (TextAcross(upper) != c.upper && GetTickCount() - start < 10000) Sleep(10);
    EXPECT_EQ(Printable(TextAcross(upper)), Printable(c.upper)) << c.scenario;
    EXPECT_EQ(Printable(TextAcross(Pane(form, IDC_TXTMSGDISPLAY2))), Printable(c.lower)) << c.scenario;
    // The close comes after the second click, were that still queued, and a
    // listing calls the library before it first yields: a second listing
    // would have called it before the close ends the program.
    PostMessageW(form, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.ExitCode(), 0u) << c.scenario;
    EXPECT_EQ(ReadLines(log).size(), c.calls) << c.scenario << ": the library calls of one listing, up to the end";
  }
}

// A library that fills far more than its table harms nothing: both lists are
// right, and so is the next click, and the program ends normally.
TEST(Program, ALibraryThatWritesPastItsTableDamagesNothing) {
  for (int span : {128, 2048}) {
    const std::wstring folder = StageWithScenario(
        L"writes-past", "table 5 -32765 9 -32767 3\nwrite " + std::to_string(span) + "\nrecord QZ_SIM.LOG");
    Program program(folder);
    HWND form = program.ShownForm();
    ASSERT_NE(form, nullptr) << span << " entries";
    for (int click = 1; click <= 2; ++click) {
      PressAndWaitFor(form, L"3, 5, 9, ");
      EXPECT_EQ(TextAcross(Pane(form, IDC_TXTMSGDISPLAY)), L"3, 5, 9, ") << span << " entries, click " << click;
      EXPECT_EQ(TextAcross(Pane(form, IDC_TXTMSGDISPLAY2)), L"1, 3, ") << span << " entries, click " << click;
    }
    EXPECT_EQ(ReadLines(folder + L"QZ_SIM.LOG"),
              (std::vector<std::string>{"call 1 selector 0 table zero", "call 2 selector 0 table zero",
                                        "call 3 selector 0 table zero", "call 4 selector 0 table zero"}))
        << span << " entries: every call gets all of its room zeroed";
    PostMessageW(form, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.ExitCode(), 0u) << span << " entries";
  }
}

// A library that faults inside its call: the pane of that call says so, and
// the next press lists as usual, whatever the fault. One that leaves the
// thread changed has listed: the program goes on as before, its focus where
// it was.
TEST(Program, WhatALibraryDoesInsideItsCallStaysThere) {
  const std::wstring notice = L"function call failed\r\n\r\n";
  const std::string good = "table 5 -32765 9 -32767\n";
  const struct {
    const char* fault;
    std::wstring upper, lower;
    const char* emulatorCannot = nullptr;  // why the row shows nothing under emulation
    const char* faultLater = nullptr;      // what the simulator records when a window of its own faults
  } cases[] = {
      {"fault av", notice, L"1, 3, "},
      {"fault none divide", L"5, 9, ", notice},
      {"fault illegal", notice, L"1, 3, "},
      {"fault none raise 0xE06D7363", L"5, 9, ", notice},
      {"write 65536", notice, L"1, 3, "},
      {"fault stack", notice, L"1, 3, ", kStackGuard},
      {"fault none stack", L"5, 9, ", notice, kStackGuard},  // a second overflow in the same run
      // Success, every x87 exception unmasked: then the repaint.
      {"fpu 0x0240", L"5, 9, ", L"1, 3, ", kNoFloatExceptions},
      {"leave direction", L"5, 9, ", L"1, 3, "},
      {"leave quit", L"5, 9, ", L"1, 3, "},
      {"leave focus", L"5, 9, ", L"1, 3, "},
      {"leave unload", L"5, 9, ", L"1, 3, "},
      {"loop 200\nfault av", notice, L"1, 3, "},  // the library's own fault, after its own message loop
      {"leave windowfault\nrecord QZ_SIM.LOG", L"5, 9, ", L"1, 3, ", nullptr, "fault in window"},
      {"leave subclass", L"5, 9, ", L"1, 3, "},  // faulting on the next message the window gets
      {"leave dialogfault", notice, L"1, 3, "},  // its modal loop over the window, left by the fault
      {"leave window", L"5, 9, ", L"1, 3, "},    // last: a window that never validates, from now on
  };
  const std::wstring folder = Stage(L"faults", {{L"QZ_USB.DLL", L"QZ_USB.DLL"}});
  Program program(folder);
  HWND form = program.ShownForm();
  ASSERT_NE(form, nullptr);
  ASSERT_TRUE(BringToForeground(form));
  HWND button = GetDlgItem(form, IDC_COMMAND1);
  for (const auto& c : cases) {
    const std::string row = "row " + std::to_string(&c - cases + 1) + " (" + c.fault + ")";
    if (c.emulatorCannot && LeftOutUnderEmulation(row, c.emulatorCannot)) continue;
    WriteText(folder + L"QZ_SIM.TXT", good);
    PressAndWaitFor(form, L"5, 9, ");
    WriteText(folder + L"QZ_SIM.TXT", good + c.fault);
    PressAndWaitFor(form, c.upper);
    // A window of the library's that faults later: until it has.
    const auto faulted = [&] {
      const std::vector<std::string> log = ReadLines(folder + L"QZ_SIM.LOG");
      return !c.faultLater || (!log.empty() && log.back() == c.faultLater);
    };
    for (const DWORD start = GetTickCount(); !faulted() && GetTickCount() - start < 10000;) Sleep(10);
    ASSERT_TRUE(program.Running()) << c.fault;
    EXPECT_TRUE(IsWindowEnabled(form) && IsWindowVisible(form)) << c.fault << ": the window enabled and shown";
    EXPECT_EQ(Printable(TextAcross(Pane(form, IDC_TXTMSGDISPLAY))), Printable(c.upper)) << c.fault;
    EXPECT_EQ(Printable(TextAcross(Pane(form, IDC_TXTMSGDISPLAY2))), Printable(c.lower)) << c.fault;
    EXPECT_EQ(FocusOf(program), button) << c.fault << ": the focus after the press";
    WriteText(folder + L"QZ_SIM.TXT", good);
    PressAndWaitFor(form, L"5, 9, ");
    EXPECT_EQ(TextAcross(Pane(form, IDC_TXTMSGDISPLAY)), L"5, 9, ") << "the press after " << c.fault;
    EXPECT_EQ(TextAcross(Pane(form, IDC_TXTMSGDISPLAY2)), L"1, 3, ") << "the press after " << c.fault;
  }
  // With a window of the library's that never validates its paint region,
  // the program waits for input, idle.
  const ULONGLONG busy = program.CpuMilliseconds();
  ASSERT_EQ(program.ExitCode(1000), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_LT(program.CpuMilliseconds() - busy, 100u) << "milliseconds of CPU in one idle second";
  // Nor does one posted from outside while the program waits for input.
  PostThreadMessageW(program.Thread(), WM_QUIT, 5, 0);
  PressAndWaitFor(form, L"5, 9, ");
  EXPECT_EQ(TextAcross(Pane(form, IDC_TXTMSGDISPLAY)), L"5, 9, ") << "the press after a WM_QUIT from outside";
  PostMessageW(form, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.ExitCode(), 0u);
}

TEST(Program, VersionRecordSaysOnePointZeroZero) {
  const std::wstring exe = Payload(L"DeviceList.exe");
  std::vector<char> record(GetFileVersionInfoSizeW(exe.c_str(), nullptr));
  ASSERT_FALSE(record.empty()) << "no version record";
  ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(record.size()), record.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);
  DWORD* translations = nullptr;
  ASSERT_TRUE(
      VerQueryValueW(record.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations), &size));
  ASSERT_EQ(size, 4u) << "one string table";
  EXPECT_EQ(*translations, 0x04B00409u) << "language 0409, code page 04B0";
  for (const wchar_t* name : {L"FileVersion", L"ProductVersion"}) {
    wchar_t* text = nullptr;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    ASSERT_TRUE(VerQueryValueW(record.data(), key.c_str(), reinterpret_cast<void**>(&text), &size)) << Printable(key);
    EXPECT_EQ(std::wstring(text), L"1.00") << Printable(key);
  }
}

// The program file as Windows' loader reads it: what it needs, how it may be
// run, and that it brings no DLL of its own.
TEST(Program, HeaderSaysWhatTheProgramNeeds) {
  const std::vector<char> file = ReadFileBytes(Payload(L"DeviceList.exe"));
  ASSERT_GT(file.size(), 4096u);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(file.data());
  ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(file.data() + dos->e_lfanew);
  ASSERT_EQ(nt->Signature, IMAGE_NT_SIGNATURE);
  const IMAGE_OPTIONAL_HEADER32& optional = nt->OptionalHeader;
  ASSERT_EQ(optional.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC) << "PE32";
  EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
  EXPECT_EQ(optional.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
  EXPECT_EQ(optional.MajorSubsystemVersion * 10 + optional.MinorSubsystemVersion, 61) << "subsystem Windows 7";
  EXPECT_EQ(optional.MajorOperatingSystemVersion * 10 + optional.MinorOperatingSystemVersion, 61) << "OS Windows 7";
  const WORD flags = optional.DllCharacteristics;
  EXPECT_TRUE(flags & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE) << "Terminal-Server aware";
  EXPECT_TRUE(flags & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE) << "ASLR";
  EXPECT_FALSE(nt->FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED) << "ASLR needs the relocations";
  EXPECT_FALSE(flags & IMAGE_DLLCHARACTERISTICS_NX_COMPAT) << "DEP would reach the vendor's library";

  // Imports: RVAs turned into file offsets through the section table.
  const auto* sections = IMAGE_FIRST_SECTION(nt);
  auto offsetOf = [&](DWORD rva) -> std::size_t {
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
      const IMAGE_SECTION_HEADER& section = sections[i];
      if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.SizeOfRawData) {
        return rva - section.VirtualAddress + section.PointerToRawData;
      }
    }
    return file.size();
  };

  // The library call's fault handler: Windows calls it only where the file
  // lets it. Wine checks neither condition, so only this test keeps them.
  EXPECT_FALSE(flags & IMAGE_DLLCHARACTERISTICS_NO_SEH)
      << "NO_SEH: Windows calls no exception handler of the program, and a fault inside the device library "
         "would end it";
  DWORD safeHandlers = 0;
  const IMAGE_DATA_DIRECTORY& loadConfig = optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG];
  if (loadConfig.VirtualAddress != 0) {
    const std::size_t config = offsetOf(loadConfig.VirtualAddress);
    ASSERT_LE(config + sizeof(IMAGE_LOAD_CONFIG_DIRECTORY32), file.size());
    const auto* directory = reinterpret_cast<const IMAGE_LOAD_CONFIG_DIRECTORY32*>(file.data() + config);
    if (directory->Size >= offsetof(IMAGE_LOAD_CONFIG_DIRECTORY32, SEHandlerCount) + sizeof(DWORD)) {
      safeHandlers = directory->SEHandlerCount;
    }
  }
#if !defined(_MSC_VER)  // MSVC's SafeSEH table lists the handler of its __except
  EXPECT_EQ(safeHandlers, 0u) << "a SafeSEH table: Windows then calls only the handlers it lists, and the handler "
                                 "registered by hand around the library call is not one of them, so a fault inside "
                                 "the device library would end the program";
#endif

  const DWORD importRva = optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  std::size_t at = offsetOf(importRva);
  std::vector<std::string> imports;
  for (; at + sizeof(IMAGE_IMPORT_DESCRIPTOR) <= file.size(); at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    const auto* descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(file.data() + at);
    if (descriptor->Name == 0) break;
    const std::size_t name = offsetOf(descriptor->Name);
    ASSERT_LT(name, file.size());
    std::string dll(file.data() + name);
    CharUpperBuffA(&dll[0], static_cast<DWORD>(dll.size()));
    imports.push_back(dll);
  }
  ASSERT_FALSE(imports.empty());
  for (const std::string& dll : imports) {
    bool system = false;
    for (const char* known : {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "COMCTL32.DLL", "MSVCRT.DLL"}) {
      system = system || dll == known;
    }
    EXPECT_TRUE(system) << dll << " is not a Windows system DLL";
  }
}

BOOL CALLBACK CollectResourceName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) {
  reinterpret_cast<std::vector<ULONG_PTR>*>(found)->push_back(reinterpret_cast<ULONG_PTR>(name));
  return TRUE;
}

// Explorer shows the first icon group of the file: ours, with an image for
// each size that the title bar, the taskbar and Explorer ask for at a scale
// from 100 to 300 %, and for the large views.
TEST(Program, TheFileCarriesItsIconFirst) {
  HMODULE file = LoadLibraryExW(Payload(L"DeviceList.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(file, nullptr);
  std::vector<ULONG_PTR> groups;
  EnumResourceNamesW(file, MAKEINTRESOURCEW(14), CollectResourceName, reinterpret_cast<LONG_PTR>(&groups));
  ASSERT_EQ(groups.size(), 1u) << "one icon group";
  ASSERT_TRUE(IS_INTRESOURCE(groups.front())) << "the group has a number, not a name";
  HRSRC resource = FindResourceW(file, MAKEINTRESOURCEW(groups.front()), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
  ASSERT_NE(resource, nullptr);
  const auto* group = static_cast<const BYTE*>(LockResource(LoadResource(file, resource)));
  // The group's header (reserved, type, count), then 14 bytes an image, the width first.
  const WORD count = *reinterpret_cast<const WORD*>(group + 4);
  std::vector<int> widths;
  for (WORD i = 0; i < count; ++i) widths.push_back(group[6 + 14 * i] ? group[6 + 14 * i] : 256);
  EXPECT_EQ(widths, (std::vector<int>{16, 20, 24, 28, 32, 36, 40, 48, 56, 64, 72, 80, 96, 256}));
  FreeLibrary(file);
}

// The window closed during a listing, as the library answers slowly or inside
// a library's own message loop, which takes the WM_QUIT: the program ends
// normally, within seconds, and calls the library no more. (A close while the
// listing yields ends it the same way; the listing tests show each yield.)
TEST(Program, ClosingDuringAListingEndsNormally) {
  const struct {
    const char* scenario;
    std::size_t calls;
  } cases[] = {
      {"table 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 31 32\ndelay 300", 1},
      {"table 5 -32765\nloop 1000", 1},
  };
  for (const auto& c : cases) {
    const std::wstring folder =
        StageWithScenario(L"close-while-listing", std::string(c.scenario) + "\nrecord QZ_SIM.LOG");
    Program program(folder);
    HWND form = program.ShownForm();
    ASSERT_NE(form, nullptr) << c.scenario;
    PostMessageW(GetDlgItem(form, IDC_COMMAND1), BM_CLICK, 0, 0);
    PostMessageW(form, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.ExitCode(5000), 0u) << c.scenario << ": exit code 0, no crash, no hang";
    EXPECT_EQ(ReadLines(folder + L"QZ_SIM.LOG").size(), c.calls)
        << c.scenario << ": the window closed inside the listing";
  }
}

// A fault in the program's own code is the program's: it ends the program
// as a crash that the system reports, also where it happens under a device
// library's call, in a message that the library's own loop dispatched to the
// window; it is not taken for the library's and shown as a failed call.
TEST(Program, ItsOwnFaultUnderALibrarysLoopIsACrash) {
  const std::wstring folder = StageWithScenario(L"own-fault", "table 5 -32765\npoke\nloop 300");
  Program program(folder);
  HWND form = program.ShownForm();
  ASSERT_NE(form, nullptr);
  HWND pane = GetDlgItem(form, IDC_TXTMSGDISPLAY);
  PostMessageW(GetDlgItem(form, IDC_COMMAND1), BM_CLICK, 0, 0);
  std::wstring shown;
  const DWORD start = GetTickCount();
  while (program.Running() && GetTickCount() - start < 20000) {
    const std::wstring text = TextAcross(pane);
    if (!text.empty()) shown = text;
    Sleep(10);
  }
  // Under emulation the write to address 0 may arrive as an illegal instruction.
  const DWORD code = program.ExitCode(0);
  EXPECT_TRUE(code == EXCEPTION_ACCESS_VIOLATION || (UnderEmulation() && code == EXCEPTION_ILLEGAL_INSTRUCTION))
      << "the program ends as a crash: expected exit code 0xC0000005, got 0x" << std::hex << code;
  EXPECT_EQ(Printable(shown), "") << "nothing listed, no failed call shown";
}

}  // namespace
