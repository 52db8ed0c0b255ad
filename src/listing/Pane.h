#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

// One of the window's two text panes, reduced to what the listings do with it.
class Pane {
 public:
  virtual ~Pane() = default;

  virtual std::wstring Text() const = 0;
  // Replacing the text leaves the caret at the start of the pane.
  virtual void SetText(const std::wstring& text) = 0;
  // Puts the caret at pos with an empty selection and scrolls it into view.
  virtual void SetCaret(std::size_t pos) = 0;
  // Between the two the pane changes without repainting; it repaints once at
  // the end. Nothing may yield to the window in between.
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;
};

// Changes to a pane that it shows at once, when the scope ends.
class PaneUpdate {
 public:
  explicit PaneUpdate(Pane& pane) : pane_(pane) { pane_.BeginUpdate(); }
  ~PaneUpdate() { pane_.EndUpdate(); }
  PaneUpdate(const PaneUpdate&) = delete;
  PaneUpdate& operator=(const PaneUpdate&) = delete;

 private:
  Pane& pane_;
};

// Empties the pane, which shows it at its next repaint.
void Clear(Pane& pane);

// One append cycle: read the whole text, put the pieces after it, replace it.
void Append(Pane& pane, std::initializer_list<std::wstring_view> pieces);

// A device entry: the number in decimal followed by ", ".
void AppendDeviceEntry(Pane& pane, int number);

// "function call failed" and two line breaks.
void AppendFailureNotice(Pane& pane);

// "down" and "end" (exactly, case-sensitive) put the caret after the last
// character; any other command does nothing.
void ScrollToEnd(Pane& pane, std::string_view command);
