// Owners of Win32 resources that release them when they go, in the manner of
// WIL's unique_any: every path, early returns included, releases each once.
#pragma once

#include <windows.h>

#include <utility>

// Owns one handle and releases it with Release; moves, never copies.
template <typename Handle, auto Release>
class Unique {
 public:
  Unique() = default;
  explicit Unique(Handle handle) : handle_(handle) {}
  ~Unique() { reset(); }
  Unique(Unique&& other) noexcept : handle_(other.release()) {}
  Unique& operator=(Unique&& other) noexcept {
    reset(other.release());
    return *this;
  }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Handle{}; }
  // Gives the handle up without releasing it.
  Handle release() { return std::exchange(handle_, Handle{}); }
  void reset(Handle handle = Handle{}) {
    if (handle_ != Handle{} && handle_ != handle) Release(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_{};
};

inline void ReleaseReservation(void* base) {
  VirtualFree(base, 0, MEM_RELEASE);
}

using UniqueIcon = Unique<HICON, &DestroyIcon>;
using UniqueFont = Unique<HFONT, &DeleteObject>;
// Address space reserved with VirtualAlloc, released as a whole.
using UniqueReservation = Unique<void*, &ReleaseReservation>;

inline void ReleaseScreenDC(HDC dc) {
  ReleaseDC(nullptr, dc);
}
// The screen's device context: ScreenDC screen(GetDC(nullptr)).
using ScreenDC = Unique<HDC, &ReleaseScreenDC>;
