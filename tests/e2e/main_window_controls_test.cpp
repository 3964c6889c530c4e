#include <gtest/gtest.h>

#include <array>
#include <string>

#include <windows.h>
#include <commctrl.h>

#include "e2e/e2e_support.h"

namespace tv::e2e {
namespace {

using namespace std::chrono_literals;

class MainWindowControls : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(program_.Start());
    window_ = program_.MainWindow();
    pane_ = FindPane(window_);
    ASSERT_NE(pane_, nullptr);
    SetForegroundWindow(window_);
  }
  void TearDown() override {
    program_.RequestClose();
    EXPECT_EQ(program_.WaitForExit(30s), std::optional<DWORD>(200));
  }

  HWND Box(int number) const { return GetDlgItem(window_, number); }
  std::array<bool, 3> Boxes() const {
    std::array<bool, 3> state{};
    for (int i = 0; i < 3; ++i) state[i] = SendMessageW(Box(9 + i), BM_GETCHECK, 0, 0) == BST_CHECKED;
    return state;
  }
  // Waits until the boxes read `expected` (the program handles a click within a loop pass).
  ::testing::AssertionResult BoxesBecome(std::array<bool, 3> expected) const {
    if (WaitUntil([&] { return Boxes() == expected; }, 5s)) return ::testing::AssertionSuccess();
    const auto now = Boxes();
    return ::testing::AssertionFailure() << "boxes are " << now[0] << now[1] << now[2] << ", wanted " << expected[0]
                                         << expected[1] << expected[2];
  }
  RunningProgram program_;
  HWND window_ = nullptr;
  HWND pane_ = nullptr;
};

TEST_F(MainWindowControls, EveryControlHasItsNumberAndRectangle) {
  struct Expected {
    int number;
    bool inPane;
    RECT rect;
    const wchar_t* className;  // nullptr: our own picture class
  };
  const Expected table[] = {
      {7, false, {75, 25, 225, 93}, nullptr},
      {6, false, {80, 80, 221, 292}, nullptr},
      {5, false, {315, 100, 345, 130}, nullptr},
      {16, false, {350, 100, 389, 122}, L"Edit"},  // the text part; the arrows take the right 11 pixels
      {17, false, {410, 100, 510, 122}, L"Button"},
      {9, false, {300, 150, 313, 163}, L"Button"},
      {1, false, {320, 150, 620, 180}, nullptr},
      {10, false, {300, 200, 313, 213}, L"Button"},
      {2, false, {320, 200, 620, 230}, nullptr},
      {12, true, {174, 0, 192, 66}, L"ScrollBar"},
      {13, true, {0, 0, 174, 22}, L"Button"},
      {11, false, {300, 300, 313, 313}, L"Button"},
      {3, false, {320, 300, 620, 330}, nullptr},
      {4, false, {450, 325, 490, 347}, nullptr},
      {14, false, {315, 325, 445, 347}, L"SysIPAddress32"},
      {15, false, {500, 325, 630, 347}, L"SysIPAddress32"},
      {8, false, {10, 380, 630, 470}, L"SysListView32"},
  };
  for (const Expected& e : table) {
    SCOPED_TRACE(e.number);
    HWND control = GetDlgItem(e.inPane ? pane_ : window_, e.number);
    ASSERT_NE(control, nullptr);
    const RECT r = PlacedRect(control);
    EXPECT_EQ(r.left, e.rect.left);
    EXPECT_EQ(r.top, e.rect.top);
    EXPECT_EQ(r.right, e.rect.right);
    EXPECT_EQ(r.bottom, e.rect.bottom);
    if (e.className) {
      wchar_t name[64] = {};
      GetClassNameW(control, name, 64);
      EXPECT_EQ(_wcsicmp(name, e.className), 0) << std::wstring(name).size();
    }
  }
  const RECT pane = PlacedRect(pane_);
  EXPECT_EQ(pane.left, 315);
  EXPECT_EQ(pane.top, 225);
  EXPECT_EQ(pane.right - pane.left, 192);
  EXPECT_EQ(pane.bottom - pane.top, 66);
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(pane_, 12))) << "the scroll bar starts hidden";
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window_, 7))) << "the logo raises no control event";

  wchar_t text[64] = {};
  GetWindowTextW(GetDlgItem(window_, 17), text, 64);
  EXPECT_STREQ(text, L"Server starten.");
  // Another program's edit text is read by message, not as a caption.
  SendMessageW(GetDlgItem(window_, 16), WM_GETTEXT, 64, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, L"80");

  HWND log = GetDlgItem(window_, 8);
  HWND header = reinterpret_cast<HWND>(SendMessageW(log, LVM_GETHEADER, 0, 0));
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 6);
  const int widths[6] = {100, 100, 100, 100, 100, 90};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(SendMessageW(log, LVM_GETCOLUMNWIDTH, i, 0), widths[i]) << i;
  EXPECT_TRUE(GetWindowLongPtrW(log, GWL_STYLE) & LVS_SINGLESEL);
}

