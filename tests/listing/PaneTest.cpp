// The rules for writing into a pane, and what counts as a library's success.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "listing/DeviceLibrary.h"
#include "listing/Pane.h"
#include "Fakes.h"

namespace {

class PaneTest : public ::testing::Test {
 protected:
  std::vector<std::string> log;
  FakePane pane{"pane", log};
};

TEST_F(PaneTest, DeviceEntryIsAppendedToWhateverThePaneHolds) {
  struct Case {
    const char* what;
    std::wstring before;
    int number;
    std::wstring after;
  };
  const Case cases[] = {
      {"empty pane", L"", 3, L"3, "},
      {"after an entry", L"3, ", 12, L"3, 12, "},
      {"largest number", L"", 32767, L"32767, "},
      {"number 0 from a masked -32768", L"", 0, L"0, "},
      {"negative numbers keep their sign", L"", -32768, L"-32768, "},
      {"typed text without separator", L"typed", 7, L"typed7, "},
      {"typed line break kept", L"a\r\nb", 1, L"a\r\nb1, "},
      {"text in other scripts kept", L"\u00e9\u4e2d\u0416\u03a9", 5, L"\u00e9\u4e2d\u0416\u03a95, "},
  };
  for (const Case& c : cases) {
    pane.text = c.before;
    Append(pane, DeviceEntry(c.number));
    EXPECT_EQ(pane.text, c.after) << c.what;
    EXPECT_EQ(pane.caret, 0u) << c.what << ": a replace leaves the caret at the start";
  }
}

TEST_F(PaneTest, ScrollCommandMatchesExactly) {
  struct Case {
    const char* command;
    bool moves;
    std::wstring text = L"function call failed\r\n\r\n";
  };
  const Case cases[] = {
      {"down", true},   {"end", true}, {"Down", false}, {"END", false}, {" down", false},    {"down ", false},
      {"end\n", false}, {"", false},   {"dow", false},  {"up", false},  {"down", true, L""},
  };
  for (const Case& c : cases) {
    pane.text = c.text;
    pane.caret = 5;
    ScrollToEnd(pane, c.command);
    EXPECT_EQ(pane.caret, c.moves ? c.text.size() : 5u)
        << "command \"" << c.command << "\", " << c.text.size() << " characters";
  }
}

TEST(LibraryResult, OnlyTheLowEightBitsCount) {
  struct Case {
    std::uint32_t raw;
    bool ok;
  };
  const Case cases[] = {{0, false},    {1, true},       {0xFF, true},         {0x100, false},
                        {0x101, true}, {0x8000, false}, {0xFFFFFF00u, false}, {0xFFFFFFFFu, true}};
  for (const Case& c : cases) {
    EXPECT_EQ(LibraryCallSucceeded(c.raw), c.ok) << "raw result 0x" << std::hex << c.raw;
  }
}

}  // namespace
