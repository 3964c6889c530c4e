#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <utility>
#include <vector>

#include "access_editor/address_list.h"
#include "access_editor/address_pane.h"
#include "access_editor/address_row.h"
#include "app/main_window.h"
#include "app/program_state.h"
#include "fakes/fake_ports.h"
#include "fakes/fake_ui.h"

namespace tv {
namespace {

TEST(RoundHalfToEvenTest, HalvesGoToTheEvenNeighbour) {
  const std::pair<double, int> cases[] = {{0.5, 0},    {1.5, 2},   {2.5, 2},   {-0.5, 0},     {-1.5, -2},
                                          {-2.5, -2},  {16.5, 16}, {0.49, 0},  {0.51, 1},     {-0.51, -1},
                                          {-0.132, 0}, {3.0, 3},   {-5.5, -6}, {571.43, 571}, {812.5, 812}};
  for (auto [value, rounded] : cases) EXPECT_EQ(RoundHalfToEven(value), rounded) << value;
}

TEST(AddressScrollSettingsTest, PageCoversThreeOfTheLinesAndBottomIsTheLastPosition) {
  struct Case {
    int rows, page, bottom;
  };
  // 15 and 47 rows hit exact halves (187.5 / 812.5 and 62.5 / 937.5).
  const Case cases[] = {{1, 1500, -500}, {2, 1000, 0},   {3, 750, 250},  {4, 600, 400},
                        {6, 429, 571},   {15, 188, 812}, {22, 130, 870}, {47, 62, 938}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rows);
    const AddressScrollSettings settings = AddressScrollSettingsFor(c.rows);
    EXPECT_EQ(settings.page, c.page);
    EXPECT_EQ(settings.bottom, c.bottom);
  }
}

// The address pane on a fake windowing port, with rows made by the add rule and removed by their
// remove buttons, as the user makes them. The rows are freed at the end.
struct Pane {
  Pane() {
    (void)ui.OpenMainWindow("t", 640, 480);
    CreateMainWindowControls(ui, images);
  }
  ~Pane() {
    for (AddressRow* row = AddressRowList.load(); row;) delete std::exchange(row, row->next);
    AddressRowList = nullptr;
  }
  Pane(const Pane&) = delete;
  Pane& operator=(const Pane&) = delete;

  [[nodiscard]] static std::vector<AddressRow*> Rows() {
    std::vector<AddressRow*> rows;
    for (AddressRow* row = AddressRowList.load(); row; row = row->next) rows.push_back(row);
    return rows;
  }
  void AddRows(int count) {
    for (int i = 0; i < count; ++i) {
      AddAddressRow(ui, images);
      const std::vector<AddressRow*> rows = Rows();
      ui.TypeAddress(rows.back()->addressField, 0x0000000Au | static_cast<std::uint32_t>(rows.size() << 24));
    }
  }
  void RemoveRow(std::size_t index) { ScanAddressRows(ui, network, Rows().at(index)->removeButton); }
  // Runs the scroller until it has looked at the position `polls` times; the pauses it asked for.
  std::vector<std::chrono::milliseconds> RunScroller(int polls) {
    std::vector<std::chrono::milliseconds> pauses;
    AddressScrollerOptions options;
    options.keepPolling = [&] { return polls-- > 0; };
    options.sleep = [&](std::chrono::milliseconds pause) { pauses.push_back(pause); };
    RunAddressScroller(ui, options);
    return pauses;
  }

  // Runs one scroller, as the program does, while the user takes `steps`: one at each of its
  // pauses, that is once it has caught up. It stops at the pause after the last step.
  void ScrollWhile(const std::vector<std::function<void()>>& steps) {
    std::size_t next = 0;
    bool done = false;
    AddressScrollerOptions options;
    options.keepPolling = [&] { return !done; };
    options.sleep = [&](std::chrono::milliseconds) {
      if (next < steps.size()) {
        steps[next++]();
      } else {
        done = true;
      }
    };
    RunAddressScroller(ui, options);
  }

