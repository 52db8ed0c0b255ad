#include "listing/Pane.h"

void Append(Pane& pane, std::initializer_list<std::wstring_view> pieces) {
  std::wstring text = pane.Text();
  for (std::wstring_view piece : pieces) text.append(piece);
  pane.SetText(text);
}

void AppendDeviceEntry(Pane& pane, int number) {
  Append(pane, {std::to_wstring(number), L", "});
}

void AppendFailureNotice(Pane& pane) {
  Append(pane, {L"function call failed", L"\r\n", L"\r\n"});
}

void ScrollToEnd(Pane& pane, std::string_view command) {
  if (command != "down" && command != "end") return;
  pane.SetCaret(pane.Text().size());
}
