#include <gtest/gtest.h>

#include "app/access_mode.h"
#include "app/label_pictures.h"
#include "app/main_window.h"
#include "app/program.h"
#include "fakes/fake_program.h"

namespace tv {
namespace {

struct MainWindowFixture : ::testing::Test, fakes::ProgramHarness {
  Program program = Make();

  void SetUp() override { ASSERT_TRUE(program.StartUp()); }
};

TEST_F(MainWindowFixture, EveryControlHasItsNumberKindWindowAndRectangle) {
  struct Expected {
    int number;
    ControlKind kind;
    int window;
    Rect rect;
  };
  const Expected table[] = {
      {7, ControlKind::Picture, kMainWindow, {75, 25, 150, 68}},
      {6, ControlKind::Picture, kMainWindow, {80, 80, 141, 212}},
      {5, ControlKind::Picture, kMainWindow, {315, 100, 30, 30}},
      {16, ControlKind::Spin, kMainWindow, {350, 100, 50, 22}},
      {17, ControlKind::PushButton, kMainWindow, {410, 100, 100, 22}},
      {9, ControlKind::CheckBox, kMainWindow, {300, 150, 13, 13}},
      {1, ControlKind::Picture, kMainWindow, {320, 150, 300, 30}},
      {10, ControlKind::CheckBox, kMainWindow, {300, 200, 13, 13}},
      {2, ControlKind::Picture, kMainWindow, {320, 200, 300, 30}},
      {12, ControlKind::VerticalScrollBar, kAddressListPane, {174, 0, 18, 66}},
      {13, ControlKind::ImageButton, kAddressListPane, {0, 0, 174, 22}},
      {11, ControlKind::CheckBox, kMainWindow, {300, 300, 13, 13}},
      {3, ControlKind::Picture, kMainWindow, {320, 300, 300, 30}},
      {4, ControlKind::Picture, kMainWindow, {450, 325, 40, 22}},
      {14, ControlKind::AddressField, kMainWindow, {315, 325, 130, 22}},
      {15, ControlKind::AddressField, kMainWindow, {500, 325, 130, 22}},
      {8, ControlKind::ColumnList, kMainWindow, {10, 380, 620, 90}},
  };
  std::vector<int> order;
  for (const Expected& e : table) {
    SCOPED_TRACE(e.number);
    order.push_back(e.number);
    const fakes::FakeControl control = ui.Control(e.number);
    EXPECT_EQ(control.plan.kind, e.kind);
    EXPECT_EQ(control.window, e.window);
    EXPECT_EQ(control.plan.rect.x, e.rect.x);
    EXPECT_EQ(control.plan.rect.y, e.rect.y);
    EXPECT_EQ(control.plan.rect.width, e.rect.width);
    EXPECT_EQ(control.plan.rect.height, e.rect.height);
    if (e.kind == ControlKind::Picture && control.picture) {
      EXPECT_EQ(control.picture->Width(), e.rect.width) << "a picture control has its picture's size";
      EXPECT_EQ(control.picture->Height(), e.rect.height);
    }
  }
  // Tab order is creation order.
  EXPECT_EQ(ui.creationOrder, order);
  EXPECT_TRUE(ui.paneOpen);
  EXPECT_EQ(ui.paneRect.x, 315);
  EXPECT_EQ(ui.paneRect.y, 225);
  EXPECT_EQ(ui.paneRect.width, 192);
  EXPECT_EQ(ui.paneRect.height, 66);
  EXPECT_EQ(ui.paneText, "Tastovolant_Mode2_Wnd");
}

TEST_F(MainWindowFixture, ControlsStartAsTheProgramAlwaysStarts) {
  EXPECT_FALSE(ui.Control(kLogoView).enabled);
  EXPECT_EQ(ui.Control(kStatusView).picture, nullptr);
  const fakes::FakeControl port = ui.Control(kPortSpin);
  EXPECT_EQ(port.plan.minimum, 0);
  EXPECT_EQ(port.plan.maximum, 6500);
  EXPECT_EQ(ui.SpinValue(kPortSpin), 80);
  EXPECT_TRUE(port.enabled);
  EXPECT_EQ(ui.Control(kServerButton).text, "Server starten.");
  for (int box : {kAllowAllBox, kAllowListBox, kAllowRangeBox}) EXPECT_FALSE(ui.IsChecked(box));
  EXPECT_EQ(ui.AddressValue(kRangeFromField), 0u);
  EXPECT_EQ(ui.AddressValue(kRangeToField), 0u);
  const fakes::FakeControl scroll = ui.Control(kAddressScroll);
  EXPECT_FALSE(scroll.shown);
  EXPECT_EQ(scroll.scrollPage, 100);
  EXPECT_EQ(ui.ScrollPosition(kAddressScroll), 1);
  EXPECT_EQ(ui.Control(kAddAddressButton).picture, program.Images().Get(kAddIconImage));
  const fakes::FakeControl log = ui.Control(kClientLog);
  ASSERT_EQ(log.plan.columns.size(), 6u);
  const std::vector<std::pair<std::string, int>> columns = {
      {"Uhrzeit", 100}, {"IP", 100}, {"Ger\344tename", 100}, {"Ger\344tetyp", 100}, {"Anfragen", 100}, {"Dauer", 90}};
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(log.plan.columns[i].title, columns[i].first);
    EXPECT_EQ(log.plan.columns[i].width, columns[i].second);
  }
  EXPECT_TRUE(ui.Log().empty());
  EXPECT_EQ(ui.backdrops.at(kAddressListPane), program.Images().Get(kPaneBackdropImage));
}

TEST_F(MainWindowFixture, PaneBackdropIsTheBackgroundUnderThePane) {
  const Image& backdrop = *program.Images().Get(kMainBackdropImage);
  const Image& pane = *program.Images().Get(kPaneBackdropImage);
  EXPECT_EQ(pane, CopyRect(backdrop, 315, 225, 192, 66));
}

// The fake font's glyphs are 6x11 cells whose left five columns are covered.
struct LabelCase {
  int image, width, height, gx, gy;
  int textX, textY, textWidth;
};

TEST_F(MainWindowFixture, LabelsHoldTheBackgroundUnderThemAndTheirTextWhereItBelongs) {
  const LabelCase cases[] = {
      {kPortLabelImage, 30, 30, 315, 100, 0, 19 - 11, 5 * 6},
      {kAllowAllLabelImage, 300, 30, 320, 150, 0, 15 - 11, 27 * 6},
      {kAllowListLabelImage, 300, 30, 320, 200, 0, 15 - 11, 35 * 6},
      {kAllowRangeLabelImage, 300, 30, 320, 300, 0, 15 - 11, 42 * 6},
      {kRangeDashImage, 40, 22, 450, 325, (40 - 6) / 2, -5, 6},
  };
  const Image& backdrop = *program.Images().Get(kMainBackdropImage);
  for (const LabelCase& c : cases) {
    SCOPED_TRACE(c.image);
    ASSERT_TRUE(program.Images().Has(c.image));
    const Image& label = *program.Images().Get(c.image);
    ASSERT_EQ(label.Width(), c.width);
    ASSERT_EQ(label.Height(), c.height);
    // The text and its halo reach one pixel beyond the text's box; everywhere else the label is
    // the background under its control, so it joins the window without a seam.
    int changedInside = 0;
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x) {
        const bool nearText = x >= c.textX - 1 && x <= c.textX + c.textWidth && y >= c.textY - 1 && y <= c.textY + 11;
        const Rgba under = backdrop.At(c.gx + x, c.gy + y);
        if (!nearText) {
          ASSERT_EQ(label.At(x, y), under) << x << "," << y;
        } else if (!(label.At(x, y) == under)) {
          ++changedInside;
        }
        ASSERT_EQ(label.At(x, y).a, 255);
      }
    }
    EXPECT_GT(changedInside, 0);
    // Inside a glyph the text is opaque white.
    const int gx = c.textX + 2, gy = c.textY + 5;
    if (gy >= 0 && gy < c.height) {
      EXPECT_EQ(label.At(gx, gy), (Rgba{255, 255, 255, 255}));
    }
  }
}

