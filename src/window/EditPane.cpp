#include "window/EditPane.h"

#include <commctrl.h>

namespace {

LRESULT CALLBACK PaneProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR) {
  // In dialog mode a multi-line edit posts WM_CLOSE to its parent on Esc.
  if ((message == WM_KEYDOWN || message == WM_CHAR) && wParam == VK_ESCAPE) return 0;
  if (message == WM_NCDESTROY) RemoveWindowSubclass(edit, PaneProc, id);
  return DefSubclassProc(edit, message, wParam, lParam);
}

}  // namespace

bool EditPane::Attach(HWND edit) {
  edit_ = edit;
  return SetWindowSubclass(edit, PaneProc, 0, 0) != FALSE;
}

std::wstring EditPane::Text() const {
  const int length = GetWindowTextLengthW(edit_);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(edit_, &text[0], length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

void EditPane::SetText(const std::wstring& text) {
  SetWindowTextW(edit_, text.c_str());
}

void EditPane::SetCaret(std::size_t pos) {
  SendMessageW(edit_, EM_SETSEL, pos, static_cast<LPARAM>(pos));
  SendMessageW(edit_, EM_SCROLLCARET, 0, 0);
}

void EditPane::BeginUpdate() {
  // Nested updates change nothing: the outermost pair hides and shows.
  if (updates_++ > 0) return;
  // Past the edit control, which may ignore WM_SETREDRAW (Wine's does):
  // DefWindowProc clears WS_VISIBLE, so neither the text nor the scroll bar
  // paints until EndUpdate. A pane hidden already stays as it is.
  hidden_ = (GetWindowLongW(edit_, GWL_STYLE) & WS_VISIBLE) != 0;
  if (hidden_) DefWindowProcW(edit_, WM_SETREDRAW, FALSE, 0);
}

void EditPane::EndUpdate() {
  if (updates_ == 0 || --updates_ > 0 || !hidden_) return;
  hidden_ = false;
  DefWindowProcW(edit_, WM_SETREDRAW, TRUE, 0);
  // The frame too: the scroll bar changed with the text.
  RedrawWindow(edit_, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE);
}
