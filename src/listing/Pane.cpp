// The rules for writing into a pane.
#include "listing/Pane.h"

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
  wchar_t digits[14];
  wchar_t* end = digits + 14;
  wchar_t* p = end;
  *--p = L' ';
  *--p = L',';
  unsigned magnitude = number < 0 ? 0u - static_cast<unsigned>(number) : static_cast<unsigned>(number);
  do {
    *--p = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (number < 0) *--p = L'-';
  return std::wstring(p, end);
}

void AppendFailureNotice(Pane& pane) {
  Append(pane, L"function call failed\r\n\r\n");
}

void ScrollToEnd(Pane& pane, std::string_view command) {
  if (command != "down" && command != "end") return;
  pane.SetCaret(pane.Text().size());
}
