// The ordering pass: its order, its yields, and an end in the middle.
#include <algorithm>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "listing/OrderingPass.h"
#include "Fakes.h"

namespace {

std::vector<int> Examined(const DeviceTable& t) {
  return std::vector<int>(t.entry, t.entry + DeviceTable::kExamined);
}

std::vector<int> Padded(std::vector<int> numbers) {
  numbers.resize(DeviceTable::kExamined, 0);
  return numbers;
}

std::vector<int> LastOnly(int number) {
  std::vector<int> v(DeviceTable::kExamined, 0);
  v.back() = number;
  return v;
}

std::string Show(const std::vector<int>& v) {
  std::ostringstream out;
  for (int n : v) out << n << ' ';
  return out.str();
}

// Entries 32 of the list and of the buffer stay as they were: neither is part
// of the list or scratch space. A window that goes ends the pass at that yield.
TEST(OrderingPass, KnownListsGiveTheirOrderAndYieldCount) {
  struct Case {
    const char* what;
    std::vector<int> work;
    std::vector<int> ordered;
    std::size_t yields;
    std::size_t goneAt = 0;  // the yield that reports the window gone; 0: none
  };
  const Case cases[] = {
      {"empty list ends at the first exit test", {}, {}, 0},
      {"largest last: a full sweep, then two", {5, 3, 9}, {3, 5, 9}, 34},
      {"already descending: one sweep takes all", {9, 5, 3}, {3, 5, 9}, 3},
      {"equal values both taken in one sweep", {7, 7, 2}, {2, 7, 7}, 3},
      {"zeros between numbers dropped", {0, 0, 12, 0, 3, 0, 3}, {3, 3, 12}, 7},
      {"negatives count as empty", {-4, 6, -32768, 2}, {2, 6}, 4},
      {"one number in the last position", LastOnly(4), {4}, 32},
      {"32 descending numbers", Range(32, 1, -1), Range(1, 32), 32},
      {"32 ascending numbers", Range(1, 32), Range(1, 32), 993},
      {"extremes", {32767, 1, 32767, 1}, {1, 1, 32767, 32767}, 34},
      {"the window goes: no yield after", {5, 3, 9}, {}, 4, 4},
  };
  for (const Case& c : cases) {
    DeviceTable work = MakeTable(c.work);
    work.entry[32] = 1000;
    DeviceTable buffer = MakeTable({9, 9, 9});
    buffer.entry[32] = -77;
    FakePump pump;
    pump.onYield = [&](std::size_t n) { return n != c.goneAt; };
    EXPECT_EQ(OrderAscending(work, buffer, pump), c.goneAt == 0) << c.what;
    if (c.goneAt == 0) {
      EXPECT_EQ(Examined(work), Padded(c.ordered)) << c.what << ": input " << Show(c.work);
    }
    EXPECT_EQ(pump.yields, c.yields) << c.what << ": input " << Show(c.work);
    EXPECT_EQ(work.entry[32], 1000) << c.what << ": entry 32 of the list";
    EXPECT_EQ(buffer.entry[32], -77) << c.what << ": entry 32 of the buffer";
  }
}

// Random lists from a fixed seed against a plain sort; the yield count stays
// within 32 per number plus the last partial sweep.
TEST(OrderingPass, AgreesWithSortOnRandomLists) {
  std::mt19937 random(20261208);
  std::uniform_int_distribution<int> value(-32768, 32767);
  std::uniform_int_distribution<int> small(-3, 40);
  std::uniform_int_distribution<int> kind(0, 3);
  // Lists of four shapes: anything, many duplicates and zeros, sparse, mostly empty.
  auto draw = [&](int shape) {
    if (shape == 0) return value(random);
    if (shape == 1) return small(random);
    if (shape == 2) return value(random) > 16000 ? value(random) : 0;
    return std::max(0, small(random) - 30);
  };
  for (int round = 0; round < 100000; ++round) {
    std::vector<int> input(DeviceTable::kExamined);
    const int shape = kind(random);
    for (int& n : input) n = draw(shape);
    std::vector<int> expected;
    for (int n : input) {
      if (n > 0) expected.push_back(n);
    }
    std::sort(expected.begin(), expected.end());

    DeviceTable work = MakeTable(input);
    DeviceTable buffer;
    FakePump pump;
    ASSERT_TRUE(OrderAscending(work, buffer, pump));
    ASSERT_EQ(Examined(work), Padded(expected)) << "round " << round << ": input " << Show(input);
    ASSERT_LE(pump.yields, 32 * expected.size() + 31) << "round " << round << ": input " << Show(input);
  }
}

}  // namespace
