#include "window/EditPane.h"

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
