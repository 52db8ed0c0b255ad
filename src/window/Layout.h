// The window's design and what it takes at a given DPI: positions, frame,
// fonts, icons and the place on the screen. Every size of the design is in
// twips (1440 make an inch at any DPI) until TwipsToPixels converts it.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>

#include "window/Scoped.h"

int TwipsToPixels(int twips, int dpi);

// Which font a control takes.
enum class FontRole {
  kMessage,  // the user's message font as it is
  kLabel,    // the same, as large as both label captions allow
  kButton,   // the same, as large as the button's caption allows
};

struct ControlLayout {
  int id;
  const wchar_t* className;
  const wchar_t* text;
  DWORD style;
  DWORD exStyle;
  int left, top, width, height;  // in the client area
  int textInset;                 // between the control's edge and its caption
  FontRole font;
  const wchar_t* accessibleName;  // what a screen reader says instead of the spaced-out caption
};

// The controls in screen order, each label before its pane, so that without
// annotations a pane takes its label's text as its name.
constexpr std::size_t kControlCount = 5;
extern const ControlLayout kControls[kControlCount];

extern const wchar_t kCaption[];
extern const DWORD kFrameStyle;

// The control's rectangle in the client area at the DPI.
RECT ControlRect(const ControlLayout& control, int dpi);
// The window's outer size for the design's client area at the DPI.
SIZE FrameSize(int dpi);
// Centred in the work area (the screen without the taskbar) of the monitor
// that holds the mouse pointer, where a user of several monitors looks.
POINT CentredOnPointerMonitor(SIZE frame);

int SystemDpi();
// The DPI the window is drawn at: its monitor's where Windows scales per
// monitor (Windows 10 1703 and later), the system's elsewhere.
int WindowDpi(HWND window);
// A system metric (SM_CXICON, ...) at the DPI.
int MetricForDpi(int metric, int dpi);

// The fonts of the controls at one DPI, deleted with their owner.
class ControlFonts {
 public:
  // Makes the fonts from the user's message font at the DPI, once; false if
  // any of them could not be made.
  bool Create(int dpi);
  // Made at the DPI from the message font the user has set now.
  bool Current(int dpi) const;
  HFONT For(FontRole role) const;

 private:
  std::array<UniqueFont, 3> fonts_;
  int dpi_ = 0;
  LOGFONTW message_ = {};  // what they were made from
};
