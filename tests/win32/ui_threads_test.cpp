// The Win32 windowing adapter under the program's threading: workers read boxes and address
// fields, move controls, swap pictures and edit the client log in tight loops, each while holding
// the address list's lock, and the main thread takes that same lock on every control event. Nothing
// may deadlock, no value may tear, no log update may be lost.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/ui_win32.h"

namespace tv {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kBoxes[] = {9, 10, 11};
constexpr int kRangeField = 14;
constexpr int kStatusView = 6;
constexpr int kClientLog = 8;
constexpr int kScroll = 12;

// An address whose four octets are all `k`: a torn read would mix two of them.
DWORD FieldOrderAddress(int k) { return static_cast<DWORD>(MAKEIPADDRESS(k, k, k, k)); }
bool Uniform(std::uint32_t value) {
  const std::uint32_t low = value & 0xFF;
  return value == low * 0x01010101u;
}

TEST(Win32UiThreads, WorkersNeverWaitForTheMainThreadAndLoseNothing) {
  Win32Ui ui;
  ui.Initialise();
  ASSERT_TRUE(ui.OpenMainWindow("Threads", 640, 480));
  ASSERT_TRUE(ui.OpenPane(kAddressListPane, {315, 225, 192, 66}, "pane"));
  for (int box : kBoxes) {
    ControlPlan plan;
    plan.kind = ControlKind::CheckBox;
    plan.number = box;
    plan.rect = {300, 150 + 50 * (box - 9), 13, 13};
    ASSERT_EQ(ui.CreateControl(kMainWindow, plan), box);
  }
  ControlPlan field;
  field.kind = ControlKind::AddressField;
  field.number = kRangeField;
  field.rect = {315, 325, 130, 22};
  ASSERT_EQ(ui.CreateControl(kMainWindow, field), kRangeField);
  std::vector<int> rows;
  for (int i = 0; i < 4; ++i) {
    ControlPlan row;
    row.kind = ControlKind::AddressField;
    row.rect = {0, 22 * i, 130, 22};
    const int number = ui.CreateControl(kAddressListPane, row);
    ASSERT_GT(number, 17) << "automatic numbers never collide with the program's own";
    rows.push_back(number);
  }
  ControlPlan status;
  status.kind = ControlKind::Picture;
  status.number = kStatusView;
  status.rect = {80, 80, 141, 212};
  ASSERT_EQ(ui.CreateControl(kMainWindow, status), kStatusView);
  ControlPlan scroll;
  scroll.kind = ControlKind::VerticalScrollBar;
  scroll.number = kScroll;
  scroll.rect = {174, 0, 18, 66};
  scroll.minimum = 1;
  scroll.maximum = 1000;
  scroll.page = 100;
  scroll.value = 1;
  ASSERT_EQ(ui.CreateControl(kAddressListPane, scroll), kScroll);
  ControlPlan log;
  log.kind = ControlKind::ColumnList;
  log.number = kClientLog;
  log.rect = {10, 380, 620, 90};
  for (int i = 0; i < 6; ++i) log.columns.push_back({"c" + std::to_string(i), 90});
  ASSERT_EQ(ui.CreateControl(kMainWindow, log), kClientLog);
  ui.ShowMainWindow();

  std::recursive_mutex addressListLock;
  constexpr int kWorkers = 4;
  constexpr int kRounds = 3000;
  std::atomic<int> finished{0};
  std::atomic<int> tornValues{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back([&, w] {
      const std::string key = "worker " + std::to_string(w);
      for (int round = 0; round < kRounds; ++round) {
        std::lock_guard guard(addressListLock);
        for (int box : kBoxes) (void)ui.IsChecked(box);
        if (!Uniform(ui.AddressValue(kRangeField))) ++tornValues;
        for (int row : rows) {
          if (!Uniform(ui.AddressValue(row))) ++tornValues;
          // Rows move as often as a user could drag the scroll bar, not on every round: every move
          // is a message that the main thread must handle.
          if (round % 20 == 0) ui.MoveControl(row, 0, (round / 20 + w) % 66 - 22);
        }
        const int position = ui.ScrollPosition(kScroll);
        if (position < 1 || position > 900) ++tornValues;
        auto canvas = std::make_shared<Image>(141, 212, Rgba{static_cast<std::uint8_t>(round), 0, 0, 255});
        ui.SetPicture(kStatusView, std::move(canvas));
        ui.EditClientLog([&](ClientLogRows& table) {
          for (ClientLogRow& row : table) {
            if (row[1] == key) {
              row[4] = std::to_string(std::stoi(row[4]) + 1);
              return;
            }
          }
          table.push_back({"00:00:00", key, "<unknown>", "test", "1", "0"});
        });
      }
      ++finished;
    });
  }

  // The main thread handles its messages and, like the row scan, takes the lock on control events
  // (clicks on the boxes) while it changes the mirrored values from the program's side too.
  HWND main = FindWindowW(nullptr, L"Threads");
  ASSERT_NE(main, nullptr);
  HWND firstBox = GetDlgItem(main, 9);
  HWND rangeField = GetDlgItem(main, kRangeField);
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  // A deadlock would also stop the main thread, so a watchdog ends the test if it comes to that.
  std::atomic<bool> done{false};
  std::thread watchdog([&] {
    while (!done && Clock::now() < deadline + std::chrono::seconds(5)) Sleep(50);
    if (!done) {
      std::fprintf(stderr, "deadlock: the workers and the main thread still wait for each other\n");
      std::fflush(stderr);
      TerminateProcess(GetCurrentProcess(), 3);
    }
  });
  int pass = 0, controlEvents = 0;
  while (finished < kWorkers && Clock::now() < deadline) {
    ++pass;
    if (pass % 3 == 0) PostMessageW(firstBox, BM_CLICK, 0, 0);
    const UiEvent event = ui.WaitEvent(1);
    if (event.kind == EventKind::Control) {
      ++controlEvents;
      std::lock_guard guard(addressListLock);
      ui.SetChecked(10, pass % 2 == 0);
      ui.SetScrollPosition(kScroll, pass % 1000);
      const int k = pass % 256;
      SendMessageW(rangeField, IPM_SETADDRESS, 0, FieldOrderAddress(k));
    }
  }
  const bool allFinished = finished == kWorkers;
  if (!allFinished) {
    ADD_FAILURE() << "workers still blocked after a minute: a deadlock";
    TerminateProcess(GetCurrentProcess(), 3);
  }
  for (std::thread& t : workers) t.join();
  done = true;
  watchdog.join();
  EXPECT_EQ(tornValues, 0);
  EXPECT_GT(controlEvents, 10) << "passes " << pass;

  int rowsSeen = 0;
  ui.EditClientLog([&](ClientLogRows& table) {
    rowsSeen = static_cast<int>(table.size());
    for (const ClientLogRow& row : table) EXPECT_EQ(row[4], std::to_string(kRounds)) << row[1];
  });
  EXPECT_EQ(rowsSeen, kWorkers);
  // The list view learns its length from the posted updates.
  HWND list = GetDlgItem(main, kClientLog);
  for (int i = 0; i < 200 && SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) != kWorkers; ++i) (void)ui.WaitEvent(1);
  EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), kWorkers);
}

}  // namespace
}  // namespace tv
