// One of the window's two text panes as the listings see it, and the rules for writing into one.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class Pane {
 public:
  virtual ~Pane() = default;

  virtual std::wstring Text() const = 0;
  // Replacing the text leaves the caret at the start of the pane.
  virtual void SetText(const std::wstring& text) = 0;
  // Puts the caret at pos with an empty selection and scrolls it into view.
  virtual void SetCaret(std::size_t pos) = 0;
};

// Empties the pane, which shows it at its next repaint.
void Clear(Pane& pane);

// One append cycle: read the whole text, put the new text after it, replace
// it. Whatever the user typed meanwhile stays in front.
void Append(Pane& pane, std::wstring_view text);

// A device entry: the number in decimal followed by ", ".
std::wstring DeviceEntry(int number);

// "function call failed" and two line breaks, in one cycle.
void AppendFailureNotice(Pane& pane);

// "down" and "end" (exactly, case-sensitive) put the caret after the last
// character; any other command does nothing.
void ScrollToEnd(Pane& pane, std::string_view command);
