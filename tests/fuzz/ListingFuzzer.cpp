// libFuzzer target over the listings: any two library answers (tables and
// raw results), any text already in the panes, any listing, and a window that
// may close at any yield. Each pane's text is checked against a model written
// independently of the listing code, with std::sort.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "listing/Listings.h"

namespace {

// The current input, which the stand-ins below play and a finding names.
struct Input {
  int listing = 0;
  unsigned closeAt = 0;  // the yield at which the window closes; 0: never
  DeviceTable tables[2];
  std::uint32_t results[2] = {};
  std::wstring typedUpper, typedLower;
};
const Input* gInput = nullptr;
bool gWindowGone = false;

// Pane text as C source would write it.
std::string Quoted(const std::wstring& text) {
  std::string out = "\"";
  for (wchar_t c : text) {
    char code[12];
    if (c == L'\r') {
      out += "\\r";
    } else if (c == L'\n') {
      out += "\\n";
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      std::snprintf(code, sizeof code, "\\u%04X", static_cast<unsigned>(c));
      out += code;
    }
  }
  return out + "\"";
}

std::string Describe(const DeviceTable& table) {
  std::string out;
  for (std::int16_t e : table.entry) out += " " + std::to_string(e);
  return out;
}

std::string Describe(const Input& input) {
  const char* const names[] = {"the button (Command1_Click)", "GetDisconnectList", "GetConnectedList"};
  return std::string("Input:\n  listing: ") + names[input.listing] +
         "\n  window closes at yield: " + (input.closeAt ? std::to_string(input.closeAt) : "never") +
         "\n  first table:" + Describe(input.tables[0]) + "\n  second table:" + Describe(input.tables[1]) +
         "\n  results: " + std::to_string(input.results[0]) + ", " + std::to_string(input.results[1]) +
         "\n  typed in the upper pane: " + Quoted(input.typedUpper) +
         "\n  typed in the lower pane: " + Quoted(input.typedLower) + "\n";
}

// A finding: what went wrong and the input, then the crash libFuzzer reports.
[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "FINDING: %s\n%s", what.c_str(), gInput ? Describe(*gInput).c_str() : "");
  std::fflush(stderr);
  std::abort();
}

void Check(bool ok, const char* what) {
  if (!ok) Fail(std::string("broken rule: ") + what);
}

class ModelPane : public Pane {
 public:
  std::wstring Text() const override {
    Check(!gWindowGone, "no pane is read after the window went");
    return text;
  }
  void SetText(const std::wstring& value) override {
    Check(!gWindowGone, "no pane is written after the window went");
    text = value;
  }
  void SetCaret(std::size_t pos) override {
    Check(!gWindowGone && pos <= text.size(), "the caret stays within the text of a pane that exists");
  }
  std::wstring text;
};

class ScriptedLibrary : public DeviceLibrary {
 public:
  std::uint32_t GetRegDevList(DeviceTable& table) override {
    Check(calls < 2, "no listing calls the library more than twice");
    for (std::int16_t e : table.entry) Check(e == 0, "the library gets a zeroed table");
    table = gInput->tables[calls];
    return gInput->results[calls++];
  }
  int calls = 0;
};

class ClosingPump : public EventPump {
 public:
  bool HandlePending() override {
    if (++yields != gInput->closeAt) return true;
    gWindowGone = true;
    return false;
  }
  unsigned yields = 0;
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

// The connected numbers, or the disconnected ones masked, in table order;
// sorted and without 0 where the listing orders them.
std::vector<int> Numbers(const DeviceTable& t, bool connected, bool sorted = true) {
  std::vector<int> v;
  for (int i = 0; i < 32; ++i) {
    if (connected ? t.entry[i] > 0 : t.entry[i] < 0) v.push_back(t.entry[i] & 0x7FFF);
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
  Input input;
  input.listing = in.Byte() % 3;
  input.closeAt = in.Byte() % 4 == 0 ? 1u + in.Byte() * 4u : 0u;
  input.tables[0] = in.Table();
  input.tables[1] = in.Table();
  input.results[0] = in.Word();
  input.results[1] = in.Word();
  input.typedUpper = in.Text();
  input.typedLower = in.Text();
  gInput = &input;
  gWindowGone = false;

  ModelPane upper, lower;
  upper.text = input.typedUpper;
  lower.text = input.typedLower;
  ScriptedLibrary library;
  ClosingPump pump;
  bool libOk = false;
  Listings listings(upper, lower, library, pump, libOk);
  if (input.listing == 0) listings.ListBoth();
  if (input.listing == 1) listings.ListDisconnected();
  if (input.listing == 2) listings.ListCombined();
  Check(!listings.Running(), "the next request is served after a listing");
  Check(pump.yields <= 2 * (1 + 32 * 32 + 31),
        "one yield a library call, and at most 32 a number and a last partial sweep, per pass");
  if (gWindowGone && pump.yields == input.closeAt) return 0;  // closed: no pane was touched after

  const DeviceTable& first = input.tables[0];
  const bool ok1 = Ok(input.results[0]);
  const bool ok2 = Ok(input.results[1]);
  std::wstring wantUpper, wantLower;
  if (input.listing == 0) {
    wantUpper = ok1 ? Entries(Numbers(first, true)) : kNotice;
    wantLower = !ok1 ? input.typedLower : ok2 ? Entries(Numbers(input.tables[1], false)) : kNotice;
    Check(libOk == (ok1 && ok2), "the flag holds the last call's result");
    Check(library.calls == (ok1 ? 2 : 1), "the button calls the library a second time only after a success");
  } else if (input.listing == 1) {
    wantUpper = input.typedUpper;
    wantLower = ok1 ? Entries(Numbers(first, false)) : kNotice;
  } else {
    wantUpper = input.typedUpper + (ok1 ? Entries(Numbers(first, true)) : kNotice);
    wantLower = input.typedLower + (ok1 ? Entries(Numbers(first, false, false)) : L"");
  }
  auto expect = [](const char* pane, const std::wstring& actual, const std::wstring& expected) {
    if (actual == expected) return;
    Fail(std::string("the ") + pane + " pane holds the wrong text\n  expected: " + Quoted(expected) +
         "\n  actual:   " + Quoted(actual) + "\n");
  };
  expect("upper", upper.text, wantUpper);
  expect("lower", lower.text, wantLower);
  return 0;
}
