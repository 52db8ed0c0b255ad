#include "window/EditPane.h"

LRESULT CALLBACK EditPane::PaneProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto* pane = reinterpret_cast<const EditPane*>(GetWindowLongPtrW(edit, GWLP_USERDATA));
  const WNDPROC original = pane->original_;
  // In dialog mode a multi-line edit posts WM_CLOSE to its parent on Esc.
  if ((message == WM_KEYDOWN || message == WM_CHAR) && wParam == VK_ESCAPE) return 0;
  if (message == WM_GETOBJECT) pane->names_->Annotate();
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    SetWindowLongPtrW(edit, GWLP_USERDATA, 0);
  }
  return CallWindowProcW(original, edit, message, wParam, lParam);
}

bool EditPane::Attach(HWND edit, AccessibleNames& names) {
  edit_ = edit;
  names_ = &names;
  SetWindowLongPtrW(edit, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  original_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PaneProc)));
  return original_ != nullptr;
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
