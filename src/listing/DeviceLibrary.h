// The device library as the listings see it: one entry point, and what its result means.
#pragma once

#include <cstdint>

#include "listing/DeviceTable.h"

class DeviceLibrary {
 public:
  virtual ~DeviceLibrary() = default;

  // Asks the library to fill the table (second argument 0) and returns its raw
  // result; a library that cannot be called returns 0.
  virtual std::uint32_t GetRegDevList(DeviceTable& table) = 0;
};

// The library returns an 8-bit flag; whatever the upper bits of the register
// hold is noise.
inline bool LibraryCallSucceeded(std::uint32_t rawResult) {
  return (rawResult & 0xFFu) != 0;
}
