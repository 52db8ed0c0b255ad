// A pane of the window: a multi-line edit control behind the listings' Pane.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "listing/Pane.h"
#include "window/AccessibleNames.h"

// Unicode throughout, so that text a user typed in any script survives a
// read-append-replace cycle.
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

 private:
  // A classic subclass: every text operation of a listing passes through it,
  // and it costs less than the common controls' chain (no property lookup).
  static LRESULT CALLBACK PaneProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam);

  HWND edit_ = nullptr;
  WNDPROC original_ = nullptr;
  AccessibleNames* names_ = nullptr;
};
