// Helpers of the window and program tests: scenarios, input, waiting, the thread's state.
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

// Writes QZ_SIM.TXT beside the test program's QZ_USB.DLL and removes it at the
// end of the scope; each one is a new scenario for the simulator.
class Scenario {
 public:
  explicit Scenario(const std::string& text);
  ~Scenario();
  Scenario(const Scenario&) = delete;
  Scenario& operator=(const Scenario&) = delete;

  // The lines of QZ_SIM.LOG, if the scenario records calls.
  std::vector<std::string> Calls() const;

 private:
  std::wstring folder_;
};

std::vector<std::string> ReadLines(const std::wstring& path);
void WriteText(const std::wstring& path, const std::string& text);

std::wstring TextOf(HWND window);

// Handles queued messages for `window` (with its dialog keys) until `done`
// holds or the time is up; returns `done()`.
bool PumpUntil(HWND window, const std::function<bool()>& done, DWORD timeoutMs = 3000);

// Handles what is queued now and what arrives within a short while.
void PumpBriefly(HWND window, DWORD ms = 100);

// Real key presses through the input queue: they reach the foreground window.
// Typed only while a window of the calling thread holds the foreground;
// otherwise nothing is typed and the test fails, naming the window in front.
void PressKey(WORD key, bool shift = false);
void TypeText(const std::wstring& text);

// Puts the window in front, where a test's keys go, or fails naming what
// holds the foreground instead. A process in the background may not take
// the foreground (SetForegroundWindow's restrictions; on a CI runner its
// console holds it), but one whose thread shares the foreground thread's
// input state may, so the calling thread shares it for the moment.
::testing::AssertionResult BringToForeground(HWND window);

// Counts the key presses that reach this thread's message queue, by key, while
// it lives: a key test that saw none tested nothing.
class KeysArriving {
 public:
  KeysArriving();
  ~KeysArriving();
  KeysArriving(const KeysArriving&) = delete;
  KeysArriving& operator=(const KeysArriving&) = delete;

  int Count(WORD key) const { return counts_[key & 0xFF]; }

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM key, LPARAM flags);
  static int counts_[256];
  HHOOK hook_;
};

// What Windows 10 1607 and later (and Wine) give for a DPI other than the
// system's; false where the system lacks the function.
bool MessageFontAtDpi(int dpi, LOGFONTW& font);
bool MetricAtDpi(int metric, int dpi, int& value);
bool FrameAtDpi(RECT& client, DWORD style, int dpi);

// What a library call may change of the thread, as "x87 0x027F, MXCSR 0x1F80,
// direction flag 0, DPI awareness ..., handler chain at ..., capture ...,
// cursor count ..., priority ..., clipboard ..., console ...", then each of the
// test program's windows on the thread (enabled, visible, procedure) and any
// other window one of them owns: a direction flag found set is cleared.
std::string ThreadState();

// Wine rather than Windows: what only Windows shows is not there to test.
bool RunningOnWine();

// The lines the process writes for a debugger (OutputDebugStringW) while
// the object lives, seen as the exception that carries each. Windows 10 and
// later raise a wide one first, which an attached debugger takes: run the
// tests that use this without one.
class DebugOutput {
 public:
  DebugOutput();
  ~DebugOutput();
  DebugOutput(const DebugOutput&) = delete;
  DebugOutput& operator=(const DebugOutput&) = delete;

  std::vector<std::string> Lines() const { return lines_; }

 private:
  static LONG CALLBACK Seen(EXCEPTION_POINTERS* exception);
  static std::vector<std::string> lines_;
  void* handler_;
};

// True where this 32-bit code runs under a user-mode emulator (scripts/i386.sh).
bool UnderEmulation();

// True where this 32-bit code runs under a user-mode emulator (on a machine
// that runs 64-bit code only; scripts/i386.sh): the emulator cannot produce
// some faults, so that a check of them would pass whether or not the program
// mends them. Prints the check as left out, with the reason, in the form
// scripts/test counts; the caller then skips the check.
bool LeftOutUnderEmulation(const std::string& check, const char* reason);
// The reasons, each in one place.
constexpr char kStackGuard[] = "the emulated process dies as the stack's guard page is put back after an overflow";
constexpr char kNoFloatExceptions[] = "the emulator raises no x87 exception, whatever the control word unmasks";

// Whether a test may change what belongs to the whole session or machine:
// the message font, the screen-reader flag, a file in the Windows folder.
// Under Wine, yes: every prefix is the suite's own, and scripts/test ends its
// server, and with it every setting not saved to the profile, at each run.
// On Windows only where DEVICELIST_THROWAWAY_SESSION=1 says that the machine
// serves nothing else (CI's runners): a test killed midway, as a CTest
// timeout kills one, puts nothing back.
bool MayChangeTheSession();
constexpr char kSessionOfItsOwn[] =
    "changes the session's settings or the Windows folder: runs under Wine, or on Windows where "
    "DEVICELIST_THROWAWAY_SESSION=1 (a CI runner), never on a desktop of someone's own";

// With the administrator's rights that writing to the Windows folder needs.
bool RunningElevated();

// The DPI the window is drawn at: its monitor's where Windows scales per
// monitor, the system's elsewhere.
int DpiOf(HWND window);

// The text a gtest message shows for a pane's content.
std::string Printable(const std::wstring& text);
