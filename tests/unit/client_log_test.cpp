#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "access_editor/address_list.h"
#include "access_editor/address_pane.h"
#include "access_editor/address_row.h"
#include "app/main_window.h"
#include "app/program_state.h"
#include "fakes/fake_ports.h"
#include "fakes/fake_ui.h"
#include "server/client_log.h"

namespace tv {
namespace {

using namespace std::chrono_literals;
using Tick = std::chrono::steady_clock::time_point;

constexpr std::uint32_t Address(int a, int b, int c, int d) {
  return static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b) << 8 | static_cast<std::uint32_t>(c) << 16 |
         static_cast<std::uint32_t>(d) << 24;
}

TEST(DeviceTypeTextTest, PlatformThenProductInParentheses) {
  const std::pair<const char*, const char*> cases[] = {
      {"Opera/9.80 (Windows NT 6.1; U; de) Presto/2.5.24 Version/10.53", "Windows NT 6.1 (Opera/9.80)"},
      {"Mozilla/5.0 (iPhone; U; CPU iPhone OS 3_1_3 like Mac OS X; de-de) AppleWebKit/528.18", "iPhone (Mozilla/5.0)"},
      {"Mozilla/4.0 (compatible)", " (Mozilla/4.0)"},
      {"Mozilla/5.0 (X11) Foo; Bar", "X11) Foo (Mozilla/5.0)"},
      {"Foo; Bar (Baz)", " (Foo; Bar)"},
      {"Wget/1.12", " ()"},
      {"Alpha; Beta", "Alpha ()"},
      {"", " ()"},
      // Only spaces are trimmed, tabs stay; a "(" at the very start leaves no product.
      {"  Agent/1  (  Linux  ; x)", "Linux (Agent/1)"},
      {"\tAgent\t(\tLinux\t;", "\tLinux\t (\tAgent\t)"},
      {"(Linux; x)", "Linux ()"},
      {"A (;", " (A)"},
      // Latin-1 bytes pass through as they are.
      {"Ger\344t/1 (M\374nchen; x)", "M\374nchen (Ger\344t/1)"},
  };
  for (auto [agent, type] : cases) EXPECT_EQ(DeviceTypeText(agent), type) << agent;
}

TEST(ReadLogNumberTest, BlanksSignDigitsAndWhateverFollows) {
  const std::pair<const char*, std::int64_t> cases[] = {
      {"0", 0},
      {"17", 17},
      {"  \t 42", 42},
      {"+8", 8},
      {"-12", -12},
      {"12abc", 12},
      {"3 4", 3},
      {"", 0},
      {"abc", 0},
      {"-", 0},
      {"+-3", 0},
      {"\n5", 0},  // only blanks and tabs are skipped
      {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
      {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
      {"99999999999999999999", std::numeric_limits<std::int64_t>::max()},
      {"-99999999999999999999", std::numeric_limits<std::int64_t>::min()},
  };
  for (auto [cell, value] : cases) EXPECT_EQ(ReadLogNumber(cell), value) << '"' << cell << '"';
}

TEST(TimeOfDayTextTest, TwoDigitsEach) {
  EXPECT_EQ(TimeOfDayText({9, 5, 3}), "09:05:03");
  EXPECT_EQ(TimeOfDayText({23, 59, 0}), "23:59:00");
  EXPECT_EQ(TimeOfDayText({0, 0, 0}), "00:00:00");
}

TEST(SystemClientLogClockTest, TellsATimeOfDayAndATickThatMovesOn) {
  const ClientLogClock clock = SystemClientLogClock();
  const TimeOfDay time = clock.timeOfDay();
  EXPECT_GE(time.hours, 0);
  EXPECT_LE(time.hours, 23);
  EXPECT_GE(time.minutes, 0);
  EXPECT_LE(time.minutes, 59);
  EXPECT_GE(time.seconds, 0);
  EXPECT_LE(time.seconds, 60);
  const Tick first = clock.now();
  EXPECT_GE(clock.now(), first);
}

// A clock the test sets by hand: a request's elapsed time is what the test says it is.
struct HandClock {
  std::mutex lock;
  Tick now{};
  TimeOfDay time{8, 0, 0};
  ClientLogClock Clock() {
    return {[this] {
              std::lock_guard guard(lock);
              return now;
            },
            [this] {
              std::lock_guard guard(lock);
              return time;
            }};
  }
};

struct ClientLogTest : ::testing::Test {
  // A request from `address` that took `ms` milliseconds and ends at the hand clock's `time`.
  void Request(std::uint32_t address, const char* agent, int ms, TimeOfDay time) {
    hand.now += 1000ms;
    hand.time = time;
    LogClientRequest(ui, network, address, agent, hand.now - std::chrono::milliseconds(ms), hand.Clock());
  }

  fakes::FakeUi ui;
  fakes::FakeNetwork network;
  HandClock hand;
};

TEST_F(ClientLogTest, FirstRequestAppendsARowAndLaterOnesUpdateIt) {
  const std::uint32_t phone = Address(192, 168, 1, 20);
  network.names[phone] = "phone.fritz.box";
  Request(phone, "Mozilla/5.0 (iPhone; U; CPU iPhone OS 3_1_3)", 12, {9, 5, 3});
  ASSERT_EQ(ui.Log().size(), 1u);
  EXPECT_EQ(ui.Log()[0],
            (ClientLogRow{"09:05:03", "192.168.1.20", "phone.fritz.box", "iPhone (Mozilla/5.0)", "1", "12"}));

  network.names[phone] = "renamed.fritz.box";
  Request(phone, "Opera/9.80 (Windows NT 6.1; U; de)", 30, {23, 0, 59});
  ASSERT_EQ(ui.Log().size(), 1u);
  EXPECT_EQ(ui.Log()[0],
            (ClientLogRow{"23:00:59", "192.168.1.20", "phone.fritz.box", "Windows NT 6.1 (Opera/9.80)", "2", "42"}));
  EXPECT_EQ(network.lookups, 1) << "only a new row is looked up";
}

TEST_F(ClientLogTest, AnAddressNobodyNamesKeepsUnknownForTheLifeOfItsRow) {
  const std::uint32_t laptop = Address(10, 0, 0, 7);
  Request(laptop, "Wget/1.12", 5, {10, 0, 0});
  EXPECT_EQ(ui.Log()[0][kLogDeviceNameColumn], "<unknown>");
  network.names[laptop] = "laptop";
  Request(laptop, "Wget/1.12", 5, {10, 0, 1});
  EXPECT_EQ(ui.Log()[0][kLogDeviceNameColumn], "<unknown>");
  EXPECT_EQ(ui.Log()[0][kLogRequestsColumn], "2");
}

TEST_F(ClientLogTest, RowsStayInTheOrderOfFirstRequests) {
  const std::uint32_t a = Address(10, 0, 0, 3), b = Address(10, 0, 0, 1), c = Address(0, 0, 0, 0);
  for (std::uint32_t address : {a, b, a, c, b, a}) Request(address, "x", 1, {12, 0, 0});
  const ClientLogRows log = ui.Log();
  ASSERT_EQ(log.size(), 3u);
  const std::pair<const char*, const char*> expected[] = {{"10.0.0.3", "3"}, {"10.0.0.1", "2"}, {"0.0.0.0", "1"}};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(log[i][kLogAddressColumn], expected[i].first);
    EXPECT_EQ(log[i][kLogRequestsColumn], expected[i].second);
  }
}

TEST_F(ClientLogTest, CountersAreReadBackFromTheirCellsAndEveryMatchingRowIsUpdated) {
  // Rows as the list might hold them: the counters only exist as text.
  ui.EditClientLog([](ClientLogRows& rows) {
    rows.push_back({"01:00:00", "10.0.0.9", "first", "old", " \t41 requests", "+100ms"});
    rows.push_back({"01:00:00", "10.0.0.90", "other", "old", "5", "5"});
    rows.push_back({"01:00:00", "10.0.0.9", "second", "old", "junk", "-20"});
  });
  Request(Address(10, 0, 0, 9), "A/1 (B; c)", 7, {2, 3, 4});
  const ClientLogRows log = ui.Log();
  ASSERT_EQ(log.size(), 3u) << "no row appended while one matches";
  EXPECT_EQ(log[0], (ClientLogRow{"02:03:04", "10.0.0.9", "first", "B (A/1)", "42", "107"}));
  EXPECT_EQ(log[1], (ClientLogRow{"01:00:00", "10.0.0.90", "other", "old", "5", "5"})) << "the IP text must be equal";
  EXPECT_EQ(log[2], (ClientLogRow{"02:03:04", "10.0.0.9", "second", "B (A/1)", "1", "-13"}));
  EXPECT_EQ(network.lookups, 0);
}

// A network of which the log uses only the reverse lookup.
using NamesOnly = fakes::FakeNetwork;

TEST_F(ClientLogTest, ANewRowsDurationIncludesItsLookup) {
  // The lookup takes 250 ms by the hand clock.
  struct SlowNames final : NamesOnly {
    HandClock& hand;
    explicit SlowNames(HandClock& clock) : hand(clock) {}
    std::optional<std::string> ReverseLookup(std::uint32_t) override {
      std::lock_guard guard(hand.lock);
      hand.now += 250ms;
      return "slow";
    }
  } slow(hand);
  LogClientRequest(ui, slow, Address(10, 0, 0, 1), "x", hand.now - 4ms, hand.Clock());
  EXPECT_EQ(ui.Log().at(0)[kLogDurationColumn], "254");
}

// A resolver that holds every lookup until `expected` lookups are under way, so that requests
// are sure to meet between their first look at the log and their edit after the lookup.
class GatedNames final : public NamesOnly {
 public:
  explicit GatedNames(int expected) : expected_(expected) {}
  std::optional<std::string> ReverseLookup(std::uint32_t) override {
    std::unique_lock guard(lock_);
    ++started_;
    changed_.notify_all();
    // Bounded, so that an implementation that looks up fewer times fails instead of hanging.
    changed_.wait_for(guard, 10s, [&] { return started_ >= expected_; });
    return "gated";
  }
  int Started() {
    std::lock_guard guard(lock_);
    return started_;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  int started_ = 0;
  const int expected_;
};

TEST_F(ClientLogTest, FirstRequestsFromOneAddressAtTheSameMomentMakeOneRow) {
  GatedNames names(2);
  const ClientLogClock clock = hand.Clock();
  std::vector<std::thread> handlers;
  for (int i = 0; i < 2; ++i) {
    handlers.emplace_back([&] { LogClientRequest(ui, names, Address(10, 0, 0, 5), "x", hand.now - 3ms, clock); });
  }
  for (std::thread& handler : handlers) handler.join();
  EXPECT_EQ(names.Started(), 2) << "both requests found no row, so both looked the name up";
  const ClientLogRows log = ui.Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0][kLogRequestsColumn], "2");
  EXPECT_EQ(log[0][kLogDurationColumn], "6");
  EXPECT_EQ(log[0][kLogDeviceNameColumn], "gated");
}

// Ends the process if a test has not finished within its deadline: a deadlock would otherwise
// hold the whole run.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::seconds deadline)
      : thread_([this, deadline] {
          std::unique_lock guard(lock_);
          if (!done_.wait_for(guard, deadline, [&] { return finished_; })) {
            std::fprintf(stderr, "deadlock: the test did not finish within its deadline\n");
            std::abort();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard guard(lock_);
      finished_ = true;
    }
    done_.notify_all();
    thread_.join();
  }

 private:
  std::mutex lock_;
  std::condition_variable done_;
  bool finished_ = false;
  std::thread thread_;
};

// Request handlers log and test the address list while the user adds, fills, removes and scrolls
// rows and the scroller follows: no request may be lost, no address may get two rows, and nobody
// may wait for anybody for good.
TEST(ClientLogConcurrencyTest, HandlersLogEveryRequestWhileTheListIsEditedAndScrolled) {
  constexpr int kHandlers = 64, kRequestsEach = 100;
  const std::uint32_t addresses[8] = {Address(192, 168, 1, 1), Address(192, 168, 1, 2), Address(10, 0, 0, 1),
                                      Address(10, 0, 0, 2),    Address(127, 0, 0, 1),   Address(0, 0, 0, 0),
                                      Address(172, 16, 5, 4),  Address(192, 168, 1, 10)};
  Watchdog watchdog(120s);
  fakes::FakeUi ui;
  fakes::FakeNetwork network;
  network.names[Address(127, 0, 0, 1)] = "localhost";
  network.names[Address(10, 0, 0, 1)] = "nas";
  ImageTable images;
  ASSERT_TRUE(ui.OpenMainWindow("t", 640, 480));
  CreateMainWindowControls(ui, images);
  const Tick start{};
  const ClientLogClock clock{[&] { return start + 3ms; }, [] { return TimeOfDay{12, 34, 56}; }};

  std::atomic<bool> stopScroller{false};
  std::thread scroller([&] {
    AddressScrollerOptions options;
    options.keepPolling = [&] { return !stopScroller.load(); };
    options.sleep = [](std::chrono::milliseconds) { std::this_thread::sleep_for(1ms); };
    RunAddressScroller(ui, options);
  });

  std::atomic<bool> go{false};
  std::atomic<int> finished{0};
  std::atomic<int> missingControls{0};
  std::vector<std::thread> handlers;
  for (int h = 0; h < kHandlers; ++h) {
    handlers.emplace_back([&, h] {
      while (!go.load()) std::this_thread::yield();
      for (int r = 0; r < kRequestsEach; ++r) {
        const std::uint32_t peer = addresses[(h + r) % 8];
        {
          // The listed-addresses test: every row reached holds its controls while the lock is held.
          std::lock_guard guard(AddressListLock());
          for (const AddressRow* row = AddressRowList.load(); row; row = row->next) {
            if (!ui.Has(row->addressField) || !ui.Has(row->removeButton)) ++missingControls;
            (void)ui.AddressValue(row->addressField);
          }
        }
        LogClientRequest(ui, network, peer, "Mozilla/5.0 (Android; x)", start, clock);
      }
      ++finished;
    });
  }

  // The user, on this thread, as the main loop would run the rules.
  int step = 0;
  go = true;
  while (finished.load() < kHandlers) {
    AddAddressRow(ui, images);
    AddressRow* last = nullptr;
    int rows = 0;
    {
      std::lock_guard guard(AddressListLock());
      for (AddressRow* row = AddressRowList.load(); row; row = row->next, ++rows) last = row;
    }
    if (last) ui.TypeAddress(last->addressField, addresses[step % 8] | 1u);
    if (rows > 5 || step % 3 == 0) {
      int remove = 0;
      {
        std::lock_guard guard(AddressListLock());
        AddressRow* head = AddressRowList.load();
        if (head) remove = (step % 2 ? head : last)->removeButton;
      }
      if (remove) ScanAddressRows(ui, network, remove);
    }
    ui.Scroll(kAddressScroll, (step * 37) % 1000);
    ++step;
  }
  for (std::thread& handler : handlers) handler.join();
  stopScroller = true;
  scroller.join();

  EXPECT_EQ(missingControls.load(), 0);
  const ClientLogRows log = ui.Log();
  ASSERT_EQ(log.size(), 8u);
  std::set<std::string> seen;
  for (const ClientLogRow& row : log) {
    SCOPED_TRACE(row[kLogAddressColumn]);
    seen.insert(row[kLogAddressColumn]);
    EXPECT_EQ(row[kLogRequestsColumn], "800");
    EXPECT_EQ(row[kLogDurationColumn], "2400");
    EXPECT_EQ(row[kLogTimeColumn], "12:34:56");
    EXPECT_EQ(row[kLogDeviceTypeColumn], "Android (Mozilla/5.0)");
    const std::string name = row[kLogAddressColumn] == "127.0.0.1"  ? "localhost"
                             : row[kLogAddressColumn] == "10.0.0.1" ? "nas"
                                                                    : "<unknown>";
    EXPECT_EQ(row[kLogDeviceNameColumn], name);
  }
  std::set<std::string> expected;
  for (std::uint32_t address : addresses) expected.insert(DottedAddress(address));
  EXPECT_EQ(seen, expected);
  EXPECT_GT(step, 0);

  for (AddressRow* row = AddressRowList.load(); row;) delete std::exchange(row, row->next);
  AddressRowList = nullptr;
}

}  // namespace
}  // namespace tv
