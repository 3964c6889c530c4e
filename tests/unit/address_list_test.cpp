#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "access_editor/address_list.h"
#include "access_editor/address_row.h"
#include "app/main_window.h"
#include "app/program.h"
#include "app/program_state.h"
#include "fakes/fake_program.h"

namespace tv {
namespace {

constexpr std::uint32_t Address(int a, int b, int c, int d) {
  return static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b) << 8 | static_cast<std::uint32_t>(c) << 16 |
         static_cast<std::uint32_t>(d) << 24;
}

TEST(DottedAddressTest, FirstOctetIsTheLowestByte) {
  EXPECT_EQ(DottedAddress(Address(192, 168, 1, 20)), "192.168.1.20");
  EXPECT_EQ(DottedAddress(0), "0.0.0.0");
  EXPECT_EQ(DottedAddress(0xFFFFFFFFu), "255.255.255.255");
  EXPECT_EQ(DottedAddress(Address(10, 0, 200, 7)), "10.0.200.7");
}

// The running program on fakes, driven by control events as the user raises them.
struct AddressListTest : ::testing::Test, fakes::ProgramHarness {
  Program program = Make();

  void SetUp() override { ASSERT_TRUE(program.StartUp()); }
  void TearDown() override {
    for (AddressRow* row = AddressRowList.load(); row;) delete std::exchange(row, row->next);
    AddressRowList = nullptr;
  }

  void Press(int control) {
    ui.Queue({EventKind::Control, control});
    ASSERT_TRUE(program.MainLoopPass());
  }
  [[nodiscard]] static std::vector<AddressRow*> Rows() {
    std::vector<AddressRow*> rows;
    for (AddressRow* row = AddressRowList.load(); row; row = row->next) rows.push_back(row);
    return rows;
  }
  // Adds rows and fills each in, so that the next can be added.
  void AddFilledRows(int count) {
    for (int i = 0; i < count; ++i) {
      Press(kAddAddressButton);
      ui.TypeAddress(Rows().back()->addressField, Address(10, 0, 0, static_cast<int>(Rows().size())));
    }
  }
};

TEST_F(AddressListTest, AddButtonAppendsARowUnlessTheBottomRowIsEmpty) {
  struct Case {
    const char* name;
    std::vector<std::uint32_t> addresses;  // of the rows present, top to bottom
    bool added;
  };
  const std::uint32_t a = Address(10, 1, 2, 3), b = Address(192, 168, 0, 9);
  const Case cases[] = {
      {"an empty list", {}, true},
      {"one empty row", {0}, false},
      {"one filled row", {a}, true},
      // 0.0.0.0 typed over an address reads as 0, the same as an empty field.
      {"a filled row above one set to 0.0.0.0", {a, 0}, false},
      {"only a middle row empty", {a, 0, b}, true},
      {"all but the bottom row empty", {0, 0, b}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    AddFilledRows(static_cast<int>(c.addresses.size()));
    const std::vector<AddressRow*> before = Rows();
    for (std::size_t i = 0; i < before.size(); ++i) ui.TypeAddress(before[i]->addressField, c.addresses[i]);
    const std::size_t messages = ui.messages.size();
    const std::size_t created = ui.creationOrder.size();

    Press(kAddAddressButton);

    const std::vector<AddressRow*> after = Rows();
    ASSERT_EQ(after.size(), before.size() + (c.added ? 1 : 0));
    EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin())) << "the rows there stay as they were";
    if (c.added) {
      EXPECT_EQ(ui.messages.size(), messages);
      EXPECT_EQ(ui.creationOrder.size(), created + 3);
      EXPECT_EQ(after.back()->prev, before.empty() ? nullptr : before.back());
      if (!before.empty()) {
        EXPECT_EQ(before.back()->next, after.back());
      }
      EXPECT_EQ(after.back()->next, nullptr);
      EXPECT_EQ(ui.AddressValue(after.back()->addressField), 0u) << "a new row starts empty";
    } else {
      ASSERT_EQ(ui.messages.size(), messages + 1);
      const fakes::ShownMessage& refusal = ui.messages.back();
      EXPECT_EQ(refusal.title, "Tastovolant");
      EXPECT_EQ(refusal.text, "Bevor ein neues IP-Feld erstellt wird, m\374ssen Sie das Vorherige ausf\374llen!");
      EXPECT_EQ(refusal.icon, MessageIcon::Information);
      EXPECT_EQ(refusal.buttons, MessageButtons::Ok);
      EXPECT_EQ(ui.creationOrder.size(), created) << "nothing else changes";
    }
  }
}

TEST_F(AddressListTest, AfterTheRefusalTypingAnAddressLetsTheNextRowCome) {
  Press(kAddAddressButton);
  Press(kAddAddressButton);
  ASSERT_EQ(Rows().size(), 1u);
  ASSERT_EQ(ui.messages.size(), 1u);
  ui.TypeAddress(Rows()[0]->addressField, Address(127, 0, 0, 1));
  Press(kAddAddressButton);
  EXPECT_EQ(Rows().size(), 2u);
  EXPECT_EQ(ui.messages.size(), 1u);
}

