// A call into the device library's code inside a fault frame: an exception
// raised by the library ends the call, not the program.
#pragma once

#include <windows.h>

#include <cstdint>

// A function of the library's, called with two arguments whatever its
// calling convention (stdcall, cdecl, or one that pops the wrong count).
using ForeignFunction = std::uintptr_t(WINAPI*)(void* first, std::intptr_t second);

struct Fault {
  DWORD code = 0;
  const void* address = nullptr;
};

// Calls function(first, second): ESP, EBP, EBX, ESI and EDI come back as they
// were, and the direction flag is clear before the program's code runs again.
// False, with the fault, when an exception raised under the call ended it;
// the program's own never get here (OwnFaults.h).
bool CallGuarded(ForeignFunction function, void* first, std::intptr_t second, std::uintptr_t& result, Fault& fault);
