// The three listings against the stand-ins: what each pane shows, and in what steps.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "listing/Listings.h"
#include "Fakes.h"

namespace {

const std::wstring kNotice = L"function call failed\r\n\r\n";

DeviceTable Filled(int value, int entry32) {
  DeviceTable t;
  for (std::size_t i = 0; i < DeviceTable::kExamined; ++i) t.entry[i] = static_cast<std::int16_t>(value);
  t.entry[32] = static_cast<std::int16_t>(entry32);
  return t;
}

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
    upper.text = L"typed above";
    lower.text = L"typed below";
    library.tables = {table};
    library.results = {};
    library.calls = 0;
  }
};

struct TableCase {
  const char* what;
  DeviceTable table;
  std::wstring upper;
  std::wstring lower;
};

TEST_F(ListingsTest, ButtonListsConnectedAboveAndDisconnectedBelow) {
  DeviceTable only32;
  only32.entry[32] = 5;
  DeviceTable full = Filled(0, 33);
  for (std::size_t i = 0; i < 32; ++i) full.entry[i] = static_cast<std::int16_t>(32 - i);
  const TableCase cases[] = {
      {"unordered", MakeTable({5, 3, 9}), Entries({3, 5, 9}), L""},
      {"duplicates kept", MakeTable({7, 7, 2}), Entries({2, 7, 7}), L""},
      {"gaps and a negative", MakeTable({0, 0, 12, 0, -5, 3, 0, 3}), Entries({3, 3, 12}), Entries({32763})},
      {"both kinds", MakeTable({4, -32767, -32765, 2}), Entries({2, 4}), Entries({1, 3})},
      {"nothing reported", DeviceTable{}, L"", L""},
      {"only entry 32", only32, L"", L""},
      {"32 numbers, a 33rd in entry 32", full, Entries(Range(1, 32)), L""},
      {"extremes", MakeTable({32767, 1, -1, -32768, 0, 32767}), Entries({1, 32767, 32767}), Entries({32767})},
  };
  for (const TableCase& c : cases) {
    Reset(c.table);
    listings.ListBoth();
    EXPECT_EQ(upper.text, c.upper) << c.what;
    EXPECT_EQ(lower.text, c.lower) << c.what;
    EXPECT_EQ(library.calls, 2u) << c.what << ": one call per listing";
    EXPECT_EQ(upper.caret, 0u) << c.what << ": a successful listing shows the start";
    EXPECT_TRUE(libOk) << c.what;
  }
}

TEST_F(ListingsTest, DisconnectedListingMasksOrdersAndDropsZero) {
  const TableCase cases[] = {
      {"mixed", MakeTable({5, -32765, -32759}), L"", Entries({3, 9})},
      {"repeats", MakeTable({-32763, -32766, -32763, 7, -32766}), L"", Entries({2, 2, 5, 5})},
      {"nothing reported", DeviceTable{}, L"", L""},
      {"number 0 never shown", MakeTable({-32768, -32764, -32768}), L"", Entries({4})},
      {"-1 is device 32767", MakeTable({-1, -32468}), L"", Entries({300, 32767})},
      {"32 equal, entry 32 ignored", Filled(-32761, -32767), L"", Entries(std::vector<int>(32, 7))},
  };
  for (const TableCase& c : cases) {
    Reset(c.table);
    listings.ListDisconnected();
    EXPECT_EQ(lower.text, c.lower) << c.what;
    EXPECT_EQ(upper.text, L"typed above") << c.what << ": upper pane untouched";
    EXPECT_EQ(library.calls, 1u) << c.what;
  }
}

TEST_F(ListingsTest, CombinedListingAppendsToBothPanes) {
  DeviceTable split;
  for (int i = 0; i < 16; ++i) split.entry[i] = static_cast<std::int16_t>(-32751 + i);
  for (int i = 16; i < 32; ++i) split.entry[i] = static_cast<std::int16_t>(32 - i);
  const TableCase cases[] = {
      {"mixed", MakeTable({5, -32765, 3, -32759}), Entries({3, 5}), Entries({3, 9})},
      {"duplicates", MakeTable({7, 2, 7, -32766, -32766}), Entries({2, 7, 7}), Entries({2, 2})},
      {"lower in table order, 0 shown", MakeTable({-32768, -1, 32767, 1, -32767}), Entries({1, 32767}),
       Entries({0, 32767, 1})},
      {"sixteen of each", split, Entries(Range(1, 16)), Entries(Range(17, 32))},
      {"nothing reported", DeviceTable{}, L"", L""},
  };
  for (const TableCase& c : cases) {
    Reset(c.table);
    listings.ListCombined();
    EXPECT_EQ(upper.text, L"typed above" + c.upper) << c.what << ": typed text stays in front";
    EXPECT_EQ(lower.text, L"typed below" + c.lower) << c.what << ": typed text stays in front";
    EXPECT_EQ(library.calls, 1u) << c.what;
  }
}

// Each pane is cleared in one replace and written in one more, so that it
// repaints once; the failure notice and the caret come as before.
TEST_F(ListingsTest, EachListIsOneReplace) {
  const auto both = &Listings::ListBoth;
  const struct {
    const char* what;
    void (Listings::*run)();
    DeviceTable table;
    std::uint32_t secondResult;
    const char* steps;
  } cases[] = {
      {"the button", both, MakeTable({5, -32765, 3}), 1,
       "upper cleared, library, lower cleared, library, lower written, upper written"},
      {"combined: the lower pane first, nothing cleared", &Listings::ListCombined, MakeTable({5, -32765, 3, -32759}), 1,
       "library, lower written, upper written"},
      {"nothing to write above", both, MakeTable({-32765}), 1,
       "upper cleared, library, lower cleared, library, lower written"},
      {"a failure notice below", both, MakeTable({3}), 0,
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
  const auto both = &Listings::ListBoth;
  const auto disconnected = &Listings::ListDisconnected;
  const auto combined = &Listings::ListCombined;
  const Case cases[] = {
      {"button, first call fails", {0}, both, kNotice, L"typed below", 1, false, 24},
      {"button, low byte 0", {0x100}, both, kNotice, L"typed below", 1, false, 24},
      {"button, second call fails", {1, 0}, both, Entries({3}), kNotice, 2, false, 0},
      {"button, second call's result is kept", {0, 1}, both, kNotice, L"typed below", 1, false, 24},
      {"button, non-zero low bytes", {0x101, 0x380}, both, Entries({3}), Entries({4}), 2, true, 0},
      {"disconnected fails, caret moves above", {0}, disconnected, L"typed above", kNotice, 1, false, 11},
      {"combined fails, nothing cleared", {0}, combined, L"typed above" + kNotice, L"typed below", 1, false, 35},
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

  listings.ListBoth();
  EXPECT_EQ(library.calls, 4u) << "a click after the run is served";
  EXPECT_EQ(upper.text, Entries({5, 9}));
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
      {"button, while the library is busy", &Listings::ListBoth, 1, L"typed below", 1},
      {"button, while the library is busy a second time", &Listings::ListBoth, 2, L"", 2},
      {"button, while ordering the lower list", &Listings::ListBoth, 3, L"", 2},
      {"button, while ordering the upper list", &Listings::ListBoth, 5, Entries({1, 3}), 2},
      {"disconnected listing", &Listings::ListDisconnected, 2, L"", 1},
      {"combined listing, while the library is busy", &Listings::ListCombined, 1, L"typed below", 1},
      {"combined listing", &Listings::ListCombined, 2, L"typed below" + Entries({3, 1}), 1},
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
