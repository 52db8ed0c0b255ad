// Starts the real DeviceList.exe in a folder of its own and finds its windows from outside.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"

// A file of the payload beside program_tests: DeviceList.exe, the simulator
// QZ_USB.DLL and its variant without the entry point, QZ_NOENTRY.DLL.
inline std::wstring Payload(const wchar_t* name) {
  return ProgramFolder() + L"payload\\" + name;
}

// An empty folder to start the program in, so that nothing is found there.
inline std::wstring EmptyFolder() {
  const std::wstring folder = ProgramFolder() + L"stage\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  CreateDirectoryW((folder + L"empty").c_str(), nullptr);
  return folder + L"empty\\";
}

// A fresh folder holding the program and the given files of the payload
// (payload name, name in the folder): the simulator unless others are given.
using StagedFiles = std::initializer_list<std::pair<const wchar_t*, const wchar_t*>>;
inline std::wstring Stage(const wchar_t* name, StagedFiles files = {{L"QZ_USB.DLL", L"QZ_USB.DLL"}}) {
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

// The windows of one class: a window's children, or with a null parent the
// top-level windows of one process or, with pid 0, of every one.
inline std::vector<HWND> FindWindows(HWND parent, const wchar_t* className, DWORD pid = 0) {
  std::vector<HWND> found;
  for (HWND w = FindWindowExW(parent, nullptr, className, nullptr); w;
       w = FindWindowExW(parent, w, className, nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (pid == 0 || owner == pid) found.push_back(w);
  }
  return found;
}

// DeviceList.exe started from a folder; ended at the end of the scope if it still runs.
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
    const std::wstring exe = folder + L"DeviceList.exe";
    const std::wstring current = startFolder.empty() ? EmptyFolder() : startFolder;
    started_ =
        CreateProcessW(exe.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, current.c_str(), &startup, &process_);
  }
  ~Program() {
    if (!started_) return;
    if (Running()) TerminateProcess(process_.hProcess, 99);
    WaitForSingleObject(process_.hProcess, 5000);
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool Started() const { return started_; }
  bool Running() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }
  DWORD Thread() const { return process_.dwThreadId; }
  DWORD Pid() const { return process_.dwProcessId; }

  std::vector<HWND> Windows(const wchar_t* className) const { return FindWindows(nullptr, className, Pid()); }
  HWND Form() const {
    const std::vector<HWND> forms = Windows(L"DeviceList.Form1");
    return forms.empty() ? nullptr : forms.front();
  }
  // Waits for the window to be shown; null if it is not within the time.
  HWND ShownForm() const {
    HWND form = nullptr;
    return PumpUntil(nullptr, [&] { return (form = Form()) != nullptr && IsWindowVisible(form); }) ? form : nullptr;
  }

  // Waits for the end; the exit code, or STILL_ACTIVE if it did not end.
  DWORD ExitCode(DWORD timeoutMs = 10000) const {
    WaitForSingleObject(process_.hProcess, timeoutMs);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
  }
  // Closes the window as its close box does; the exit code.
  DWORD Close() const {
    PostMessageW(Form(), WM_CLOSE, 0, 0);
    return ExitCode();
  }

  // Waits until the program has done what it does before it first waits for
  // input (WaitForInputIdle) and has handled a message sent to the window
  // from its loop: what it started with is done, with no time waited.
  bool Settled(HWND window) const {
    DWORD_PTR result = 0;
    return WaitForInputIdle(process_.hProcess, 10000) == 0 &&
           SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &result) != 0;
  }

  ULONGLONG CpuMilliseconds() const {
    FILETIME created, ended, kernel, user;
    GetProcessTimes(process_.hProcess, &created, &ended, &kernel, &user);
    const auto ms = [](const FILETIME& t) { return ((ULONGLONG{t.dwHighDateTime} << 32) | t.dwLowDateTime) / 10000; };
    return ms(kernel) + ms(user);
  }

  bool Loaded(const wchar_t* module) const {
    bool loaded = false;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, process_.dwProcessId);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    MODULEENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Module32FirstW(snapshot, &entry); more && !loaded; more = Module32NextW(snapshot, &entry)) {
      loaded = _wcsicmp(entry.szModule, module) == 0;
    }
    CloseHandle(snapshot);
    return loaded;
  }

 private:
  PROCESS_INFORMATION process_ = {};
  bool started_ = false;
};

inline HWND FocusOf(const Program& program) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(program.Thread(), &info);
  return info.hwndFocus;
}

// Presses the button through the program's own message loop, as a click or a
// key does, and waits for the upper pane to show what a listing ends with:
// the pane is marked first, and each listing clears it at its start.
inline void PressAndWaitFor(HWND form, const std::wstring& upper) {
  HWND pane = GetDlgItem(form, IDC_TXTMSGDISPLAY);
  DWORD_PTR result = 0;
  SendMessageTimeoutW(pane, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"(pressed)"), SMTO_ABORTIFHUNG, 5000, &result);
  PostMessageW(GetDlgItem(form, IDC_COMMAND1), BM_CLICK, 0, 0);
  PumpUntil(nullptr, [&] { return TextOf(pane) == upper || !IsWindow(form); });
  // Back in the main loop, past the handler's end.
  SendMessageTimeoutW(form, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
}