  // The rows' tops, top to bottom; every row's three controls stand on one line at their columns.
  [[nodiscard]] std::vector<int> RowTops() {
    std::vector<int> tops;
    for (AddressRow* row : Rows()) {
      const fakes::FakeControl field = ui.Control(row->addressField);
      const fakes::FakeControl info = ui.Control(row->infoButton);
      const fakes::FakeControl remove = ui.Control(row->removeButton);
      EXPECT_EQ(field.x, 0);
      EXPECT_EQ(info.x, 130);
      EXPECT_EQ(remove.x, 152);
      EXPECT_EQ(info.y, field.y);
      EXPECT_EQ(remove.y, field.y);
      tops.push_back(field.y);
    }
    return tops;
  }

  fakes::FakeUi ui;
  fakes::FakeNetwork network;
  ImageTable images;
};

class AddressPaneTest : public ::testing::Test, public Pane {};

struct LayoutCase {
  const char* name;
  int rows;
  int removed;   // index of a row to remove afterwards, -1 for none
  int scrollTo;  // a position the user then scrolls to and the scroller follows, 0 for none
  std::vector<int> tops;
  int buttonTop;
  bool barShown;
  int page, position;  // page and position of the bar (also while hidden)
};

TEST(AddressPaneLayoutTest, AfterAdditionRemovalAndScrolling) {
  const LayoutCase cases[] = {
      {"one row", 1, -1, 0, {0}, 22, false, 999, 1},
      {"two rows", 2, -1, 0, {0, 22}, 44, false, 999, 1},
      {"the third row shows the bar", 3, -1, 0, {-22, 0, 22}, 44, true, 750, 250},
      {"six rows", 6, -1, 0, {-88, -66, -44, -22, 0, 22}, 44, true, 429, 571},
      {"five rows at position 1", 5, -1, 1, {0, 22, 44, 66, 88}, 110, true, 500, 1},
      {"the middle one of three removed", 3, 1, 0, {0, 22}, 44, false, 750, 250},
      {"the bottom one of three removed", 3, 2, 0, {0, 22}, 44, false, 750, 250},
      {"the top one of three removed", 3, 0, 0, {0, 22}, 44, false, 750, 250},
      // The following rows close up over the removed one and the bar goes to the new bottom
      // position; the rows only follow it once the scroller sees the change.
      {"one of four removed", 4, 1, 0, {-44, -22, 0}, 22, true, 750, 250},
      {"one of four removed, then scrolled", 4, 1, 250, {-22, 0, 22}, 44, true, 750, 250},
      {"22 rows at position 1", 22, -1, 1, {-1, 21, 43}, 483, true, 130, 1},
      // -(50 / 1000 * 5) * 22 is -5.5: every top lies on a half and goes to the even neighbour.
      {"four rows at position 50", 4, -1, 50, {-6, 16, 38, 60}, 82, true, 600, 50},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.name);
    Pane pane;
    pane.AddRows(c.rows);
    if (c.removed >= 0) pane.RemoveRow(static_cast<std::size_t>(c.removed));
    if (c.scrollTo) {
      pane.ui.Scroll(kAddressScroll, c.scrollTo);
      pane.RunScroller(2);
    }
    std::vector<int> tops = pane.RowTops();
    if (c.rows == 22) tops.resize(3);
    EXPECT_EQ(tops, c.tops);
    EXPECT_EQ(pane.ui.Control(kAddAddressButton).x, 0);
    EXPECT_EQ(pane.ui.Control(kAddAddressButton).y, c.buttonTop);
    const fakes::FakeControl bar = pane.ui.Control(kAddressScroll);
    EXPECT_EQ(bar.shown, c.barShown);
    EXPECT_EQ(bar.scrollPage, c.page);
    EXPECT_EQ(bar.scrollPosition, c.position);
  }
}

TEST_F(AddressPaneTest, ANewRowIsCreatedBelowTheLastAtItsColumnsAndSizes) {
  AddRows(3);  // shown at the bottom position: the last row at 22
  AddAddressRow(ui, images);
  const AddressRow& row = *Rows().back();
  struct Expected {
    int control;
    ControlKind kind;
    Rect rect;
  };
  for (const Expected& e : {Expected{row.addressField, ControlKind::AddressField, {0, 44, 130, 22}},
                            Expected{row.infoButton, ControlKind::ImageButton, {130, 44, 22, 22}},
                            Expected{row.removeButton, ControlKind::ImageButton, {152, 44, 22, 22}}}) {
    const fakes::FakeControl control = ui.Control(e.control);
    EXPECT_EQ(control.window, kAddressListPane);
    EXPECT_EQ(control.plan.kind, e.kind);
    EXPECT_EQ(control.plan.rect.x, e.rect.x);
    EXPECT_EQ(control.plan.rect.y, e.rect.y);
    EXPECT_EQ(control.plan.rect.width, e.rect.width);
    EXPECT_EQ(control.plan.rect.height, e.rect.height);
  }
  EXPECT_EQ(RowTops(), (std::vector<int>{-44, -22, 0, 22}));
}

