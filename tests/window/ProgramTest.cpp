// Starts the real DeviceList.exe in folders of its own and watches it from
// outside, as a user would see it.
#include <windows.h>
#include <oleacc.h>

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ProgramDriver.h"
#include "TestSupport.h"

namespace {

// The error box of a failed start: exactly one, saying where to put the
// library, over a window that is never shown; OK ends the program with exit code 1.
void ExpectErrorBoxAndEnd(const std::wstring& folder, const std::wstring& startFolder = L"") {
  // Dialog boxes of every process, as the system's own error boxes are.
  const std::vector<HWND> earlier = FindWindows(nullptr, L"#32770");
  Program program(folder, -1, startFolder);
  ASSERT_TRUE(program.Started());
  bool formShown = false;
  std::vector<HWND> boxes, foreign;
  PumpUntil(nullptr, [&] {
    HWND form = program.Form();
    formShown = formShown || (form && IsWindowVisible(form));
    boxes = program.Windows(L"#32770");
    for (HWND box : FindWindows(nullptr, L"#32770")) {
      DWORD pid = 0;
      GetWindowThreadProcessId(box, &pid);
      if (pid != program.Pid() && std::count(earlier.begin(), earlier.end(), box) == 0) foreign.push_back(box);
    }
    return !boxes.empty() || !foreign.empty() || !program.Running();
  });
  // Reported and left open: the system's box answers to the user, and a box
  // of any other program is that program's.
  for (HWND box : foreign) {
    std::wstring text;
    for (HWND label : FindWindows(box, L"Static")) text += L" " + KeptText(label);
    ADD_FAILURE() << "a box of another process came first, left open: " << Describe(box) << ":" << Printable(text);
  }
  ASSERT_EQ(boxes.size(), 1u) << "one error box";
  HWND box = boxes.front();
  // Once the box waits for input, whatever the program does before that is
  // done: a second box would be there now.
  ASSERT_TRUE(program.Settled(box)) << "the program never waited for input with its box up";
  EXPECT_EQ(program.Windows(L"#32770").size(), 1u) << "no second box";

  EXPECT_EQ(TextOf(box), L"error");
  HWND form = program.Form();
  ASSERT_NE(form, nullptr) << "the main window exists while the box is up";
  EXPECT_EQ(GetWindow(box, GW_OWNER), form) << "the box is owned by the main window";
  EXPECT_FALSE(IsWindowVisible(form));
  std::wstring message;  // the first label with a text: an icon is a label without
  for (HWND label : FindWindows(box, L"Static")) {
    if (message.empty()) message = TextOf(label);
  }
  EXPECT_EQ(Printable(message),
            Printable(L"ERROR finding QZ_USB.DLL\n\n\nLocate and place file in Windows directory, or\n\nsame directory "
                      L"as application and try again.\n\n"));
  std::vector<HWND> buttons;
  for (HWND button : FindWindows(box, L"Button")) {
    if (IsWindowVisible(button)) buttons.push_back(button);
  }
  ASSERT_EQ(buttons.size(), 1u) << "a single button";
  EXPECT_EQ(TextOf(buttons.front()), L"OK");

  // As the button reports a click to its box: BM_CLICK posted to a box that
  // is not active may go nowhere.
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(buttons.front()));
  // Until the program ends, which a second box would hold off.
  bool secondBox = false;
  PumpUntil(nullptr, [&] {
    formShown = formShown || (IsWindow(form) && IsWindowVisible(form));
    for (HWND other : program.Windows(L"#32770")) secondBox = secondBox || other != box;
    return !program.Running();
  });
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
  const struct {
    const wchar_t* name;
    std::string bytes;
  } files[] = {{L"not-a-library", "This is not a library.\r\n"},
               {L"damaged-library", ReadFileBytes(Payload(L"QZ_USB.DLL")).substr(0, 1024)}};
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
  const std::wstring planted = Stage(L"planted");
  const std::wstring folder = Stage(L"alone", {});
  if (RunningOnWine()) {
    // Wine ignores SetDllDirectoryW(L""): the program finds the library and opens.
    Program program(folder, -1, planted);
    if (program.ShownForm()) program.Close();
    GTEST_SKIP() << "Wine searches the start folder whatever the program asks";
  }
  ExpectErrorBoxAndEnd(folder, planted);
}

