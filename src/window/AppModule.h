// The program's module: its process-wide state and the procedures that reach
// the one main window directly.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

// True once the device library has loaded; every call into the library then
// overwrites it with that call's success.
extern bool gLibOk;
// The device library, loaded once at start and held until the process ends;
// null if it did not load.
extern HMODULE gLibHandle;
// What the most recent ShowMessage box returned.
extern std::int32_t gMsgResult;

// Loads QZ_USB.DLL into gLibHandle or, if it cannot be loaded, says where to
// put it and ends the program with exit code 1 before the window is shown.
void CheckLibrary();

// Loads a DLL by file name and pins it: no FreeLibrary, not even the
// library's own on itself, unloads it before the process ends. Null if it
// did not load. The start-up check's load, without its search rules.
HMODULE LoadPinned(const char* fileName);

// A modal box with an OK button, owned by the main window; the result goes to gMsgResult.
void ShowMessage(const std::wstring& message, const std::wstring& caption);

// "down" or "end" puts the caret of the main window's upper pane at the end of
// its text and scrolls it into view; any other command does nothing.
void ScrollDisplay(std::string_view command);
