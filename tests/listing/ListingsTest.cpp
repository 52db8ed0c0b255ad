// The three listings against the stand-ins: what each pane shows, and in what steps.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "listing/Listings.h"
#include "Fakes.h"

namespace {

const std::wstring kNotice = L"function call failed\r\n\r\n";
const std::wstring kAbove = L"typed above", kBelow = L"typed below";  // in the panes before each listing
constexpr auto kBoth = &Listings::ListBoth;
constexpr auto kDisconnected = &Listings::ListDisconnected;
constexpr auto kCombined = &Listings::ListCombined;

class ListingsTest : public ::testing::Test {
 protected:
  std::vector<std::string> log;
  FakePane upper{"upper", log};
  FakePane lower{"lower", log};
  FakeLibrary library{log};
  FakePump pump;
  bool libOk = false;
  Listings listings{upper, lower, library, pump, libOk};

  void Reset(const DeviceTable& table) {
    log.clear();
    upper.text = kAbove;
    lower.text = kBelow;
    library.tables = {table};
    library.results = {};
    library.calls = 0;
  }
};

// What each listing shows of a table after what was typed into the panes:
// the button and the disconnected listing order the numbers and replace what
// they list into, the combined listing appends the lower list in table order.
TEST_F(ListingsTest, EachListingShowsItsTable) {
  DeviceTable only32;
  only32.entry[32] = 5;
  DeviceTable full = MakeTable(Range(32, 1, -1));
  full.entry[32] = 33;
  DeviceTable equal = MakeTable(std::vector<int>(32, -32761));
  equal.entry[32] = -32767;
  DeviceTable split;
  for (int i = 0; i < 16; ++i) split.entry[i] = static_cast<std::int16_t>(-32751 + i);
  for (int i = 16; i < 32; ++i) split.entry[i] = static_cast<std::int16_t>(32 - i);
  const struct {
    const char* what;
    void (Listings::*run)();
    DeviceTable table;
    std::wstring upper, lower;
  } cases[] = {
      {"button, unordered", kBoth, MakeTable({5, 3, 9}), Entries({3, 5, 9}), L""},
      {"button, duplicates kept", kBoth, MakeTable({7, 7, 2}), Entries({2, 7, 7}), L""},
      {"button, gaps and a negative", kBoth, MakeTable({0, 0, 12, 0, -5, 3, 0, 3}), Entries({3, 3, 12}),
       Entries({32763})},
      {"button, both kinds", kBoth, MakeTable({4, -32767, -32765, 2}), Entries({2, 4}), Entries({1, 3})},
      {"button, nothing reported", kBoth, DeviceTable{}, L"", L""},
      {"button, only entry 32", kBoth, only32, L"", L""},
      {"button, 32 numbers, a 33rd in entry 32", kBoth, full, Entries(Range(1, 32)), L""},
      {"button, extremes", kBoth, MakeTable({32767, 1, -1, -32768, 0, 32767}), Entries({1, 32767, 32767}),
       Entries({32767})},
      {"disconnected, mixed", kDisconnected, MakeTable({5, -32765, -32759}), kAbove, Entries({3, 9})},
      {"disconnected, repeats", kDisconnected, MakeTable({-32763, -32766, -32763, 7, -32766}), kAbove,
       Entries({2, 2, 5, 5})},
      {"disconnected, nothing reported", kDisconnected, DeviceTable{}, kAbove, L""},
      {"disconnected, number 0 never shown", kDisconnected, MakeTable({-32768, -32764, -32768}), kAbove, Entries({4})},
      {"disconnected, -1 is device 32767", kDisconnected, MakeTable({-1, -32468}), kAbove, Entries({300, 32767})},
      {"disconnected, 32 equal, entry 32 ignored", kDisconnected, equal, kAbove, Entries(std::vector<int>(32, 7))},
      {"combined, mixed", kCombined, MakeTable({5, -32765, 3, -32759}), kAbove + Entries({3, 5}),
       kBelow + Entries({3, 9})},
      {"combined, duplicates", kCombined, MakeTable({7, 2, 7, -32766, -32766}), kAbove + Entries({2, 7, 7}),
       kBelow + Entries({2, 2})},
      {"combined, lower in table order, 0 shown", kCombined, MakeTable({-32768, -1, 32767, 1, -32767}),
       kAbove + Entries({1, 32767}), kBelow + Entries({0, 32767, 1})},
      {"combined, sixteen of each", kCombined, split, kAbove + Entries(Range(1, 16)), kBelow + Entries(Range(17, 32))},
      {"combined, nothing reported", kCombined, DeviceTable{}, kAbove, kBelow},
  };
  for (const auto& c : cases) {
    Reset(c.table);
    (listings.*c.run)();
    EXPECT_EQ(upper.text, c.upper) << c.what;
    EXPECT_EQ(lower.text, c.lower) << c.what;
    EXPECT_EQ(library.calls, c.run == kBoth ? 2u : 1u) << c.what << ": one call per listing";
    EXPECT_EQ(upper.caret, 0u) << c.what << ": a successful listing shows the start";
    EXPECT_TRUE(libOk) << c.what;
  }
}

// Each pane is cleared in one replace and written in one more, so that it
// repaints once; the failure notice and the caret come as before.
TEST_F(ListingsTest, EachListIsOneReplace) {
  const struct {
    const char* what;
    void (Listings::*run)();
    DeviceTable table;
    std::uint32_t secondResult;
    const char* steps;
  } cases[] = {
      {"the button", kBoth, MakeTable({5, -32765, 3}), 1,
       "upper cleared, library, lower cleared, library, lower written, upper written"},
      {"combined: the lower pane first, nothing cleared", kCombined, MakeTable({5, -32765, 3, -32759}), 1,
       "library, lower written, upper written"},
      {"nothing to write above", kBoth, MakeTable({-32765}), 1,
       "upper cleared, library, lower cleared, library, lower written"},
      {"a failure notice below", kBoth, MakeTable({3}), 0,
       "upper cleared, library, lower cleared, library, lower written, upper caret 0, upper written"},
  };
  for (const auto& c : cases) {
    Reset(c.table);
    library.results = {1, c.secondResult};
    (listings.*c.run)();
    std::string steps;
    for (const std::string& step : log) steps += (steps.empty() ? "" : ", ") + step;
    EXPECT_EQ(steps, c.steps) << c.what;
  }
}

TEST_F(ListingsTest, FailedCallsAreReportedInThePaneOfTheListing) {
  struct Case {
    const char* what;
    std::vector<std::uint32_t> results;
    void (Listings::*run)();
    std::wstring upper;
    std::wstring lower;
    std::size_t calls;
    bool libOk;
    std::size_t upperCaret;
  };
  const Case cases[] = {
      {"button, first call fails", {0}, kBoth, kNotice, kBelow, 1, false, 24},
      {"button, low byte 0", {0x100}, kBoth, kNotice, kBelow, 1, false, 24},
      {"button, second call fails", {1, 0}, kBoth, Entries({3}), kNotice, 2, false, 0},
      {"button, second call's result is kept", {0, 1}, kBoth, kNotice, kBelow, 1, false, 24},
      {"button, non-zero low bytes", {0x101, 0x380}, kBoth, Entries({3}), Entries({4}), 2, true, 0},
      {"disconnected fails, caret moves above", {0}, kDisconnected, kAbove, kNotice, 1, false, 11},
      {"combined fails, nothing cleared", {0}, kCombined, kAbove + kNotice, kBelow, 1, false, 35},
  };
  for (const Case& c : cases) {
    Reset(MakeTable({3, -32764}));
    library.results = c.results;
    upper.caret = 7;
    (listings.*c.run)();
    EXPECT_EQ(upper.text, c.upper) << c.what;
    EXPECT_EQ(lower.text, c.lower) << c.what;
    EXPECT_EQ(library.calls, c.calls) << c.what;
    EXPECT_EQ(libOk, c.libOk) << c.what;
    EXPECT_EQ(upper.caret, c.upperCaret) << c.what;
  }
}

// A click that reaches the window while a listing yields must not start a
// second run, or the outer run would append its numbers after the nested ones.
TEST_F(ListingsTest, RequestsDuringAYieldAreDropped) {
  Reset(MakeTable({5, -32765, 9, -32767}));
  bool sawRunning = false;
  pump.onYield = [&](std::size_t n) {
    if (n == 1) {
      sawRunning = listings.Running();
      listings.ListBoth();
      listings.ListDisconnected();
      listings.ListCombined();
    }
    return true;
  };
  listings.ListBoth();
  EXPECT_TRUE(sawRunning);
  EXPECT_FALSE(listings.Running()) << "the next click must be served";
  EXPECT_EQ(library.calls, 2u) << "no nested run called the library";
  EXPECT_EQ(upper.text, Entries({5, 9}));
  EXPECT_EQ(lower.text, Entries({1, 3}));
}

TEST_F(ListingsTest, ClosingTheWindowDuringAYieldEndsTheListing) {
  struct Case {
    const char* what;
    void (Listings::*run)();
    std::size_t closeAtYield;
    std::wstring lower;
    std::size_t calls;
  };
  // Each call yields once when it returns; the lower list (1, 3) then takes
  // 2 yields, and the upper one (5, 9) starts.
  const Case cases[] = {
      {"button, while the library is busy", kBoth, 1, kBelow, 1},
      {"button, while the library is busy a second time", kBoth, 2, L"", 2},
      {"button, while ordering the lower list", kBoth, 3, L"", 2},
      {"button, while ordering the upper list", kBoth, 5, Entries({1, 3}), 2},
      {"disconnected listing", kDisconnected, 2, L"", 1},
      {"combined listing, while the library is busy", kCombined, 1, kBelow, 1},
      {"combined listing", kCombined, 2, kBelow + Entries({3, 1}), 1},
  };
  for (const Case& c : cases) {
    Reset(MakeTable({5, -32765, 9, -32767}));
    upper.gone = lower.gone = false;
    pump.yields = 0;
    pump.onYield = [&](std::size_t n) {
      if (n < c.closeAtYield) return true;
      upper.gone = lower.gone = true;
      return false;
    };
    (listings.*c.run)();
    EXPECT_EQ(pump.yields, c.closeAtYield) << c.what << ": no yield after the window went";
    EXPECT_EQ(library.calls, c.calls) << c.what << ": no library call after the window went";
    EXPECT_FALSE(listings.Running()) << c.what;
    upper.gone = lower.gone = false;
    EXPECT_EQ(lower.text, c.lower) << c.what;
  }
}

}  // namespace
