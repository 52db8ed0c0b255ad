// Stand-ins for the pane, the library and the yield, for the listing tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "listing/DeviceLibrary.h"
#include "listing/OrderingPass.h"
#include "listing/Pane.h"

// A pane that keeps its text and caret like an edit control, logs every
// change, and fails the test if it is touched after its window is gone.
class FakePane : public Pane {
 public:
  FakePane(const char* name, std::vector<std::string>& log) : name_(name), log_(log) {}

  std::wstring Text() const override {
    CheckAlive();
    return text;
  }
  void SetText(const std::wstring& value) override {
    CheckAlive();
    text = value;
    caret = 0;
    log_.push_back(std::string(name_) + (value.empty() ? " cleared" : " written"));
  }
  void SetCaret(std::size_t pos) override {
    CheckAlive();
    caret = pos;
    log_.push_back(std::string(name_) + " caret " + std::to_string(pos));
  }
  std::wstring text;
  std::size_t caret = 0;
  bool gone = false;

 private:
  void CheckAlive() const { EXPECT_FALSE(gone) << name_ << " pane used after its window was destroyed"; }

  const char* name_;
  std::vector<std::string>& log_;
};

// A library that answers successive calls from scripts whose last element
// repeats, as the real one may change between two calls.
class FakeLibrary : public DeviceLibrary {
 public:
  explicit FakeLibrary(std::vector<std::string>& log) : log_(log) {}

  std::uint32_t GetRegDevList(DeviceTable& table) override {
    const std::size_t call = calls++;
    for (std::int16_t e : table.entry) EXPECT_EQ(e, 0) << "call " << call << " got a table that was not zeroed";
    if (!tables.empty()) table = tables[call < tables.size() ? call : tables.size() - 1];
    log_.push_back("library");
    return results.empty() ? 1 : results[call < results.size() ? call : results.size() - 1];
  }

  std::vector<DeviceTable> tables;
  std::vector<std::uint32_t> results;
  std::size_t calls = 0;

 private:
  std::vector<std::string>& log_;
};

// Counts yields; onYield stands for whatever the window does meanwhile.
class FakePump : public EventPump {
 public:
  bool HandlePending() override {
    ++yields;
    return onYield ? onYield(yields) : true;
  }

  std::size_t yields = 0;
  std::function<bool(std::size_t)> onYield;
};

inline DeviceTable MakeTable(const std::vector<int>& entries) {
  DeviceTable table;
  for (std::size_t i = 0; i < entries.size(); ++i) table.entry[i] = static_cast<std::int16_t>(entries[i]);
  return table;
}

inline std::vector<int> Range(int from, int to, int step = 1) {
  std::vector<int> v;
  for (int n = from; n != to + step; n += step) v.push_back(n);
  return v;
}

// The pane text of device entries: "3, 5, 9, ".
inline std::wstring Entries(const std::vector<int>& numbers) {
  std::wstring text;
  for (int n : numbers) text += std::to_wstring(n) + L", ";
  return text;
}