void ExpectWindowWithFocusedButton(const Program& program) {
  HWND form = program.ShownForm();
  ASSERT_NE(form, nullptr) << "the window did not open";
  EXPECT_TRUE(program.Windows(L"#32770").empty()) << "no box";
  PumpUntil(nullptr, [&] { return FocusOf(program) != nullptr; });
  EXPECT_EQ(GetDlgCtrlID(FocusOf(program)), IDC_COMMAND1) << "the button has the focus";
  EXPECT_EQ(program.Close(), 0u);
}

// The start-up check only loads the library: one without the entry point opens
// the window too (its calls fail: VendorLibrary.EveryFailedCallTellsADebuggerWhy).
TEST(Startup, TheLibraryBesideTheProgramIsFound) {
  for (const wchar_t* library : {L"QZ_USB.DLL", L"QZ_NOENTRY.DLL"}) {
    SCOPED_TRACE(Printable(library));
    Program program(Stage(L"beside", {{library, L"QZ_USB.DLL"}}));
    ExpectWindowWithFocusedButton(program);
  }
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
  const bool machines = GetFileAttributesW(placed.c_str()) != INVALID_FILE_ATTRIBUTES;
  const std::string simulator = ReadFileBytes(Payload(L"QZ_USB.DLL"));
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
    const std::string before = ReadFileBytes(placed);
    // Copied only where no file is there: a file of the machine's own is never overwritten.
    const bool copied = CopyFileW(Payload(L"QZ_USB.DLL").c_str(), placed.c_str(), TRUE) != FALSE;
    EXPECT_EQ(copied, !c.libraryThere) << c.name << ": the simulator copied";
    if (copied) {
      Program program(Stage(L"windows-folder", {}));
      ExpectWindowWithFocusedButton(program);
      if (ReadFileBytes(placed) == simulator) DeleteFileW(placed.c_str());
      EXPECT_EQ(GetFileAttributesW(placed.c_str()), INVALID_FILE_ATTRIBUTES)
          << c.name << ": the simulator is left in the Windows folder";
    } else {
      EXPECT_TRUE(ReadFileBytes(placed) == before) << c.name << ": the file there changed";
    }
    if (users) DeleteFileW(placed.c_str());
  }
  if (machines) {
    GTEST_SKIP() << Printable(placed) << " is the machine's own: left as it was, and the program not started on it";
  }
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
    Program program(Stage(L"show-command"), c.command);
    HWND form = program.ShownForm();
    ASSERT_NE(form, nullptr) << c.name;
    // Shown, and past its start: an activation would have come by now.
    ASSERT_TRUE(program.Settled(form)) << c.name;
    EXPECT_EQ(IsIconic(form) != FALSE, c.iconic) << c.name;
    EXPECT_EQ(GetForegroundWindow(), own) << c.name << " took the activation";
    EXPECT_EQ(FocusOf(program), nullptr) << c.name << " took the focus";

    ShowWindow(form, c.iconic ? SW_RESTORE : SW_SHOW);
    EXPECT_TRUE(BringToForeground(form)) << c.name;
    EXPECT_TRUE(PumpUntil(nullptr, [&] { return GetDlgCtrlID(FocusOf(program)) == IDC_COMMAND1; }))
        << c.name << ", then activated: the button has the focus";
    EXPECT_EQ(program.Close(), 0u) << c.name;
  }
  DestroyWindow(own);
}

// A shortcut set to "Run: Maximized" opens the fixed layout as designed.
TEST(Startup, AMaximizedStartOpensTheWindowAsDesigned) {
  Program program(Stage(L"maximized"), SW_SHOWMAXIMIZED);
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
  EXPECT_EQ(program.Close(), 0u);
}

// A press lists the simulator's demo devices (no scenario: tools/qz-sim),
// and the program ends normally.
void ExpectListingAndNormalEnd(const Program& program, HWND form, const char* when) {
  PressAndWaitFor(form, L"3, 7, 12, 25, ");
  EXPECT_EQ(TextOf(GetDlgItem(form, IDC_TXTMSGDISPLAY)), L"3, 7, 12, 25, ") << when;
  EXPECT_EQ(TextOf(GetDlgItem(form, IDC_TXTMSGDISPLAY2)), L"1, 10, 40, ") << when;
  EXPECT_EQ(program.Close(), 0u) << when;
}

bool ScreenReaderRunning() {
  BOOL running = FALSE;
  return SystemParametersInfoW(SPI_GETSCREENREADER, 0, &running, 0) && running;
}

