#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#ifndef WM_GETDPISCALEDSIZE
#define WM_GETDPISCALEDSIZE 0x02E4  // Windows 10 1703
#endif

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

// Real key presses through the input queue.
void PressKey(WORD key, bool shift = false);
void TypeText(const std::wstring& text);

// What Windows 10 1607 and later (and Wine) give for a DPI other than the
// system's; false where the system lacks the function.
bool MessageFontAtDpi(int dpi, LOGFONTW& font);
bool MetricAtDpi(int metric, int dpi, int& value);
bool FrameAtDpi(RECT& client, DWORD style, int dpi);

// The x87 control word and MXCSR, as "x87 0x027F, MXCSR 0x1F80".
std::string FloatSettings();

// Wine rather than Windows: what only Windows shows is not there to test.
bool RunningOnWine();

// The text a gtest message shows for a pane's content.
std::string Printable(const std::wstring& text);
