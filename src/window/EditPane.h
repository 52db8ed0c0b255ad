#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "listing/Pane.h"
#include "window/AccessibleNames.h"

// A pane backed by a multi-line edit control. Unicode throughout, so that text
// a user typed in any script survives a read-append-replace cycle.
class EditPane : public Pane {
 public:
  EditPane() = default;
  EditPane(const EditPane&) = delete;
  EditPane& operator=(const EditPane&) = delete;

  // Takes over the edit control, with the one subclass it gets: accessibility
  // requests to it start the names' annotation. False if that failed.
  bool Attach(HWND edit, AccessibleNames& names);

  std::wstring Text() const override;
  void SetText(const std::wstring& text) override;
  void SetCaret(std::size_t pos) override;
  void BeginUpdate() override;
  void EndUpdate() override;

 private:
  // A classic subclass: every text operation of a listing passes through it,
  // and it costs less than the common controls' chain (no property lookup).
  static LRESULT CALLBACK PaneProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam);

  HWND edit_ = nullptr;
  WNDPROC original_ = nullptr;
  AccessibleNames* names_ = nullptr;
  int updates_ = 0;      // BeginUpdate calls not yet ended
  bool hidden_ = false;  // hidden from painting by the outermost BeginUpdate
};
