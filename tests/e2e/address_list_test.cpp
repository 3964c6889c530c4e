#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "e2e/e2e_support.h"

namespace tv::e2e {
namespace {

using namespace std::chrono_literals;

constexpr int kAddressScroll = 12;
constexpr int kAddAddressButton = 13;

struct RowWindows {
  HWND field = nullptr, info = nullptr, remove = nullptr;
};

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

struct ShownBox {
  std::wstring title;
  std::wstring text;
};

class AddressListE2e : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(program_.Start());
    window_ = program_.MainWindow();
    pane_ = FindPane(window_);
    ASSERT_NE(pane_, nullptr);
    addButton_ = GetDlgItem(pane_, kAddAddressButton);
    scrollBar_ = GetDlgItem(pane_, kAddressScroll);
    ASSERT_NE(addButton_, nullptr);
    ASSERT_NE(scrollBar_, nullptr);
    SetForegroundWindow(window_);
  }
  void TearDown() override {
    program_.RequestClose();
    EXPECT_EQ(program_.WaitForExit(30s), std::optional<DWORD>(200));
  }

  // The pane's rows in creation order, which is their order on screen. Row controls get fresh
  // numbers in creation order, three a row: field, info button, remove button.
  std::vector<RowWindows> Rows() const {
    std::vector<std::pair<int, HWND>> controls;
    for (HWND child = GetWindow(pane_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      const int number = GetDlgCtrlID(child);
      if (number > 17) controls.emplace_back(number, child);
    }
    std::sort(controls.begin(), controls.end());
    std::vector<RowWindows> rows;
    for (std::size_t i = 0; i + 2 < controls.size(); i += 3) {
      rows.push_back({controls[i].second, controls[i + 1].second, controls[i + 2].second});
    }
    return rows;
  }
  ::testing::AssertionResult RowCountBecomes(std::size_t count) const {
    if (WaitUntil([&] { return Rows().size() == count; }, 10s)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << Rows().size() << " rows, wanted " << count;
  }
  // Waits until the rows stand at `tops` (top to bottom), each at its columns, and the add button
  // at `buttonTop`.
  ::testing::AssertionResult LayoutBecomes(const std::vector<int>& tops, int buttonTop) const {
    const auto matches = [&] {
      const std::vector<RowWindows> rows = Rows();
      if (rows.size() != tops.size()) return false;
      for (std::size_t i = 0; i < rows.size(); ++i) {
        const RECT field = PlacedRect(rows[i].field), info = PlacedRect(rows[i].info),
                   remove = PlacedRect(rows[i].remove);
        const RECT wanted[3] = {
            {0, tops[i], 130, tops[i] + 22}, {130, tops[i], 152, tops[i] + 22}, {152, tops[i], 174, tops[i] + 22}};
        const RECT placed[3] = {field, info, remove};
        for (int c = 0; c < 3; ++c) {
          if (!EqualRect(&placed[c], &wanted[c])) return false;
        }
      }
      const RECT button = PlacedRect(addButton_);
      return button.left == 0 && button.top == buttonTop && button.right == 174 && button.bottom == buttonTop + 22;
    };
    if (WaitUntil(matches, 10s)) return ::testing::AssertionSuccess();
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    for (const RowWindows& row : Rows()) failure << "row at " << PlacedRect(row.field).top << "; ";
    return failure << "add button at " << PlacedRect(addButton_).top;
  }

  void ClickCentre(HWND control) {
    const RECT r = PlacedRect(control);
    ClickAt(pane_, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
  }
  // The user types a.b.c.d into a row's field; the field tells the program of the change.
  void TypeAddress(HWND field, int a, int b, int c, int d) {
    SendMessageW(field, IPM_SETADDRESS, 0, MAKEIPADDRESS(a, b, c, d));
  }
  // Waits for the program's message box, reads it and closes it with OK.
  std::optional<ShownBox> CloseMessageBox() {
    DWORD processId = 0;
    GetWindowThreadProcessId(window_, &processId);
    HWND found = nullptr;
    if (!WaitUntil([&] { return (found = FindMessageBox(processId)) != nullptr; }, 10s)) return std::nullopt;
    ShownBox box{MessageBoxTitle(found), MessageBoxText(found)};
    PostMessageW(found, WM_COMMAND, IDOK, 0);
    // The box disables the main window while it is open; clicks count again once it is enabled.
    WaitUntil([&] { return (!IsWindow(found) || !IsWindowVisible(found)) && IsWindowEnabled(window_); }, 10s);
    return box;
  }

  RunningProgram program_;
  HWND window_ = nullptr;
  HWND pane_ = nullptr;
  HWND addButton_ = nullptr;
  HWND scrollBar_ = nullptr;
};

TEST_F(AddressListE2e, RowsAreAddedFilledScrolledAndRemoved) {
  ClickCentre(addButton_);
  ASSERT_TRUE(RowCountBecomes(1));
  EXPECT_EQ(ClassOf(Rows()[0].field), L"SysIPAddress32");
  EXPECT_TRUE(LayoutBecomes({0}, 22));
  EXPECT_FALSE(IsWindowVisible(scrollBar_));

  // The bottom row is empty: the program refuses and says why.
  ClickCentre(addButton_);
  const std::optional<ShownBox> refusal = CloseMessageBox();
  ASSERT_TRUE(refusal.has_value()) << "no message box appeared";
  EXPECT_EQ(refusal->title, L"Tastovolant");
  EXPECT_EQ(refusal->text, L"Bevor ein neues IP-Feld erstellt wird, m\u00fcssen Sie das Vorherige ausf\u00fcllen!");
  EXPECT_EQ(Rows().size(), 1u);

  TypeAddress(Rows()[0].field, 127, 0, 0, 1);
  ClickCentre(addButton_);
  ASSERT_TRUE(RowCountBecomes(2));
  EXPECT_TRUE(LayoutBecomes({0, 22}, 44));
  EXPECT_FALSE(IsWindowVisible(scrollBar_));

  // The info box reads the field as the user typed it, first octet first.
  ClickCentre(Rows()[0].info);
  const std::optional<ShownBox> info = CloseMessageBox();
  ASSERT_TRUE(info.has_value()) << "no info box appeared";
  EXPECT_EQ(info->title, L"Field 1");
  EXPECT_EQ(info->text.rfind(L"IP-Adress is: 127.0.0.1\nHostname is: ", 0), 0u)
      << std::string(info->text.begin(), info->text.end());

  TypeAddress(Rows()[1].field, 10, 20, 30, 40);
  ClickCentre(addButton_);
  ASSERT_TRUE(RowCountBecomes(3));
  EXPECT_TRUE(LayoutBecomes({-22, 0, 22}, 44)) << "the newest row above the add button";
  EXPECT_TRUE(IsWindowVisible(scrollBar_)) << "the scroll bar appears with the third row";
  SCROLLINFO bar{sizeof bar, SIF_PAGE | SIF_POS, 0, 0, 0, 0, 0};
  ASSERT_TRUE(GetScrollInfo(scrollBar_, SB_CTL, &bar));
  EXPECT_EQ(bar.nPage, 750u);
  EXPECT_EQ(bar.nPos, 250);

  // To the top of the list: the scroller follows the bar.
  SendMessageW(pane_, WM_VSCROLL, MAKEWPARAM(SB_TOP, 0), reinterpret_cast<LPARAM>(scrollBar_));
  EXPECT_TRUE(LayoutBecomes({0, 22, 44}, 66));

  // The middle row goes; the rows close up and the bar hides.
  const std::vector<RowWindows> before = Rows();
  TypeAddress(before[2].field, 192, 168, 0, 3);
  ClickCentre(before[1].remove);
  ASSERT_TRUE(RowCountBecomes(2));
  EXPECT_FALSE(IsWindow(before[1].field));
  EXPECT_EQ(Rows()[0].field, before[0].field);
  EXPECT_EQ(Rows()[1].field, before[2].field);
  EXPECT_TRUE(LayoutBecomes({0, 22}, 44));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(scrollBar_); }, 10s));

