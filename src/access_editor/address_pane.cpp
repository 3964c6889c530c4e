#include "access_editor/address_pane.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>

#include "app/main_window.h"
#include "app/program_state.h"

namespace tv {

namespace {

// The scroll position the rows stand at, or kNoPosition when their places match none. The scroller
// re-lays the rows when the bar's position differs from it, not from the position it saw last:
// the main thread's layouts tell it what they did, so a position that changes and changes back
// between two polls is not missed, and a position left over from a hidden bar never moves rows
// that stand from the top. Written with AddressListLock held.
constexpr int kNoPosition = 0;
std::atomic<int> laidOutAt{kNoPosition};

// The lines the scroll range is shared among: every row and the add button.
[[nodiscard]] double LineShare(int rows) { return 1000.0 / (rows + 1); }

void ShowScrollBarAt(Ui& ui, int rows) {
  const AddressScrollSettings settings = AddressScrollSettingsFor(rows);
  ui.ShowControl(kAddressScroll, true);
  ui.SetScrollPage(kAddressScroll, settings.page);
  ui.SetScrollPosition(kAddressScroll, settings.bottom);
}

}  // namespace

int RoundHalfToEven(double value) {
  const double down = std::floor(value);
  const double fraction = value - down;
  const bool up = fraction > 0.5 || (fraction == 0.5 && std::fmod(down, 2.0) != 0.0);
  return static_cast<int>(up ? down + 1.0 : down);
}

AddressScrollSettings AddressScrollSettingsFor(int rows) {
  return {RoundHalfToEven(LineShare(rows) * 3), RoundHalfToEven(1000 - LineShare(rows) * 3)};
}

int CountAddressRows() {
  int rows = 0;
  for (const AddressRow* row = AddressRowList.load(); row; row = row->next) ++rows;
  return rows;
}

void PlaceAddressRow(Ui& ui, const AddressRow& row, int y) {
  ui.MoveControl(row.addressField, kAddressFieldX, y);
  ui.MoveControl(row.infoButton, kInfoButtonX, y);
  ui.MoveControl(row.removeButton, kRemoveButtonX, y);
}

void LayOutAfterAddition(Ui& ui, const AddressRow& newest, int rows) {
  const int buttonTop = std::min(kAddressLineHeight * rows, 2 * kAddressLineHeight);
  ui.MoveControl(kAddAddressButton, 0, buttonTop);
  int fromBottom = 1;
  for (const AddressRow* row = &newest; row; row = row->prev, ++fromBottom) {
    PlaceAddressRow(ui, *row, buttonTop - kAddressLineHeight * fromBottom);
  }
  if (rows <= 2) {
    ui.ShowControl(kAddressScroll, false);
    ui.SetScrollPage(kAddressScroll, AddressScrollSettingsFor(rows).page);
    ui.SetScrollPosition(kAddressScroll, 0);
  } else {
    ShowScrollBarAt(ui, rows);
  }
  // The rows stand where the scroll layout would put them for the position the bar now has.
  laidOutAt = ui.ScrollPosition(kAddressScroll);
}

void LayOutAfterRemoval(Ui& ui, const AddressRow* following, int rows, int removedTop) {
  int y = removedTop;
  for (const AddressRow* row = following; row; row = row->next, y += kAddressLineHeight) {
    PlaceAddressRow(ui, *row, y);
  }
  if (rows <= 2) {
    int top = 0;
    for (const AddressRow* row = AddressRowList.load(); row; row = row->next, top += kAddressLineHeight) {
      PlaceAddressRow(ui, *row, top);
    }
    ui.MoveControl(kAddAddressButton, 0, kAddressLineHeight * rows);
    ui.ShowControl(kAddressScroll, false);
    // The hidden bar keeps its position, which the rows no longer follow.
    laidOutAt = ui.ScrollPosition(kAddressScroll);
  } else {
    ui.MoveControl(kAddAddressButton, 0, y);
    ShowScrollBarAt(ui, rows);
    // The rows closed up over the gap; the scroller brings them to the bottom position, even when
    // the bar already stood there.
    laidOutAt = kNoPosition;
  }
}

void LayOutForScroll(Ui& ui, int position, int rows) {
  // Scroll arithmetic in double precision, row tops carried in single precision: where a top comes
  // near a half, the precision decides which pixel it lands on.
  float y = static_cast<float>(-(position / 1000.0 * (rows + 1)) * kAddressLineHeight);
  for (const AddressRow* row = AddressRowList.load(); row; row = row->next) {
    PlaceAddressRow(ui, *row, RoundHalfToEven(y));
    y += static_cast<float>(kAddressLineHeight);
  }
  ui.MoveControl(kAddAddressButton, 0, RoundHalfToEven(y));
}

void RunAddressScroller(Ui& ui, const AddressScrollerOptions& options) {
  while (!options.keepPolling || options.keepPolling()) {
    if (ui.ScrollPosition(kAddressScroll) != laidOutAt) {
      std::lock_guard guard(AddressListLock());
      // Read again under the lock: the main thread may have laid the rows out meanwhile.
      const int position = ui.ScrollPosition(kAddressScroll);
      if (position != laidOutAt) {
        LayOutForScroll(ui, position, CountAddressRows());
        laidOutAt = position;
      }
      continue;
    }
    if (options.sleep) {
      options.sleep(kAddressScrollPollPause);
    } else {
      std::this_thread::sleep_for(kAddressScrollPollPause);
    }
  }
}

}  // namespace tv
