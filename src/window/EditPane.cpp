// The edit control behind a pane, and its subclass.
#include "window/EditPane.h"

#include "window/OwnFaults.h"

LRESULT CALLBACK EditPane::PaneProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
  return AsOwnCode([=] {
    const auto* pane = reinterpret_cast<const EditPane*>(GetWindowLongPtrW(edit, GWLP_USERDATA));
    const WNDPROC original = pane->original_;
    // In dialog mode a multi-line edit posts WM_CLOSE to its parent on Esc.
    if ((message == WM_KEYDOWN || message == WM_CHAR) && wParam == VK_ESCAPE) return LRESULT{0};
    if (message == WM_GETOBJECT) pane->names_->Annotate();
    if (message == WM_NCDESTROY) {
      SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
      SetWindowLongPtrW(edit, GWLP_USERDATA, 0);
    }
    return CallWindowProcW(original, edit, message, wParam, lParam);
  });
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
