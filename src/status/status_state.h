#pragma once
// Which face the status picture shows: the server stopped, running but admitting nobody, or
// serving.
#include "platform/ui.h"

namespace tv {

enum class StatusState { Stopped = 0, NoAccess = 1, Serving = 2 };

// Everything the state depends on, as read at one moment.
struct StatusInputs {
  bool serverRunning = false;
  bool allowAll = false;     // AllowAllBox checked
  bool allowList = false;    // AllowListBox checked
  bool allowRange = false;   // AllowRangeBox checked
  bool rowsPresent = false;  // AddressRowList has at least one row
};

// A chain, first match wins: stopped; everybody; the list (serving only with a row, whatever its
// address, and then the range box is not looked at); the range; nobody.
[[nodiscard]] StatusState DecideStatusState(const StatusInputs& inputs);

// Reads ServerRunning, the three access-mode boxes and the head of AddressRowList. Takes no lock
// and never waits for the main thread, so any thread may call it.
[[nodiscard]] StatusInputs ReadStatusInputs(Ui& ui);
[[nodiscard]] StatusState ReadStatusState(Ui& ui);

}  // namespace tv
