// DeviceTable, what the device library fills: 33 signed 16-bit entries. 0 is
// an empty slot, a positive entry the number of a connected device, a negative
// one a device that is registered but not connected, whose number is the
// entry's low 15 bits. The listings use tables of the same shape as work lists.
#pragma once

#include <cstddef>
#include <cstdint>

struct DeviceTable {
  static constexpr std::size_t kEntries = 33;
  // Only entries 0..31 are ever examined; entry 32 belongs to the library.
  static constexpr std::size_t kExamined = 32;

  std::int16_t entry[kEntries] = {};
};

static_assert(sizeof(DeviceTable) == 66, "the library writes 66 contiguous bytes");

// The number of a disconnected device: the entry without its sign bit.
inline std::int16_t DisconnectedNumber(std::int16_t entry) {
  return static_cast<std::int16_t>(entry & 0x7FFF);
}