TEST_F(MainWindowControls, ClickingTheBoxesKeepsTheAccessModeRules) {
  struct Step {
    int box;
    std::array<bool, 3> after;
  };
  const Step steps[] = {
      {10, {false, true, false}}, {11, {false, true, true}},  // list and range together
      {9, {true, false, false}},                              // all clears the other two
      {9, {false, false, false}},                             // a checked all clears to nothing
      {11, {false, false, true}}, {9, {true, false, false}}, {10, {false, true, false}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.box);
    const RECT r = PlacedRect(Box(s.box));
    ClickAt(window_, r.left + 6, r.top + 6);
    EXPECT_TRUE(BoxesBecome(s.after));
  }
}

TEST_F(MainWindowControls, ReleasesOverTheLabelBandsToggleTheirBoxes) {
  struct Step {
    int x, y;
    std::array<bool, 3> after;
  };
  const Step steps[] = {
      {314, 150, {true, false, false}}, {614, 165, {false, false, false}}, {400, 200, {false, true, false}},
      {400, 300, {false, true, true}},  {450, 157, {true, false, false}},  {400, 315, {false, false, true}},
      {400, 215, {false, true, true}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(testing::Message() << s.x << "," << s.y);
    ClickAt(window_, s.x, s.y);
    EXPECT_TRUE(BoxesBecome(s.after));
  }
  // Just outside the bands nothing changes.
  const auto before = Boxes();
  for (auto [x, y] : {std::pair{313, 150}, std::pair{615, 150}, std::pair{320, 166}, std::pair{450, 299}}) {
    ClickAt(window_, x, y);
  }
  // A control event would show within a pass; give the program many passes to prove none came.
  Sleep(300);
  EXPECT_EQ(Boxes(), before);
}

TEST_F(MainWindowControls, TabMovesThroughTheControlsInTheirOrder) {
  const RECT port = PlacedRect(GetDlgItem(window_, 16));
  ClickAt(window_, port.left + 5, port.top + 5);
  ASSERT_TRUE(WaitUntil([&] { return FocusedControl(window_) == GetDlgItem(window_, 16); }, 5s));
  // Control numbers that take the focus, in creation order. An address field's focus lies in one
  // of its parts, so the focused window is named by its ancestor that is one of our controls.
  const std::vector<int> order = {17, 9, 10, 13, 11, 14, 15, 8, 16};
  const auto focusedNumber = [&] {
    for (HWND w = FocusedControl(window_); w && w != window_ && w != pane_; w = GetParent(w)) {
      if (GetParent(w) == window_ || GetParent(w) == pane_) return GetDlgCtrlID(w);
    }
    return 0;
  };
  for (int expected : order) {
    PressKey(VK_TAB);
    EXPECT_TRUE(WaitUntil([&] { return focusedNumber() == expected; }, 3s))
        << "wanted " << expected << ", focus on " << focusedNumber();
  }
  PressKey(VK_TAB, /*shift=*/true);
  EXPECT_TRUE(WaitUntil([&] { return focusedNumber() == 8; }, 3s)) << "Shift+Tab goes back";
}

}  // namespace
}  // namespace tv::e2e
