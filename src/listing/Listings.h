// The three ways the window lists devices into its two panes. Each run owns
// fresh zeroed tables; the panes and the library flag are all runs share.
// Each list is written in one append: a pane repaints once, and what the user
// typed meanwhile stays in front of it.
#pragma once

#include "listing/DeviceLibrary.h"
#include "listing/DeviceTable.h"
#include "listing/OrderingPass.h"
#include "listing/Pane.h"

class Listings {
 public:
  // libOk is the program-wide flag that every library call overwrites.
  Listings(Pane& upper, Pane& lower, DeviceLibrary& library, EventPump& pump, bool& libOk);

  Listings(const Listings&) = delete;
  Listings& operator=(const Listings&) = delete;

  // The button: connected devices, ascending, in the upper pane, after the
  // disconnected listing has refilled the lower pane.
  void ListBoth();

  // Registered but disconnected devices, ascending, in the lower pane.
  void ListDisconnected();

  // One library call: disconnected devices in table order appended to the lower
  // pane, then connected ones, ascending, appended to the upper pane.
  void ListCombined();

  // A listing is running; requests that reach the window meanwhile, while the
  // library is busy or the listing yields, are dropped, since a nested run
  // would make the outer one append its list a second time.
  bool Running() const { return running_; }

 private:
  struct RunGuard;
  enum class Answer { kFilled, kFailed, kWindowGone };

  // Sets the library flag, lets the window handle what came meanwhile, and
  // reports a failed call in failurePane.
  Answer CallLibrary(DeviceTable& table, Pane& failurePane);
  void ReportFailure(Pane& pane);
  // Returns false when the window went away while it yielded.
  bool DisconnectedRun();
  // Appends the ordered numbers, up to the first empty entry, in one cycle.
  static void WriteOrdered(Pane& pane, const DeviceTable& work);

  Pane& upper_;
  Pane& lower_;
  DeviceLibrary& library_;
  EventPump& pump_;
  bool& libOk_;
  bool running_ = false;
};