TEST_F(AddressListTest, RowControlsGetPlatformNumbersInThePaneWithTheirPictures) {
  AddFilledRows(3);
  std::set<int> numbers;
  for (const AddressRow* row : Rows()) {
    for (int control : {row->addressField, row->infoButton, row->removeButton}) {
      EXPECT_TRUE(control < 1 || control > 17) << control;
      EXPECT_EQ(ui.Control(control).window, kAddressListPane);
      numbers.insert(control);
    }
    EXPECT_EQ(ui.Control(row->addressField).plan.kind, ControlKind::AddressField);
    EXPECT_EQ(ui.Control(row->infoButton).picture, program.Images().Get(kInfoIconImage));
    EXPECT_EQ(ui.Control(row->removeButton).picture, program.Images().Get(kRemoveIconImage));
  }
  EXPECT_EQ(numbers.size(), 9u);
  EXPECT_NE(program.Images().Get(kInfoIconImage), program.Images().Get(kRemoveIconImage));
}

TEST_F(AddressListTest, InfoBoxNumbersTheRowFromTheTopAndNamesItsAddress) {
  AddFilledRows(3);
  AddressRow* third = Rows()[2];
  ui.TypeAddress(third->addressField, Address(192, 168, 1, 20));
  network.names[Address(192, 168, 1, 20)] = "tablet.local";
  ui.TypeAddress(Rows()[1]->addressField, 0);

  Press(third->infoButton);
  Press(Rows()[1]->infoButton);
  Press(Rows()[0]->removeButton);
  Press(third->infoButton);

  ASSERT_EQ(ui.messages.size(), 3u);
  const std::pair<std::string, std::string> expected[] = {
      {"Field 3", "IP-Adress is: 192.168.1.20\nHostname is: tablet.local"},
      {"Field 2", "IP-Adress is: 0.0.0.0\nHostname is: <unknown>"},          // an empty field, which nobody names
      {"Field 2", "IP-Adress is: 192.168.1.20\nHostname is: tablet.local"},  // one row above it is gone
  };
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(ui.messages[i].title, expected[i].first);
    EXPECT_EQ(ui.messages[i].text, expected[i].second);
    EXPECT_EQ(ui.messages[i].icon, MessageIcon::None);
    EXPECT_EQ(ui.messages[i].buttons, MessageButtons::Ok);
  }
  EXPECT_EQ(Rows().size(), 2u) << "the info button removes nothing";
}

TEST_F(AddressListTest, RemovingRowsRelinksTheChainAndDestroysTheirControls) {
  AddFilledRows(4);
  std::vector<AddressRow*> rows = Rows();
  const auto controlsOf = [](const AddressRow* row) {
    return std::vector<int>{row->addressField, row->infoButton, row->removeButton};
  };

  // The top row: the second becomes the head.
  const std::vector<int> topControls = controlsOf(rows[0]);
  Press(rows[0]->removeButton);
  EXPECT_EQ(AddressRowList.load(), rows[1]);
  EXPECT_EQ(rows[1]->prev, nullptr);
  for (int control : topControls) EXPECT_FALSE(ui.Has(control)) << control;

  // A middle row: its neighbours meet.
  Press(rows[2]->removeButton);
  EXPECT_EQ(Rows(), (std::vector<AddressRow*>{rows[1], rows[3]}));
  EXPECT_EQ(rows[1]->next, rows[3]);
  EXPECT_EQ(rows[3]->prev, rows[1]);

  // The bottom row, then the only one: the list is empty.
  Press(rows[3]->removeButton);
  EXPECT_EQ(rows[1]->next, nullptr);
  Press(rows[1]->removeButton);
  EXPECT_EQ(AddressRowList.load(), nullptr);
  EXPECT_EQ(ui.Control(kAddAddressButton).y, 0);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(AddressListTest, OtherControlEventsLeaveTheRowsAlone) {
  AddFilledRows(2);
  const std::vector<AddressRow*> rows = Rows();
  for (int control : {kAllowAllBox, kAllowListBox, kAddressScroll, 0, 5000}) Press(control);
  EXPECT_EQ(Rows(), rows);
  for (const AddressRow* row : rows) EXPECT_TRUE(ui.Has(row->removeButton));
}

TEST(AddressListWithoutPaneTest, AddingMakesNoRowWhenItsControlsCannotBeCreated) {
  fakes::ProgramHarness harness;
  harness.ui.failOpenPane = true;
  Program program = harness.Make();
  ASSERT_TRUE(program.StartUp());
  harness.ui.Queue({EventKind::Control, kAddAddressButton});
  ASSERT_TRUE(program.MainLoopPass());
  EXPECT_EQ(AddressRowList.load(), nullptr);
  EXPECT_TRUE(harness.ui.messages.empty());
  EXPECT_EQ(harness.threads.size(), 2u) << "no pane, no scroller";
}

}  // namespace
}  // namespace tv
