#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "listing/Pane.h"

// A pane backed by a multi-line edit control. Unicode throughout, so that text
// a user typed in any script survives a read-append-replace cycle.
class EditPane : public Pane {
 public:
  // Takes over the edit control; false if that failed.
  bool Attach(HWND edit);

  std::wstring Text() const override;
  void SetText(const std::wstring& text) override;
  void SetCaret(std::size_t pos) override;
  void BeginUpdate() override;
  void EndUpdate() override;

 private:
  HWND edit_ = nullptr;
  int updates_ = 0;      // BeginUpdate calls not yet ended
  bool hidden_ = false;  // hidden from painting by the outermost BeginUpdate
};
