#include <gtest/gtest.h>

#include "access_editor/address_row.h"
#include "app/main_window.h"
#include "app/program_state.h"
#include "fakes/fake_ui.h"
#include "status/status_state.h"

namespace tv {
namespace {

TEST(DecideStatusStateTest, FirstMatchingRuleWins) {
  struct Case {
    const char* what;
    StatusInputs inputs;  // server running, all, list, range, rows present
    StatusState expected;
  };
  const Case cases[] = {
      {"stopped, nothing checked", {false, false, false, false, false}, StatusState::Stopped},
      {"stopped beats every box and row", {false, true, true, true, true}, StatusState::Stopped},
      {"stopped with only the list and a row", {false, false, true, false, true}, StatusState::Stopped},
      {"running, no box", {true, false, false, false, false}, StatusState::NoAccess},
      {"running, no box, rows do not matter", {true, false, false, false, true}, StatusState::NoAccess},
      {"everybody", {true, true, false, false, false}, StatusState::Serving},
      {"everybody beats an empty list", {true, true, true, false, false}, StatusState::Serving},
      {"list without rows", {true, false, true, false, false}, StatusState::NoAccess},
      {"list with a row", {true, false, true, false, true}, StatusState::Serving},
      {"list without rows hides the range", {true, false, true, true, false}, StatusState::NoAccess},
      {"list with a row and the range", {true, false, true, true, true}, StatusState::Serving},
      {"range", {true, false, false, true, false}, StatusState::Serving},
      {"range with rows", {true, false, false, true, true}, StatusState::Serving},
      {"all three, no rows", {true, true, true, true, false}, StatusState::Serving},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecideStatusState(c.inputs), c.expected) << c.what;
  }
}

// The boxes as FakeUi holds them, ServerRunning and the head of the address rows, restored after
// each test.
class StatusReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ui.OpenMainWindow("t", 640, 480));
    for (int box : {kAllowAllBox, kAllowListBox, kAllowRangeBox}) {
      ControlPlan plan;
      plan.kind = ControlKind::CheckBox;
      plan.number = box;
      ASSERT_EQ(ui.CreateControl(kMainWindow, plan), box);
    }
  }
  void TearDown() override {
    ServerRunning = 0;
    AddressRowList = nullptr;
  }

  fakes::FakeUi ui;
  AddressRow row;
};

TEST_F(StatusReaderTest, EachBoxIsReadFromItsOwnControl) {
  ServerRunning = 1;
  struct Case {
    int box;
    bool StatusInputs::*field;
  };
  for (Case c : {Case{kAllowAllBox, &StatusInputs::allowAll}, Case{kAllowListBox, &StatusInputs::allowList},
                 Case{kAllowRangeBox, &StatusInputs::allowRange}}) {
    SCOPED_TRACE(c.box);
    ui.SetChecked(c.box, true);
    const StatusInputs inputs = ReadStatusInputs(ui);
    EXPECT_TRUE(inputs.serverRunning);
    EXPECT_FALSE(inputs.rowsPresent);
    for (bool StatusInputs::*field : {&StatusInputs::allowAll, &StatusInputs::allowList, &StatusInputs::allowRange}) {
      EXPECT_EQ(inputs.*field, field == c.field);
    }
    ui.SetChecked(c.box, false);
  }
}

TEST_F(StatusReaderTest, FollowsTheServerTheBoxesAndTheRows) {
  EXPECT_EQ(ReadStatusState(ui), StatusState::Stopped);
  ServerRunning = 1;
  EXPECT_EQ(ReadStatusState(ui), StatusState::NoAccess);
  ui.ClickBox(kAllowListBox);
  ui.ClickBox(kAllowRangeBox);
  EXPECT_EQ(ReadStatusState(ui), StatusState::NoAccess);
  AddressRowList = &row;  // one row, its address field blank
  EXPECT_TRUE(ReadStatusInputs(ui).rowsPresent);
  EXPECT_EQ(ReadStatusState(ui), StatusState::Serving);
  ServerRunning = 0;
  EXPECT_EQ(ReadStatusState(ui), StatusState::Stopped);
}

}  // namespace
}  // namespace tv
