#include "listing/Pane.h"

void Clear(Pane& pane) {
  PaneUpdate update(pane);
  pane.SetText(L"");
}

void Append(Pane& pane, std::initializer_list<std::wstring_view> pieces) {
  std::wstring text = pane.Text();
  for (std::wstring_view piece : pieces) text.append(piece);
  pane.SetText(text);
}

namespace {

// Plain decimal digits with a minus sign where needed, no grouping.
std::wstring Decimal(int number) {
  wchar_t digits[12];
  wchar_t* end = digits + 12;
  wchar_t* p = end;
  unsigned magnitude = number < 0 ? 0u - static_cast<unsigned>(number) : static_cast<unsigned>(number);
  do {
    *--p = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (number < 0) *--p = L'-';
  return std::wstring(p, end);
}

}  // namespace

void AppendDeviceEntry(Pane& pane, int number) {
  Append(pane, {Decimal(number), L", "});
}

void AppendFailureNotice(Pane& pane) {
  Append(pane, {L"function call failed", L"\r\n", L"\r\n"});
}

void ScrollToEnd(Pane& pane, std::string_view command) {
  if (command != "down" && command != "end") return;
  pane.SetCaret(pane.Text().size());
}
