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
  // Either way the call leaves the program's stack pointer, registers and
  // floating-point settings as it found them, whatever the library did to them.
  std::uint32_t GetRegDevList(DeviceTable& table) override;

  // The entry point sets only the low byte of EAX; the rest is whatever it holds.
  using EntryPoint = std::uint32_t(WINAPI*)(std::int16_t* table, std::int32_t selector);

 private:
  // Binds the entry point and makes the room, once.
  void Prepare();

  const char* fileName_;
  bool bound_ = false;
  bool sse_ = false;  // the processor has MXCSR
  EntryPoint entry_ = nullptr;
  // The room the library writes into, between two pages it cannot touch.
  void* reserved_ = nullptr;
  std::int16_t* landing_ = nullptr;
};
