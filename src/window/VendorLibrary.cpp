#include "window/VendorLibrary.h"

std::uint32_t VendorLibrary::GetRegDevList(DeviceTable& table) {
  if (!bound_) {
    bound_ = true;
    // Never freed: the library stays loaded until the process ends.
    HMODULE module = LoadLibraryA(fileName_);
    FARPROC found = module ? GetProcAddress(module, "SP_GetRegDevList") : nullptr;
    // Through the generic function pointer type, the cast that compilers accept quietly.
    entry_ = reinterpret_cast<EntryPoint>(reinterpret_cast<void (*)()>(found));
  }
  if (!entry_) return 0;
  return entry_(table.entry, 0);
}