  // The top row goes: the former bottom row is now the first.
  ClickCentre(before[0].remove);
  ASSERT_TRUE(RowCountBecomes(1));
  EXPECT_TRUE(LayoutBecomes({0}, 22));
  if (const std::optional<Image> shot = CaptureClientArea(window_)) SaveScreenshot(*shot, "address_list");
  ClickCentre(Rows()[0].info);
  const std::optional<ShownBox> last = CloseMessageBox();
  ASSERT_TRUE(last.has_value());
  EXPECT_EQ(last->title, L"Field 1");
  EXPECT_EQ(last->text.rfind(L"IP-Adress is: 192.168.0.3\n", 0), 0u);
}

TEST_F(AddressListE2e, ManyRowsScrollThroughThePane) {
  for (int i = 1; i <= 6; ++i) {
    ClickCentre(addButton_);
    ASSERT_TRUE(RowCountBecomes(static_cast<std::size_t>(i)));
    TypeAddress(Rows().back().field, 10, 0, 0, i);
  }
  EXPECT_TRUE(LayoutBecomes({-88, -66, -44, -22, 0, 22}, 44));
  SCROLLINFO bar{sizeof bar, SIF_PAGE | SIF_POS, 0, 0, 0, 0, 0};
  ASSERT_TRUE(GetScrollInfo(scrollBar_, SB_CTL, &bar));
  EXPECT_EQ(bar.nPage, 429u);
  EXPECT_EQ(bar.nPos, 571);

  // One page up: 571 - 429 = 142, so the first row is at -(0.142 * 7) * 22 = -21.868.
  SendMessageW(pane_, WM_VSCROLL, MAKEWPARAM(SB_PAGEUP, 0), reinterpret_cast<LPARAM>(scrollBar_));
  EXPECT_TRUE(LayoutBecomes({-22, 0, 22, 44, 66, 88}, 110));
  if (const std::optional<Image> shot = CaptureClientArea(window_)) SaveScreenshot(*shot, "address_list_scrolled");
}

}  // namespace
}  // namespace tv::e2e
