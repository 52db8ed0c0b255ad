#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "listing/DeviceLibrary.h"

// SP_GetRegDevList of the device library, looked up by name on the first call
// and reused after that.
class VendorLibrary : public DeviceLibrary {
 public:
  // Entries the library may write without harm: a library that fills more than
  // the 33 of its table writes into zeroed room of its own.
  static constexpr std::size_t kLandingEntries = 2048;

  // The library's file name; the module already loaded under it is used.
  explicit VendorLibrary(const char* fileName) : fileName_(fileName) {}
  ~VendorLibrary() override;
  VendorLibrary(const VendorLibrary&) = delete;
  VendorLibrary& operator=(const VendorLibrary&) = delete;

  // A library without the entry point, or one that raises an exception inside
  // the call, counts as a failed call (result 0); the table is then untouched.
  // Either way the call leaves the thread as it found it, whatever the library
  // did: stack pointer, registers, direction flag, floating-point settings,
  // DPI awareness, and the focus of a window that stayed active.
  std::uint32_t GetRegDevList(DeviceTable& table) override;

  // Loads the library by file name and holds it until the process ends:
  // pinned, so that no FreeLibrary, not even its own, unloads it. Null if it
  // did not load.
  static HMODULE LoadHeld(const char* fileName);

  // The entry point sets only the low byte of EAX; the rest is whatever it holds.
  using EntryPoint = std::uint32_t(WINAPI*)(std::int16_t* table, std::int32_t selector);

 private:
  // Windows 10 1607 and later; DPI_AWARENESS_CONTEXT, which the Windows 7 headers lack.
  using DpiContext = HANDLE;
  using GetDpiContext = DpiContext(WINAPI*)();
  using SetDpiContext = DpiContext(WINAPI*)(DpiContext);
  struct WindowState;

  // Binds the entry point and makes the room, once.
  void Prepare();
  WindowState SaveWindowState() const;
  void RestoreWindowState(const WindowState& saved) const;

  const char* fileName_;
  bool bound_ = false;
  bool sse_ = false;  // the processor has MXCSR
  GetDpiContext getDpiContext_ = nullptr;
  SetDpiContext setDpiContext_ = nullptr;
  EntryPoint entry_ = nullptr;
  // The room the library writes into, between two pages it cannot touch.
  void* reserved_ = nullptr;
  std::int16_t* landing_ = nullptr;
};
