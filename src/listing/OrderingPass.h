// The ordering pass, and the yield to the window it makes at every step.
#pragma once

#include "listing/DeviceTable.h"

// Lets the window handle what waits in its queue, between two steps of a listing.
class EventPump {
 public:
  virtual ~EventPump() = default;

  // Returns false once the window is gone: the listing must end at once.
  virtual bool HandlePending() = 0;
};

// Sorts the positive numbers in work entries 0..31 into ascending order,
// duplicates kept, zeros and negatives dropped; the rest of 0..31 becomes 0.
// Repeatedly moves the current largest values into the buffer and copies them
// back reversed, yielding once per examined position so the window stays
// responsive. Entry 32 of either table is never touched. Returns false if the
// pump reported the window gone; the tables are then left half-done.
bool OrderAscending(DeviceTable& work, DeviceTable& buffer, EventPump& pump);
