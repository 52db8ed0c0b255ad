// Names a screen reader can say for controls whose captions it would spell
// letter by letter, set by dynamic annotation. The accessibility runtime (COM
// and oleacc) loads only when the first accessibility request reaches the
// program or a screen reader is announced: a start without one costs nothing.
#pragma once

#include <windows.h>

#include <cstddef>

class AccessibleNames {
 public:
  // Gives the control its name once annotation starts. A control that passes
  // on its accessibility requests itself (to Annotate) is not watched; any
  // other is, and false means that it cannot be.
  bool Add(HWND control, const wchar_t* name, bool watch);

  // Every control is added: a request that came earlier is served now.
  void Ready();
  // Sets every name, once, as soon as every control exists; the program
  // carries on unchanged where the system cannot annotate.
  void Annotate();
  // Takes the names off while the controls still exist.
  void Clear();

  static bool ScreenReaderAnnounced();

 private:
  // Sets or takes off every name.
  void SetNames(bool set);

  struct Entry {
    HWND control;
    const wchar_t* name;
  };

  Entry entries_[4] = {};
  std::size_t count_ = 0;
  bool ready_ = false;
  bool wanted_ = false;
  bool named_ = false;
};