// Nothing of accessibility loads at start; a screen reader's queries of every
// window load it and leave the program working, and give the labels and
// panes their names as words (on Windows: Wine does not annotate).
TEST(Accessibility, QueriesOfEveryWindowLeaveTheProgramWorking) {
  if (ScreenReaderRunning()) GTEST_SKIP() << "a screen reader runs: the program loads accessibility at start";
  Program program(Stage(L"accessibility"));
  HWND form = program.ShownForm();
  ASSERT_NE(form, nullptr);
  ASSERT_TRUE(program.Loaded(L"USER32.DLL")) << "the program's modules cannot be listed";
  EXPECT_FALSE(program.Loaded(L"OLEACC.DLL")) << "the accessibility runtime loaded at start";

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
  EXPECT_TRUE(program.Loaded(L"OLEACC.DLL")) << "the first query did not start the annotation";
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
  for (bool atStart : {true, false}) {
    const char* when = atStart ? "a screen reader at start" : "a screen reader started later";
    std::optional<ScreenReaderFlag> screenReader;
    if (atStart) screenReader.emplace();
    Program program(Stage(L"accessibility"));
    HWND form = program.ShownForm();
    ASSERT_NE(form, nullptr) << when;
    EXPECT_EQ(program.Loaded(L"OLEACC.DLL"), atStart) << when << ", the annotation at start";
    if (!atStart) screenReader.emplace();
    EXPECT_TRUE(PumpUntil(nullptr, [&] { return program.Loaded(L"OLEACC.DLL"); })) << when;
    ExpectListingAndNormalEnd(program, form, when);
  }
}

// A second click while the first one's listing runs is dropped, whether it
// comes while the listing yields or while the library is busy with a slow
// answer that nothing yields after: each list shows once.
TEST(Program, ADoubleClickListsOnce) {
  const struct {
    const char* scenario;
    std::wstring upper, lower;
    std::size_t calls;
  } cases[] = {
      {"table 5 -32765 9 -32767", L"5, 9, ", L"1, 3, ", 2},
      {"table", L"", L"", 2},
      {"result 0", kNotice, L"", 1},
  };
  for (const auto& c : cases) {
    Scenario scenario(std::string(c.scenario) + "\ndelay 400 0\nrecord QZ_SIM.LOG", Stage(L"double-click"));
    Program program(scenario.Folder());
    HWND form = program.ShownForm();
    ASSERT_NE(form, nullptr) << c.scenario;
    HWND button = GetDlgItem(form, IDC_COMMAND1);
    PostMessageW(button, BM_CLICK, 0, 0);
    PostMessageW(button, BM_CLICK, 0, 0);
    // The listing ends with its upper pane, read through the program's loop.
    HWND upper = GetDlgItem(form, IDC_TXTMSGDISPLAY);
    PumpUntil(nullptr, [&] { return scenario.Calls().size() >= c.calls && TextOf(upper) == c.upper; });
    EXPECT_EQ(Printable(TextOf(upper)), Printable(c.upper)) << c.scenario;
    EXPECT_EQ(Printable(TextOf(GetDlgItem(form, IDC_TXTMSGDISPLAY2))), Printable(c.lower)) << c.scenario;
    // The close comes after the second click, were that still queued, and a
    // listing calls the library before it first yields: a second listing
    // would have called it before the close ends the program.
    EXPECT_EQ(program.Close(), 0u) << c.scenario;
    EXPECT_EQ(scenario.Calls().size(), c.calls) << c.scenario << ": the library calls of one listing, up to the end";
  }
}

// A library that fills far more than its table harms nothing: both lists are
// right, and so is the next click, and the program ends normally.
TEST(Program, ALibraryThatWritesPastItsTableDamagesNothing) {
  for (int span : {128, 2048}) {
    Scenario scenario("table 5 -32765 9 -32767 3\nwrite " + std::to_string(span) + "\nrecord QZ_SIM.LOG",
                      Stage(L"writes-past"));
    Program program(scenario.Folder());
    HWND form = program.ShownForm();
    ASSERT_NE(form, nullptr) << span << " entries";
    for (int click = 1; click <= 2; ++click) {
      PressAndWaitFor(form, L"3, 5, 9, ");
      EXPECT_EQ(TextOf(GetDlgItem(form, IDC_TXTMSGDISPLAY)), L"3, 5, 9, ") << span << " entries, click " << click;
      EXPECT_EQ(TextOf(GetDlgItem(form, IDC_TXTMSGDISPLAY2)), L"1, 3, ") << span << " entries, click " << click;
    }
    EXPECT_EQ(scenario.Calls(),
              (std::vector<std::string>{"call 1 selector 0 table zero", "call 2 selector 0 table zero",
                                        "call 3 selector 0 table zero", "call 4 selector 0 table zero"}))
        << span << " entries: every call gets all of its room zeroed";
    EXPECT_EQ(program.Close(), 0u) << span << " entries";
  }
}

