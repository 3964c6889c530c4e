#pragma once
// Where the address rows and the add button stand in the address pane, and AddressScroller, the
// thread that moves them when the pane's scroll bar moves.
//
// The pane is three lines of 22 pixels high; every row is one line, and the add button is the
// line after the last row. The scroll range 1 to 1000 covers all rows and the add button, of
// which the page shows three.
#include <chrono>
#include <functional>

#include "access_editor/address_row.h"
#include "platform/ui.h"

namespace tv {

inline constexpr int kAddressLineHeight = 22;
// Columns of a row.
inline constexpr int kAddressFieldX = 0;
inline constexpr int kAddressFieldWidth = 130;
inline constexpr int kInfoButtonX = 130;
inline constexpr int kRemoveButtonX = 152;
inline constexpr int kRowButtonWidth = 22;

// Halves go to the even neighbour, as in every pixel and scroll value of the pane.
[[nodiscard]] int RoundHalfToEven(double value);

struct AddressScrollSettings {
  int page = 0;    // the page length
  int bottom = 0;  // the position that shows the last row above the add button
};
[[nodiscard]] AddressScrollSettings AddressScrollSettingsFor(int rows);

// The following need AddressListLock held. -------------------------------------------------
[[nodiscard]] int CountAddressRows();
// Moves the row's three controls to line top `y`.
void PlaceAddressRow(Ui& ui, const AddressRow& row, int y);
// After `newest` was made the bottom one of `rows` rows (it may not be linked in yet: the walk
// goes upward through prev).
void LayOutAfterAddition(Ui& ui, const AddressRow& newest, int rows);
// After a removal that left `rows` rows; `following` is the row that came after the removed one
// (null if none), `removedTop` the removed row's top.
void LayOutAfterRemoval(Ui& ui, const AddressRow* following, int rows, int removedTop);
// The rows and the add button as the scroll position shows them.
void LayOutForScroll(Ui& ui, int position, int rows);
// -------------------------------------------------------------------------------------------

inline constexpr std::chrono::milliseconds kAddressScrollPollPause{10};

struct AddressScrollerOptions {
  // Asked before every look at the scroll position; without it the scroller never ends.
  std::function<bool()> keepPolling;
  // The pause while the position stays put; real sleeping unless a test hands in its own.
  std::function<void(std::chrono::milliseconds)> sleep;
};

// The AddressScroller thread body. It reads the scroll position without a lock; when that differs
// from the position the rows stand at (the layouts above keep track of it), it takes
// AddressListLock and lays them out, which moves controls without waiting for the main thread.
// It pauses only while nothing changed, so dragging the thumb moves the rows continuously.
void RunAddressScroller(Ui& ui, const AddressScrollerOptions& options = {});

}  // namespace tv
