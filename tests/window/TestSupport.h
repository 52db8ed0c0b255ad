// Helpers of the window and program tests: files, scenarios, windows' text, input, waiting, the session.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "window/LateBound.h"
#include "window/Resource.h"

// The folder of the running test program, with a trailing backslash.
std::wstring ProgramFolder();

// A file's bytes; empty if it cannot be read.
std::string ReadFileBytes(const std::wstring& path);
void WriteText(const std::wstring& path, const std::string& text);

// QZ_SIM.TXT beside a QZ_USB.DLL, the test program's by default, while it lives
// (with QZ_SIM.LOG); each text written is a new scenario for the simulator.
class Scenario {
 public:
  explicit Scenario(const std::string& text, const std::wstring& folder = ProgramFolder());
  ~Scenario();
  Scenario(const Scenario&) = delete;
  Scenario& operator=(const Scenario&) = delete;

  // A new scenario; the calls recorded so far go.
  void Write(const std::string& text);
  // The lines of QZ_SIM.LOG, if the scenario records calls.
  std::vector<std::string> Calls() const;
  const std::wstring& Folder() const { return folder_; }

 private:
  std::wstring folder_;
};

// The text of a window of this process or of the program a test started, as
// its window procedure gives it (WM_GETTEXT).
std::wstring TextOf(HWND window);
// The caption the system keeps for any window, read without a message to
// its process: for windows of other programs, which a test only looks at.
std::wstring KeptText(HWND window);
// A window as a failure names it: its caption, class and process.
std::string Describe(HWND window);

// Handles this thread's messages (with the window's dialog keys, if one is given)
// until `done` holds or the time is up; returns `done()`. Also the wait for
// another process: the thread's own windows answer meanwhile.
bool PumpUntil(HWND window, const std::function<bool()>& done, DWORD timeoutMs = 10000);
// Handles what is queued now and what arrives within a short while.
void PumpBriefly(HWND window, DWORD ms = 100);

// Real key presses through the input queue: they reach the foreground window.
// Typed only while a window of the calling thread holds the foreground;
// otherwise nothing is typed and the test fails, naming the window in front.
void PressKey(WORD key, bool shift = false);
void TypeText(const std::wstring& text);

// Puts the window in front, where a test's keys go, or fails naming what holds
// the foreground. A background process may take the foreground only while its
// thread shares the foreground thread's input state (SetForegroundWindow): here briefly.
::testing::AssertionResult BringToForeground(HWND window);

// Wine rather than Windows: what only Windows shows is not there to test.
bool RunningOnWine();

// True where this 32-bit code runs under a user-mode emulator (scripts/i386.sh).
bool UnderEmulation();
// The emulator cannot produce some faults, and a check of them would pass whether
// or not the program mends them: under it, prints the check as left out, with
// the reason, as scripts/test counts them, and returns true; the caller skips it.
bool LeftOutUnderEmulation(const std::string& check, const char* reason);
constexpr char kStackGuard[] = "the emulated process dies as the stack's guard page is put back after an overflow";
constexpr char kNoFloatExceptions[] = "the emulator raises no x87 exception, whatever the control word unmasks";

// Whether a test may change what belongs to the session or machine (the message
// font, the screen-reader flag, a file in the Windows folder): under Wine, whose
// prefixes and server (ended at each run) are the suite's own; on Windows only
// where DEVICELIST_THROWAWAY_SESSION=1 says the machine serves nothing else, as
// a test killed midway puts nothing back.
bool MayChangeTheSession();
constexpr char kSessionOfItsOwn[] =
    "changes the session's settings or the Windows folder: runs under Wine, or on Windows where "
    "DEVICELIST_THROWAWAY_SESSION=1 (a CI runner), never on a desktop of someone's own";

// The DPI the window is drawn at: its monitor's where Windows scales per
// monitor, the system's elsewhere.
int DpiOf(HWND window);

// What a pane shows of a failed library call.
const std::wstring kNotice = L"function call failed\r\n\r\n";
// The text a gtest message shows for a pane's content.
std::string Printable(const std::wstring& text);
