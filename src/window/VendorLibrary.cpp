#include "window/VendorLibrary.h"

#include <algorithm>

namespace {

constexpr std::size_t kLandingBytes = VendorLibrary::kLandingEntries * sizeof(std::int16_t);

}  // namespace

std::uint32_t VendorLibrary::GetRegDevList(DeviceTable& table) {
  if (!bound_) {
    bound_ = true;
    // Never freed: the library stays loaded until the process ends.
    HMODULE module = LoadLibraryA(fileName_);
    FARPROC found = module ? GetProcAddress(module, "SP_GetRegDevList") : nullptr;
    // Through the generic function pointer type, the cast that compilers accept quietly.
    entry_ = reinterpret_cast<EntryPoint>(reinterpret_cast<void (*)()>(found));
    // A region of its own: what lies behind the page is not mapped, so a write
    // past the room faults rather than corrupting the program.
    landing_ =
        static_cast<std::int16_t*>(VirtualAlloc(nullptr, kLandingBytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  }
  if (!entry_ || !landing_) return 0;
  std::fill(landing_, landing_ + kLandingEntries, std::int16_t{0});
  const std::uint32_t result = entry_(landing_, 0);
  std::copy(landing_, landing_ + DeviceTable::kEntries, table.entry);
  return result;
}