TEST(OutlinedTextTest, HaloIsDarkestWhereItsCopiesOverlap) {
  fakes::FakeText font;  // one glyph: columns 0-4 covered, column 5 clear
  const Rgba grey{200, 200, 200, 255};
  Image target(12, 15, grey);
  DrawOutlinedText(target, font, 3, 2, "x");
  // Column 8 (x + 5) is the glyph's clear column: only the copies shifted right by one reach it,
  // three of them in the glyph's rows; column 9 is reached by none.
  const Rgba oneCopy = BlendOver(grey, {0, 0, 0, 80});
  const Rgba twoCopies = BlendOver(oneCopy, {0, 0, 0, 80});
  const Rgba threeCopies = BlendOver(twoCopies, {0, 0, 0, 80});
  EXPECT_EQ(target.At(8, 1), oneCopy);      // above the glyph: the copy at dy = -1 ... only dx = +1
  EXPECT_EQ(target.At(8, 6), threeCopies);  // beside the glyph's middle: dy = -1, 0, 1
  EXPECT_EQ(target.At(9, 6), grey);
  EXPECT_EQ(target.At(2, 1), oneCopy);  // the top-left corner of the halo: one copy
  EXPECT_EQ(target.At(5, 6), (Rgba{255, 255, 255, 255}));
  EXPECT_LT(target.At(8, 6).r, target.At(8, 1).r);
}