TEST_F(AddressPaneTest, BackAtTheBottomPositionTheScrollLayoutMatchesTheAdditionLayout) {
  AddRows(5);
  const std::vector<int> added = RowTops();
  ui.Scroll(kAddressScroll, 1);
  RunScroller(2);
  ASSERT_NE(RowTops(), added);
  ui.Scroll(kAddressScroll, AddressScrollSettingsFor(5).bottom);
  RunScroller(2);
  EXPECT_EQ(RowTops(), added);
  EXPECT_EQ(ui.Control(kAddAddressButton).y, 44);
}

TEST_F(AddressPaneTest, ScrollerPausesOnlyWhileThePositionStaysPut) {
  AddRows(5);
  // Each pause is a chance for the user to move the bar: the first two pauses move it, the others
  // do not.
  std::vector<int> seenTops;
  int pauses = 0, left = 7;
  AddressScrollerOptions options;
  options.keepPolling = [&] { return left-- > 0; };
  options.sleep = [&](std::chrono::milliseconds pause) {
    EXPECT_EQ(pause, std::chrono::milliseconds(10));
    seenTops.push_back(ui.Control(Rows().front()->addressField).y);
    if (++pauses == 1) ui.Scroll(kAddressScroll, 1);
    if (pauses == 2) ui.Scroll(kAddressScroll, 200);
  };
  RunAddressScroller(ui, options);
  // Polls: 500 where the addition left the rows (pause), 1 (laid out, no pause), 1 (pause),
  // 200 (laid out), then three pauses at 200.
  EXPECT_EQ(pauses, 5);
  // At 200 the first row is at -(0.2 * 6) * 22 = -26.4.
  EXPECT_EQ(seenTops, (std::vector<int>{-66, 0, -26, -26, -26}));
}

// The scroller compares the bar with where the rows stand, not with the position it saw last.
TEST_F(AddressPaneTest, APositionThatChangesAndChangesBackBetweenTwoPollsIsFollowed) {
  ScrollWhile({[&] { AddRows(2); },
               [&] {
                 AddRows(1);  // the bar goes to 250 and the user takes it back to 1 before the next poll
                 ui.Scroll(kAddressScroll, 1);
               }});
  EXPECT_EQ(RowTops(), (std::vector<int>{0, 22, 44}));
  EXPECT_EQ(ui.Control(kAddAddressButton).y, 66);
}

TEST_F(AddressPaneTest, RowsStandingFromTheTopAreNotMovedByTheHiddenBarsOldPosition) {
  ScrollWhile({[&] { AddRows(2); },
               [&] {
                 AddRows(1);    // the bar shows at 250
                 RemoveRow(0);  // two rows from the top before the next poll; the hidden bar keeps 250
               }});
  EXPECT_EQ(RowTops(), (std::vector<int>{0, 22}));
  EXPECT_EQ(ui.Control(kAddAddressButton).y, 44);
  EXPECT_EQ(ui.Control(kAddressScroll).scrollPosition, 250);
}

TEST_F(AddressPaneTest, AfterARemovalTheRowsAreRealignedEvenWhenTheBarStaysPut) {
  ScrollWhile({[&] {
                 AddRows(4);
                 ui.Scroll(kAddressScroll, 250);
               },
               [&] {
                 // At 250 four rows stand at -27.5, -5.5, 16.5 and 38.5.
                 EXPECT_EQ(RowTops(), (std::vector<int>{-28, -6, 16, 38}));
                 RemoveRow(2);  // three rows, whose bottom position is 250 as well
                 EXPECT_EQ(RowTops(), (std::vector<int>{-28, -6, 16}));
               }});
  EXPECT_EQ(RowTops(), (std::vector<int>{-22, 0, 22}));
  EXPECT_EQ(ui.Control(kAddAddressButton).y, 44);
}

}  // namespace
}  // namespace tv
