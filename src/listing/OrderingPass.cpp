// The ordering pass: largest first into a buffer, then back reversed.
#include "listing/OrderingPass.h"

#include <cstddef>
#include <cstdint>

namespace {

constexpr std::size_t kCount = DeviceTable::kExamined;

bool AnyPositive(const DeviceTable& work) {
  for (std::size_t i = 0; i < kCount; ++i) {
    if (work.entry[i] > 0) return true;
  }
  return false;
}

bool IsLargest(const DeviceTable& work, std::int16_t value) {
  for (std::size_t i = 0; i < kCount; ++i) {
    if (work.entry[i] > value) return false;
  }
  return true;
}

}  // namespace

bool OrderAscending(DeviceTable& work, DeviceTable& buffer, EventPump& pump) {
  for (std::size_t i = 0; i < kCount; ++i) buffer.entry[i] = 0;

  // Sweeps 0..31 over and over, testing at every position, since the last
  // number may go mid-sweep. Each number is taken once: k never passes 32.
  std::size_t k = 0;
  for (std::size_t i = 0; AnyPositive(work); i = (i + 1) % kCount) {
    const std::int16_t value = work.entry[i];
    if (value > 0 && IsLargest(work, value)) {
      buffer.entry[k++] = value;
      work.entry[i] = 0;
    }
    if (!pump.HandlePending()) return false;
  }

  for (std::size_t i = 0; i < kCount; ++i) work.entry[i] = 0;
  std::size_t m = 0;
  for (std::size_t b = kCount; b-- > 0;) {
    if (buffer.entry[b] > 0) work.entry[m++] = buffer.entry[b];
  }
  return true;
}
