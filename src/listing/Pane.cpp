// The rules for writing into a pane.
#include "listing/Pane.h"

#include <charconv>

void Clear(Pane& pane) {
  pane.SetText(L"");
}

void Append(Pane& pane, std::wstring_view text) {
  std::wstring whole = pane.Text();
  whole.append(text);
  pane.SetText(whole);
}

std::wstring DeviceEntry(int number) {
  // Plain decimal digits with a minus sign where needed, no grouping.
  char digits[12];
  char* end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  return std::wstring(digits, end) + L", ";
}

void AppendFailureNotice(Pane& pane) {
  Append(pane, L"function call failed\r\n\r\n");
}

void ScrollToEnd(Pane& pane, std::string_view command) {
  if (command != "down" && command != "end") return;
  pane.SetCaret(pane.Text().size());
}
