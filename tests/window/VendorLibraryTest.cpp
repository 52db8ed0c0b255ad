// The call into a device library, in the test process: what reaches the
// library and comes back, what a failed call tells a debugger, and what a
// misbehaving library leaves of the thread.
#include <windows.h>

#include <intrin.h>  // __readfsdword
#if defined(_MSC_VER)
#include <xmmintrin.h>
#endif

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "listing/DeviceTable.h"
#include "window/AppModule.h"
#include "window/Form1.h"
#include "window/VendorLibrary.h"

namespace {

// The lines written for a debugger (OutputDebugStringW) while it lives, seen as
// the exception that carries each. Windows 10 and later raise a wide one first,
// which an attached debugger takes: run these tests without one.
class DebugOutput {
 public:
  DebugOutput() : handler_(AddVectoredExceptionHandler(1, Seen)) { lines_.clear(); }
  ~DebugOutput() { RemoveVectoredExceptionHandler(handler_); }
  DebugOutput(const DebugOutput&) = delete;
  DebugOutput& operator=(const DebugOutput&) = delete;

  std::vector<std::string> Lines() const { return lines_; }

 private:
  static LONG CALLBACK Seen(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    // DBG_PRINTEXCEPTION_C: its length, with the terminating zero, and the text.
    if (record.ExceptionCode == 0x40010006 && record.NumberParameters >= 2) {
      lines_.emplace_back(reinterpret_cast<const char*>(record.ExceptionInformation[1]),
                          record.ExceptionInformation[0] > 0 ? record.ExceptionInformation[0] - 1 : 0);
    }
    return EXCEPTION_CONTINUE_SEARCH;
  }

  static inline std::vector<std::string> lines_;
  void* handler_;
};

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

// What a library call may change of the thread, as text: the fields below, then
// each of the test program's windows on the thread (enabled, visible, procedure)
// and any other window one of them owns. A direction flag found set is cleared.
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
  const int cursor = ShowCursor(FALSE) + 1;
  ShowCursor(TRUE);
  // Whether another thread can open the clipboard, that is whether this one left it open.
  HANDLE probe = CreateThread(nullptr, 0, ClipboardFree, nullptr, 0, nullptr);
  DWORD clipboardFree = 0;
  WaitForSingleObject(probe, 5000);
  GetExitCodeThread(probe, &clipboardFree);
  CloseHandle(probe);
  char text[320];
  std::snprintf(text, sizeof text,
                "x87 0x%04X, MXCSR 0x%04X, direction flag %u, DPI awareness %p, handler chain at %p, capture %p, "
                "cursor count %d, priority %d, clipboard %s, console %s",
                x87, mxcsr, (flags >> 10) & 1u, getDpiContext ? getDpiContext() : nullptr, handlers,
                static_cast<void*>(GetCapture()), cursor, GetThreadPriority(GetCurrentThread()),
                clipboardFree ? "free" : "held", GetConsoleWindow() ? "open" : "none");
  std::string state = text;
  EnumThreadWindows(GetCurrentThreadId(), DescribeWindow, reinterpret_cast<LPARAM>(&state));
  return state;
}

std::string Hex(DWORD code) {
  char text[12];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
  return text;
}

TEST(VendorLibrary, TheWholeTableReachesTheLibraryAndComesBack) {
  Scenario scenario(
      "table -1 2 -3 4 -5 6 -7 8 -9 10 -11 12 -13 14 -15 16 -17 18 -19 20 -21 22 -23 24 -25 26 -27 28 -29 30 "
      "-31 32 -32768\nresult 0x1234\nrecord QZ_SIM.LOG");
  const HMODULE module = LoadPinned("QZ_USB.DLL");
  VendorLibrary library(&module);
  DeviceTable table;
  EXPECT_EQ(library.GetRegDevList(table), 0x1234u) << "the raw result, upper bits included";
  for (int i = 0; i < 32; ++i) {
    EXPECT_EQ(table.entry[i], (i % 2 ? 1 : -1) * (i + 1)) << "entry " << i;
  }
  EXPECT_EQ(table.entry[32], -32768) << "entry 32 is written by the library too";
  EXPECT_EQ(scenario.Calls(), std::vector<std::string>{"call 1 selector 0 table zero"});
}

// A failed call writes one line for a debugger that says why, at every call
// (a sound one writes none: WhatALibraryDoesInsideItsCallStaysThere).
TEST(VendorLibrary, EveryFailedCallTellsADebuggerWhy) {
  const struct {
    const char* library;
    const char* scenario;
    std::uint32_t result;
    const char* trace;  // what the one line says
  } cases[] = {
      {"QZ_NOENTRY.DLL", "", 0, "the device library has no entry point SP_GetRegDevList; the call failed"},
      {"QZ_USB.DLL", "result 0", 0, "SP_GetRegDevList returned 0x00000000, a failure"},
      {"QZ_USB.DLL", "result 0xFFFFFF00", 0xFFFFFF00u, "SP_GetRegDevList returned 0xFFFFFF00, a failure"},
  };
  for (const auto& c : cases) {
    const std::string what = std::string(c.library) + ", " + c.scenario;
    const HMODULE module = LoadPinned(c.library);
    ASSERT_NE(module, nullptr) << what << ": the library itself loads";
    VendorLibrary library(&module);
    Scenario scenario(std::string("table 4\n") + c.scenario);
    for (int call = 1; call <= 2; ++call) {
      DebugOutput output;
      DeviceTable table;
      EXPECT_EQ(library.GetRegDevList(table), c.result) << what << ", call " << call;
      EXPECT_EQ(output.Lines(), std::vector<std::string>{std::string("DeviceList: ") + c.trace + "\n"})
          << what << ", call " << call;
    }
  }
}

