#pragma once

#include <windows.h>

#include <cstddef>

struct IAccPropServices;

// Names that a screen reader can say for controls whose visible captions it
// would spell letter by letter, set by dynamic annotation. The accessibility
// runtime (COM and oleacc) loads only when the first accessibility request
// reaches the program or a screen reader is announced, so a start without
// one costs nothing.
class AccessibleNames {
 public:
  AccessibleNames() = default;
  AccessibleNames(const AccessibleNames&) = delete;
  AccessibleNames& operator=(const AccessibleNames&) = delete;

  // Gives the control its name once annotation starts, and watches it for
  // accessibility requests. False if it cannot be watched.
  bool Add(HWND control, const wchar_t* name);

  // Sets every name, the first time it is called; the program carries on
  // unchanged where the system cannot annotate.
  void Annotate();

  // Takes the names off while the controls still exist.
  void Clear();

  static bool ScreenReaderAnnounced();

 private:
  struct Entry {
    HWND control;
    const wchar_t* name;
  };

  Entry entries_[4] = {};
  std::size_t count_ = 0;
  bool tried_ = false;
  IAccPropServices* services_ = nullptr;
};
