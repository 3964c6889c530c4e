#include <gtest/gtest.h>

#include "access_editor/address_row.h"
#include "app/main_window.h"
#include "fakes/fake_program.h"
#include "server/access_control.h"
#include "server/media_keys.h"

namespace tv {
namespace {

constexpr std::uint32_t Ip(int a, int b, int c, int d) {
  return static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b) << 8 | static_cast<std::uint32_t>(c) << 16 |
         static_cast<std::uint32_t>(d) << 24;
}

TEST(AddressRangeTest, KeysOrderAddressesOctetByOctet) {
  static_assert(AddressRangeKey(Ip(192, 168, 1, 20)) == 192168001020LL);
  static_assert(AddressRangeKey(0) == 0);
  static_assert(AddressRangeKey(Ip(255, 255, 255, 255)) == 255255255255LL);
  struct Case {
    std::uint32_t lower, upper, address;
    bool inside;
  };
  const std::uint32_t from = Ip(10, 0, 0, 200), to = Ip(10, 0, 1, 10);
  const Case cases[] = {
      {from, to, Ip(10, 0, 0, 255), true},
      {from, to, Ip(10, 0, 1, 0), true},
      {from, to, Ip(10, 0, 0, 199), false},
      {from, to, Ip(10, 0, 1, 11), false},
      {from, to, from, true},
      {from, to, to, true},
      {to, from, Ip(10, 0, 1, 0), false},  // bounds are never swapped
      {0, 0, 0, true},
      {0, 0, Ip(127, 0, 0, 1), false},
      {Ip(1, 2, 3, 4), Ip(1, 2, 3, 4), Ip(1, 2, 3, 4), true},
      {Ip(1, 2, 3, 4), Ip(1, 2, 3, 4), Ip(1, 2, 3, 5), false},
      {Ip(9, 255, 255, 255), Ip(11, 0, 0, 0), Ip(10, 200, 3, 1), true},
  };
  for (const Case& c : cases) EXPECT_EQ(AddressInRange(c.lower, c.upper, c.address), c.inside) << c.address;
}

// Rows as the address editor makes them, linked into the list for one test.
struct Rows {
  explicit Rows(fakes::FakeUi& ui, std::vector<std::uint32_t> addresses) : rows(addresses.size()) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
      ControlPlan field;
      field.kind = ControlKind::AddressField;
      rows[i].addressField = ui.CreateControl(kAddressListPane, field);
      ui.TypeAddress(rows[i].addressField, addresses[i]);
      if (i > 0) {
        rows[i].prev = &rows[i - 1];
        rows[i - 1].next = &rows[i];
      }
    }
    AddressRowList = rows.empty() ? nullptr : &rows[0];
  }
  ~Rows() { AddressRowList = nullptr; }
  std::vector<AddressRow> rows;
};

struct AccessFixture : ::testing::Test, fakes::ProgramHarness {
  Program program = Make();
  void SetUp() override { ASSERT_TRUE(program.StartUp()); }
  void Boxes(bool all, bool list, bool range) {
    ui.SetChecked(kAllowAllBox, all);
    ui.SetChecked(kAllowListBox, list);
    ui.SetChecked(kAllowRangeBox, range);
  }
};

TEST_F(AccessFixture, EachModeDecidesByItsOwnSettings) {
  const std::uint32_t client = Ip(192, 168, 1, 20);
  ui.TypeAddress(kRangeFromField, Ip(192, 168, 1, 0));
  ui.TypeAddress(kRangeToField, Ip(192, 168, 1, 99));
  struct Case {
    const char* name;
    bool all, list, range;
    std::vector<std::uint32_t> rows;
    std::uint32_t client;
    bool allowed;
  };
  const Case cases[] = {
      {"no box", false, false, false, {client}, client, false},
      {"all", true, false, false, {}, client, true},
      {"all whatever the list", true, true, true, {Ip(1, 1, 1, 1)}, Ip(8, 8, 8, 8), true},
      {"list, empty", false, true, false, {}, client, false},
      {"list, listed", false, true, false, {Ip(1, 1, 1, 1), client}, client, true},
      {"list, not listed", false, true, false, {Ip(1, 1, 1, 1)}, client, false},
      {"list, blank row matches 0.0.0.0 only", false, true, false, {0}, 0, true},
      {"list, blank row", false, true, false, {0}, client, false},
      {"list and range: range not consulted", false, true, true, {Ip(1, 1, 1, 1)}, client, false},
      {"range, inside", false, false, true, {}, client, true},
      {"range, outside", false, false, true, {}, Ip(192, 168, 2, 1), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Boxes(c.all, c.list, c.range);
    Rows rows(ui, c.rows);
    EXPECT_EQ(DecideAccess(ui, c.client), c.allowed);
  }
}

TEST_F(AccessFixture, BlankRangeAdmitsOnlyTheUnknownAddress) {
  Boxes(false, false, true);
  EXPECT_TRUE(DecideAccess(ui, 0));
  EXPECT_FALSE(DecideAccess(ui, Ip(127, 0, 0, 1)));
  // A change takes effect with the next decision.
  ui.TypeAddress(kRangeToField, Ip(127, 0, 0, 1));
  EXPECT_TRUE(DecideAccess(ui, Ip(127, 0, 0, 1)));
}

TEST(MediaKeysTest, OnlyExactCommandsPressTheirKey) {
  struct Case {
    const char* query;
    std::vector<std::uint16_t> keys;
  };
  const Case
      cases[] =
          {
              {"m=pp", {0xB3}}, {"m=bw", {0xB1}}, {"m=fw", {0xB0}}, {"m=st", {0xB2}},
              {"m=vu", {0xAF}}, {"m=vd", {0xAE}}, {"m=vm", {0xAD}}, {"m=pp&x=1", {}},
              {"m%3dpp", {}},   {"", {}},         {"m=PP", {}},  // the query arrives lowercased; an upper-case one is
                                                                 // not a command
          };
  for (const Case& c : cases) {
    fakes::FakeKeys keys;
    RunMediaCommand(c.query, keys);
    EXPECT_EQ(keys.Pressed(), c.keys) << c.query;
  }
}

}  // namespace
}  // namespace tv