// A library that faults inside its call, or misbehaves in another way: the
// call fails, saying so to a debugger, or succeeds as a sound one would, and
// leaves the thread as it was, down to the head of its handler chain; the
// next call is answered as usual.
TEST(VendorLibrary, WhatALibraryDoesInsideItsCallStaysThere) {
  const struct {
    const char* library;
    const char* scenario;
    DWORD fault;                           // the exception that ends the call, or 0 for a call that returns
    const char* emulatorCannot = nullptr;  // why the row shows nothing under emulation
  } cases[] = {
      {"QZ_USB.DLL", "fault av", EXCEPTION_ACCESS_VIOLATION},
      {"QZ_USB.DLL", "fault divide", EXCEPTION_INT_DIVIDE_BY_ZERO},
      {"QZ_USB.DLL", "fault illegal", EXCEPTION_ILLEGAL_INSTRUCTION},
      {"QZ_USB.DLL", "fault raise 0xE06D7363", 0xE06D7363},
      {"QZ_USB.DLL", "fault raise 0xC0000005", EXCEPTION_ACCESS_VIOLATION},
      {"QZ_USB.DLL", "write 2049", EXCEPTION_ACCESS_VIOLATION},
      {"QZ_USB.DLL", "write 65536", EXCEPTION_ACCESS_VIOLATION},
      {"QZ_USB.DLL", "before 1", EXCEPTION_ACCESS_VIOLATION},
      {"QZ_USB.DLL", "fault stack", EXCEPTION_STACK_OVERFLOW, kStackGuard},
      {"QZ_USB.DLL", "fault stack", EXCEPTION_STACK_OVERFLOW, kStackGuard},  // the second needs a new guard page
      {"QZ_USB.DLL", "fpu 0x0240 0x8000", 0},  // every exception unmasked, MXCSR flushing to zero
      {"QZ_USB.DLL", "leave direction", 0},
      {"QZ_USB.DLL", "leave dpi", 0},
      {"QZ_USB.DLL", "leave unload", 0},  // freed until the loader lets go: it must not
      {"QZ_CDECL.DLL", "", 0},
      {"QZ_POPS4.DLL", "", 0},
      {"QZ_POPS12.DLL", "", 0},
      // What it leaves of the program's window, and of the thread besides.
      {"QZ_USB.DLL", "leave disable", 0},
      {"QZ_USB.DLL", "leave hide", 0},
      {"QZ_USB.DLL", "leave subclass", 0},  // faulting on the next message it gets
      {"QZ_USB.DLL", "leave capture", 0},
      {"QZ_USB.DLL", "leave cursor", 0},
      {"QZ_USB.DLL", "leave priority", 0},
      {"QZ_USB.DLL", "leave clipboard", 0},
      {"QZ_USB.DLL", "leave console", 0},
      {"QZ_USB.DLL", "leave dialogfault", EXCEPTION_ACCESS_VIOLATION},  // its modal loop over the window
  };
  // The program's window, as the library finds it: the thread's visible one.
  Form1 form;
  ASSERT_TRUE(form.Create(GetModuleHandleW(nullptr)));
  form.Show(SW_SHOWNOACTIVATE);
  const std::string threadState = ThreadState();
  for (const auto& c : cases) {
    const std::string what = std::string(c.library) + ", " + c.scenario;
    const std::string row = "row " + std::to_string(&c - cases + 1) + " (" + what + ")";
    if (c.emulatorCannot && LeftOutUnderEmulation(row, c.emulatorCannot)) continue;
    const HMODULE module = LoadPinned(c.library);
    VendorLibrary library(&module);
    DeviceTable table;
    table.entry[0] = 99;
    {
      Scenario scenario(std::string("table 4 -32767 2\n") + c.scenario);
      DebugOutput output;
      EXPECT_EQ(library.GetRegDevList(table), c.fault ? 0u : 1u) << what;
      const std::vector<std::string> lines = output.Lines();
      if (c.fault) {
        // Under emulation the emulator decides which exception a fault raises
        // (a divide by zero arrives as 0xC0000090, a bad address may arrive as
        // 0xC000001D): there the line must name one, whichever it is.
        ASSERT_EQ(lines.size(), 1u) << what << ": one line for a debugger";
        const std::string wanted = "raised exception " + (UnderEmulation() ? std::string("0x") : Hex(c.fault));
        const bool named = lines[0].find(wanted) != std::string::npos;
        EXPECT_TRUE(named) << what << ": expected exception " << Hex(c.fault) << ", got \"" << lines[0] << "\"";
      } else {
        EXPECT_EQ(lines, std::vector<std::string>{}) << what;
      }
    }
    EXPECT_EQ(table.entry[0], c.fault ? 99 : 4) << what << ": what the library wrote, used or not";
    EXPECT_EQ(ThreadState(), threadState) << what;
    // An inexact result, as the next repaint has them: fatal with the library's settings.
    volatile double third = 1.0;
    third = third / 3.0;
    Scenario good("table 4 -32767 2");
    table.entry[0] = 0;
    EXPECT_EQ(library.GetRegDevList(table), 1u) << "the call after " << what;
    EXPECT_EQ(table.entry[0], 4) << "the call after " << what;
  }
}

}  // namespace