struct Boxes {
  bool all, list, range;
  friend bool operator==(const Boxes&, const Boxes&) = default;
};

void PrintTo(const Boxes& b, std::ostream* out) { *out << "{" << b.all << b.list << b.range << "}"; }

Boxes Read(fakes::FakeUi& ui) {
  return {ui.IsChecked(kAllowAllBox), ui.IsChecked(kAllowListBox), ui.IsChecked(kAllowRangeBox)};
}

void Set(fakes::FakeUi& ui, Boxes b) {
  ui.SetChecked(kAllowAllBox, b.all);
  ui.SetChecked(kAllowListBox, b.list);
  ui.SetChecked(kAllowRangeBox, b.range);
}

TEST_F(MainWindowFixture, AccessModeBoxesKeepTheirRulesWhenClicked) {
  struct Case {
    Boxes before;
    int clicked;
    Boxes after;
  };
  const Case cases[] = {
      {{false, false, false}, kAllowAllBox, {true, false, false}},
      {{true, false, false}, kAllowAllBox, {false, false, false}},  // a checked "all" clears to nothing
      {{false, true, true}, kAllowAllBox, {true, false, false}},
      {{false, true, false}, kAllowRangeBox, {false, true, true}},  // list and range together
      {{false, true, true}, kAllowAllBox, {true, false, false}},
      {{true, false, false}, kAllowListBox, {false, true, false}},
      {{true, false, false}, kAllowRangeBox, {false, false, true}},
      {{false, true, true}, kAllowListBox, {false, false, true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "click " << c.clicked);
    Set(ui, c.before);
    ui.ClickBox(c.clicked);
    ASSERT_TRUE(program.MainLoopPass());
    EXPECT_EQ(Read(ui), c.after);
  }
}

TEST_F(MainWindowFixture, ReleasesOverTheLabelBandsToggleTheirBoxes) {
  struct Case {
    Boxes before;
    int x, y;
    Boxes after;
  };
  const Boxes none{false, false, false};
  const Case cases[] = {
      {none, 314, 150, {true, false, false}},
      {none, 614, 165, {true, false, false}},
      {none, 313, 150, none},
      {none, 615, 150, none},
      {none, 320, 166, none},
      {none, 320, 149, none},
      {{true, false, false}, 400, 160, none},  // a checked "all" toggles off, the others stay clear
      {{false, true, true}, 400, 155, {true, false, false}},
      {{true, false, false}, 400, 200, {false, true, false}},
      {{false, true, false}, 400, 215, none},
      {{false, true, false}, 400, 300, {false, true, true}},
      {{true, false, false}, 400, 315, {false, false, true}},
      {none, 400, 216, none},
      {none, 400, 299, none},
      {none, -1, -1, none},  // released outside the window
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
    Set(ui, c.before);
    ui.Queue({EventKind::LeftButtonUp, 0}, {c.x, c.y, false});
    ASSERT_TRUE(program.MainLoopPass());
    EXPECT_EQ(Read(ui), c.after);
  }
}

TEST_F(MainWindowFixture, OnlyReleasesTouchTheBands) {
  ui.Queue({EventKind::Other, 0}, {400, 155, false});
  ui.Queue({EventKind::None, 0}, {400, 155, true});
  ui.Queue({EventKind::Control, kServerButton}, {400, 155, false});
  while (ui.InputsLeft()) ASSERT_TRUE(program.MainLoopPass());
  EXPECT_EQ(Read(ui), (Boxes{false, false, false}));
}

TEST(AccessModeTest, WithoutAPaneStartUpGoesOnWithoutItsContents) {
  fakes::ProgramHarness harness;
  fakes::FakeUi& ui = harness.ui;
  ui.failOpenPane = true;
  Program program = harness.Make();
  ASSERT_TRUE(program.StartUp());
  EXPECT_FALSE(ui.Has(kAddressScroll));
  EXPECT_FALSE(ui.Has(kAddAddressButton));
  EXPECT_TRUE(ui.Has(kClientLog));
  EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
}  // namespace tv