// A library that faults inside its call: the pane of that call says so, and the
// next press lists as usual, whatever the fault. One that leaves the thread
// changed has listed: the program goes on as before, its focus where it was.
TEST(Program, WhatALibraryDoesInsideItsCallStaysThere) {
  const std::string good = "table 5 -32765 9 -32767\n";
  const struct {
    const char* fault;
    std::wstring upper, lower;
    const char* emulatorCannot = nullptr;  // why the row shows nothing under emulation
    const char* faultLater = nullptr;      // what the simulator records when a window of its own faults
  } cases[] = {
      {"fault av", kNotice, L"1, 3, "},
      {"fault none divide", L"5, 9, ", kNotice},
      {"fault illegal", kNotice, L"1, 3, "},
      {"fault none raise 0xE06D7363", L"5, 9, ", kNotice},
      {"write 65536", kNotice, L"1, 3, "},
      {"fault stack", kNotice, L"1, 3, ", kStackGuard},
      {"fault none stack", L"5, 9, ", kNotice, kStackGuard},  // a second overflow in the same run
      // Success, every x87 exception unmasked: then the repaint.
      {"fpu 0x0240", L"5, 9, ", L"1, 3, ", kNoFloatExceptions},
      {"leave direction", L"5, 9, ", L"1, 3, "},
      {"leave quit", L"5, 9, ", L"1, 3, "},
      {"leave focus", L"5, 9, ", L"1, 3, "},
      {"leave unload", L"5, 9, ", L"1, 3, "},
      {"loop 200\nfault av", kNotice, L"1, 3, "},  // the library's own fault, after its own message loop
      {"leave windowfault\nrecord QZ_SIM.LOG", L"5, 9, ", L"1, 3, ", nullptr, "fault in window"},
      {"leave subclass", L"5, 9, ", L"1, 3, "},   // faulting on the next message the window gets
      {"leave dialogfault", kNotice, L"1, 3, "},  // its modal loop over the window, left by the fault
      {"leave window", L"5, 9, ", L"1, 3, "},     // last: a window that never validates, from now on
  };
  Scenario scenario(good, Stage(L"faults"));
  Program program(scenario.Folder());
  HWND form = program.ShownForm();
  ASSERT_NE(form, nullptr);
  ASSERT_TRUE(BringToForeground(form));
  HWND button = GetDlgItem(form, IDC_COMMAND1);
  HWND upper = GetDlgItem(form, IDC_TXTMSGDISPLAY);
  HWND lower = GetDlgItem(form, IDC_TXTMSGDISPLAY2);
  for (const auto& c : cases) {
    const std::string row = "row " + std::to_string(&c - cases + 1) + " (" + c.fault + ")";
    if (c.emulatorCannot && LeftOutUnderEmulation(row, c.emulatorCannot)) continue;
    scenario.Write(good);
    PressAndWaitFor(form, L"5, 9, ");
    scenario.Write(good + c.fault);
    PressAndWaitFor(form, c.upper);
    // A window of the library's that faults later: until it has.
    PumpUntil(nullptr, [&] {
      const std::vector<std::string> log = scenario.Calls();
      return !c.faultLater || (!log.empty() && log.back() == c.faultLater);
    });
    ASSERT_TRUE(program.Running()) << c.fault;
    EXPECT_TRUE(IsWindowEnabled(form) && IsWindowVisible(form)) << c.fault << ": the window enabled and shown";
    EXPECT_EQ(Printable(TextOf(upper)), Printable(c.upper)) << c.fault;
    EXPECT_EQ(Printable(TextOf(lower)), Printable(c.lower)) << c.fault;
    EXPECT_EQ(FocusOf(program), button) << c.fault << ": the focus after the press";
    scenario.Write(good);
    PressAndWaitFor(form, L"5, 9, ");
    EXPECT_EQ(TextOf(upper), L"5, 9, ") << "the press after " << c.fault;
    EXPECT_EQ(TextOf(lower), L"1, 3, ") << "the press after " << c.fault;
  }
  // With a window of the library's that never validates its paint region,
  // the program waits for input, idle.
  const ULONGLONG busy = program.CpuMilliseconds();
  ASSERT_EQ(program.ExitCode(1000), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_LT(program.CpuMilliseconds() - busy, 100u) << "milliseconds of CPU in one idle second";
  // Nor does a WM_QUIT posted from outside while the program waits for input end it.
  PostThreadMessageW(program.Thread(), WM_QUIT, 5, 0);
  PressAndWaitFor(form, L"5, 9, ");
  EXPECT_EQ(TextOf(upper), L"5, 9, ") << "the press after a WM_QUIT from outside";
  EXPECT_EQ(program.Close(), 0u);
}

TEST(Program, VersionRecordSaysOnePointZeroZero) {
  const std::wstring exe = Payload(L"DeviceList.exe");
  std::vector<char> record(GetFileVersionInfoSizeW(exe.c_str(), nullptr));
  ASSERT_FALSE(record.empty()) << "no version record";
  ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(record.size()), record.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
  EXPECT_EQ((std::vector<DWORD>{fixed->dwFileVersionMS, fixed->dwFileVersionLS, fixed->dwProductVersionMS,
                                fixed->dwProductVersionLS}),
            (std::vector<DWORD>{0x00010000u, 0u, 0x00010000u, 0u}))
      << "file and product version 1.0.0.0";
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
  const std::string file = ReadFileBytes(Payload(L"DeviceList.exe"));
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
  const std::vector<std::string> system = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "COMCTL32.DLL", "MSVCRT.DLL"};
  for (const std::string& dll : imports) {
    EXPECT_NE(std::find(system.begin(), system.end(), dll), system.end()) << dll << " is not a Windows system DLL";
  }
}

