// libFuzzer target over the listings: any two library answers (tables and
// raw results), any text already in the panes, any listing, and a window that
// may close at any yield. Each pane's text is checked against a model written
// independently of the listing code, with std::sort.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "listing/Listings.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

class ModelPane : public Pane {
 public:
  std::wstring Text() const override {
    Check(!gone);
    return text;
  }
  void SetText(const std::wstring& value) override {
    Check(!gone);
    text = value;
  }
  void SetCaret(std::size_t pos) override { Check(!gone && pos <= text.size()); }
  void BeginUpdate() override {
    Check(!gone && !updating);
    updating = true;
  }
  void EndUpdate() override {
    Check(!gone && updating);
    updating = false;
  }
  std::wstring text;
  bool gone = false;
  bool updating = false;
};

class ScriptedLibrary : public DeviceLibrary {
 public:
  std::uint32_t GetRegDevList(DeviceTable& table) override {
    Check(calls < 2);  // no listing calls the library more than twice
    for (std::int16_t e : table.entry) Check(e == 0);
    table = tables[calls];
    return results[calls++];
  }
  DeviceTable tables[2];
  std::uint32_t results[2] = {};
  int calls = 0;
};

class ClosingPump : public EventPump {
 public:
  bool HandlePending() override {
    Check(!upper->updating && !lower->updating);  // no yield inside an update
    ++yields;
    if (yields == closeAt) {
      upper->gone = lower->gone = true;
      return false;
    }
    return true;
  }
  ModelPane* upper = nullptr;
  ModelPane* lower = nullptr;
  unsigned yields = 0;
  unsigned closeAt = 0;  // 0: the window stays
};

// Reads the input front to back; missing bytes are 0.
class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::uint32_t Word() {
    std::uint32_t w = 0;
    for (int i = 0; i < 4; ++i) w |= static_cast<std::uint32_t>(Byte()) << (8 * i);
    return w;
  }
  DeviceTable Table() {
    DeviceTable t;
    for (std::int16_t& e : t.entry) e = static_cast<std::int16_t>(Byte() | (Byte() << 8));
    return t;
  }
  // Text up to a 0 byte; bytes above 0x7F stand for characters of other scripts.
  std::wstring Text() {
    std::wstring text;
    for (std::uint8_t b = Byte(); b != 0; b = Byte()) text += b < 0x80 ? wchar_t(b) : wchar_t(0x400 + b);
    return text;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// --- the model ---

const std::wstring kNotice = L"function call failed\r\n\r\n";

std::wstring Entries(const std::vector<int>& numbers) {
  std::wstring text;
  for (int n : numbers) text += std::to_wstring(n) + L", ";
  return text;
}

std::vector<int> Connected(const DeviceTable& t) {
  std::vector<int> v;
  for (int i = 0; i < 32; ++i) {
    if (t.entry[i] > 0) v.push_back(t.entry[i]);
  }
  std::sort(v.begin(), v.end());
  return v;
}

// In table order, masked; sorted and without 0 where the listing orders them.
std::vector<int> Disconnected(const DeviceTable& t, bool sorted) {
  std::vector<int> v;
  for (int i = 0; i < 32; ++i) {
    if (t.entry[i] < 0) v.push_back(t.entry[i] & 0x7FFF);
  }
  if (sorted) {
    v.erase(std::remove(v.begin(), v.end(), 0), v.end());
    std::sort(v.begin(), v.end());
  }
  return v;
}

bool Ok(std::uint32_t result) {
  return (result % 256) != 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Reader in(data, size);
  ModelPane upper, lower;
  ScriptedLibrary library;
  ClosingPump pump;
  pump.upper = &upper;
  pump.lower = &lower;
  const int listing = in.Byte() % 3;
  pump.closeAt = in.Byte() % 4 == 0 ? 1u + in.Byte() * 4u : 0u;
  library.tables[0] = in.Table();
  library.tables[1] = in.Table();
  library.results[0] = in.Word();
  library.results[1] = in.Word();
  const std::wstring typedUpper = in.Text();
  const std::wstring typedLower = in.Text();
  upper.text = typedUpper;
  lower.text = typedLower;

  bool libOk = false;
  Listings listings(upper, lower, library, pump, libOk);
  if (listing == 0) listings.ListBoth();
  if (listing == 1) listings.ListDisconnected();
  if (listing == 2) listings.ListCombined();
  Check(!listings.Running());
  Check(!upper.updating && !lower.updating);
  Check(pump.yields <= 2 * (32 * 32 + 31));
  if (pump.closeAt != 0 && pump.yields == pump.closeAt) return 0;  // closed: no pane was touched after

  const DeviceTable& first = library.tables[0];
  const DeviceTable& second = library.tables[1];
  const bool ok1 = Ok(library.results[0]);
  const bool ok2 = Ok(library.results[1]);
  std::wstring wantUpper, wantLower;
  if (listing == 0) {
    wantUpper = ok1 ? Entries(Connected(first)) : kNotice;
    wantLower = !ok1 ? typedLower : ok2 ? Entries(Disconnected(second, true)) : kNotice;
    Check(libOk == (ok1 && ok2));
    Check(library.calls == (ok1 ? 2 : 1));
  } else if (listing == 1) {
    wantUpper = typedUpper;
    wantLower = ok1 ? Entries(Disconnected(first, true)) : kNotice;
  } else {
    wantUpper = typedUpper + (ok1 ? Entries(Connected(first)) : kNotice);
    wantLower = typedLower + (ok1 ? Entries(Disconnected(first, false)) : L"");
  }
  Check(upper.text == wantUpper);
  Check(lower.text == wantLower);
  return 0;
}
