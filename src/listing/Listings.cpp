// The button's listing, the disconnected and the combined listing.
#include "listing/Listings.h"

#include <cstddef>
#include <string>

namespace {
constexpr std::size_t kCount = DeviceTable::kExamined;
}

// Marks a listing as running for as long as it runs; one that arrived while
// another was yielding owns nothing and returns at once.
struct Listings::RunGuard {
  explicit RunGuard(bool& flag) : running(flag), owner(!flag) { flag = true; }
  ~RunGuard() {
    if (owner) running = false;
  }
  bool& running;
  const bool owner;
};

Listings::Listings(Pane& upper, Pane& lower, DeviceLibrary& library, EventPump& pump, bool& libOk)
    : upper_(upper), lower_(lower), library_(library), pump_(pump), libOk_(libOk) {}

Listings::Answer Listings::CallLibrary(DeviceTable& table, Pane& failurePane) {
  const bool filled = LibraryCallSucceeded(library_.GetRegDevList(table));
  libOk_ = filled;
  // What reached the window while the library was busy, a click among it,
  // came during this listing; the call may not be followed by another yield.
  if (!pump_.HandlePending()) return Answer::kWindowGone;
  if (filled) return Answer::kFilled;
  ReportFailure(failurePane);
  return Answer::kFailed;
}

void Listings::ReportFailure(Pane& pane) {
  AppendFailureNotice(pane);
  // The caret always goes to the end of the upper pane, whichever pane failed.
  ScrollToEnd(upper_, "down");
}

void Listings::WriteOrdered(Pane& pane, const DeviceTable& work) {
  std::wstring entries;
  for (std::size_t i = 0; i < kCount && work.entry[i] != 0; ++i) entries += DeviceEntry(work.entry[i]);
  if (!entries.empty()) Append(pane, entries);
}

void Listings::ListBoth() {
  const RunGuard guard(running_);
  if (!guard.owner) return;

  Clear(upper_);
  DeviceTable table;
  DeviceTable connected;
  if (CallLibrary(table, upper_) != Answer::kFilled) return;
  std::size_t n = 0;
  for (std::size_t i = 0; i < kCount; ++i) {
    if (table.entry[i] > 0) connected.entry[n++] = table.entry[i];
  }
  if (!DisconnectedRun()) return;
  if (!OrderAscending(connected, table, pump_)) return;
  WriteOrdered(upper_, connected);
}

void Listings::ListDisconnected() {
  const RunGuard guard(running_);
  if (guard.owner) DisconnectedRun();
}

bool Listings::DisconnectedRun() {
  Clear(lower_);
  DeviceTable table;
  DeviceTable disconnected;
  const Answer answer = CallLibrary(table, lower_);
  if (answer != Answer::kFilled) return answer == Answer::kFailed;
  std::size_t n = 0;
  for (std::size_t i = 0; i < kCount; ++i) {
    if (table.entry[i] < 0) disconnected.entry[n++] = DisconnectedNumber(table.entry[i]);
  }
  // A number 0 (entry -32768) is an empty slot to the ordering and vanishes.
  if (!OrderAscending(disconnected, table, pump_)) return false;
  WriteOrdered(lower_, disconnected);
  return true;
}

void Listings::ListCombined() {
  const RunGuard guard(running_);
  if (!guard.owner) return;

  DeviceTable table;
  DeviceTable connected;
  DeviceTable disconnected;
  if (CallLibrary(table, upper_) != Answer::kFilled) return;
  std::size_t c = 0;
  std::size_t d = 0;
  for (std::size_t i = 0; i < kCount; ++i) {
    const std::int16_t entry = table.entry[i];
    if (entry > 0) connected.entry[c++] = entry;
    if (entry < 0) disconnected.entry[d++] = entry;
  }
  // Table order, unmasked until written, so -32768 shows as 0.
  std::wstring entries;
  for (std::size_t i = 0; i < d; ++i) entries += DeviceEntry(DisconnectedNumber(disconnected.entry[i]));
  if (!entries.empty()) Append(lower_, entries);
  if (!OrderAscending(connected, table, pump_)) return;
  WriteOrdered(upper_, connected);
}