BOOL CALLBACK CollectResourceName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) {
  reinterpret_cast<std::vector<ULONG_PTR>*>(found)->push_back(reinterpret_cast<ULONG_PTR>(name));
  return TRUE;
}

// Explorer shows the file's first icon group: ours, with an image for each size
// the title bar, taskbar and Explorer ask for at 100 to 300 %, and the large views.
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

// The window closed during a listing, as the library answers slowly or inside a
// library's own message loop, which takes the WM_QUIT: the program ends normally
// within seconds and calls the library no more. (A close while the listing
// yields: ListingsTest.ClosingTheWindowDuringAYieldEndsTheListing.)
TEST(Program, ClosingDuringAListingEndsNormally) {
  for (const char* slow :
       {"table 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 31 32\ndelay 300",
        "table 5 -32765\nloop 1000"}) {
    Scenario scenario(std::string(slow) + "\nrecord QZ_SIM.LOG", Stage(L"close-while-listing"));
    Program program(scenario.Folder());
    HWND form = program.ShownForm();
    ASSERT_NE(form, nullptr) << slow;
    PostMessageW(GetDlgItem(form, IDC_COMMAND1), BM_CLICK, 0, 0);
    PostMessageW(form, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.ExitCode(5000), 0u) << slow << ": exit code 0, no crash, no hang";
    EXPECT_EQ(scenario.Calls().size(), 1u) << slow << ": the window closed inside the listing";
  }
}

// A fault in the program's own code is the program's: it ends the program
// as a crash that the system reports, also where it happens under a device
// library's call, in a message that the library's own loop dispatched to the
// window; it is not taken for the library's and shown as a failed call.
TEST(Program, ItsOwnFaultUnderALibrarysLoopIsACrash) {
  Scenario scenario("table 5 -32765\npoke\nloop 300", Stage(L"own-fault"));
  Program program(scenario.Folder());
  HWND form = program.ShownForm();
  ASSERT_NE(form, nullptr);
  HWND pane = GetDlgItem(form, IDC_TXTMSGDISPLAY);
  PostMessageW(GetDlgItem(form, IDC_COMMAND1), BM_CLICK, 0, 0);
  std::wstring shown;
  const auto ended = [&] {
    const std::wstring text = TextOf(pane);
    if (!text.empty()) shown = text;
    return !program.Running();
  };
  PumpUntil(nullptr, ended, 20000);
  // Under emulation the write to address 0 may arrive as an illegal instruction.
  const DWORD code = program.ExitCode(0);
  EXPECT_TRUE(code == EXCEPTION_ACCESS_VIOLATION || (UnderEmulation() && code == EXCEPTION_ILLEGAL_INSTRUCTION))
      << "the program ends as a crash: expected exit code 0xC0000005, got 0x" << std::hex << code;
  EXPECT_EQ(Printable(shown), "") << "nothing listed, no failed call shown";
}

}  // namespace
