// The portable server core natively: the program's server, request intake, routes and client log
// on the posix network adapter, with a window that admits everybody and keys that only count.
// A poller thread plays the main loop's part; handlers run on reusable threads that grow in
// number as needed, as the Windows program's thread pool does.
//
//   native_core_server [LIFETIME_SECONDS]
//
// Listens on a port the system picks and prints "listening port=N". Ends at "quit" or the end of
// its input (or after its lifetime, default 900 s) and prints the client log's request count for
// 127.0.0.1 and the media keys pressed.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include "app/main_window.h"
#include "app/program_state.h"
#include "platform/posix/network_posix.h"
#include "server/client_log.h"
#include "server/web_server.h"

namespace {

using namespace tv;

// The window's part: every box reads as ticked, so everybody is allowed; the log is kept.
class AllowingUi final : public Ui {
 public:
  void Initialise() override {}
  bool OpenMainWindow(std::string_view, int, int) override { return true; }
  void SetWindowBackdrop(int, std::shared_ptr<const Image>) override {}
  void ShowMainWindow() override {}
  bool MainWindowIsForeground() override { return true; }
  void BringMainWindowToForeground() override {}
  bool OpenPane(int, Rect, std::string_view) override { return true; }
  int CreateControl(int, const ControlPlan& plan) override { return plan.number; }
  void DestroyControl(int) override {}
  void EnableControl(int, bool) override {}
  void SetButtonText(int, std::string_view) override {}
  int SpinValue(int) override { return 0; }  // the port field: 0 lets the system pick
  void SetChecked(int, bool) override {}
  void SetScrollPage(int, int) override {}
  void SetScrollPosition(int, int) override {}
  void SetPicture(int, std::shared_ptr<const Image>) override {}
  bool IsChecked(int control) override { return control == kAllowAllBox; }
  std::uint32_t AddressValue(int) override { return 0; }
  int ScrollPosition(int) override { return 0; }
  void MoveControl(int, int, int) override {}
  int ControlTop(int) override { return 0; }
  void ShowControl(int, bool) override {}
  void RequestEnd(int) override {}
  void EditClientLog(const std::function<void(ClientLogRows&)>& edit) override {
    std::lock_guard guard(logLock_);
    edit(rows_);
  }
  UiEvent WaitEvent(int) override { return {}; }
  PointerState Pointer() override { return {}; }
  MessageAnswer ShowMessage(std::string_view, std::string_view, MessageIcon, MessageButtons) override {
    return MessageAnswer::Ok;
  }

  long long RequestsOf(const std::string& address) {
    std::lock_guard guard(logLock_);
    for (const ClientLogRow& row : rows_) {
      if (row[kLogAddressColumn] == address) return ReadLogNumber(row[kLogRequestsColumn]);
    }
    return 0;
  }

 private:
  std::mutex logLock_;
  ClientLogRows rows_;
};

class CountingKeys final : public Keys {
 public:
  void SendMediaKey(std::uint16_t) override { ++pressed; }
  std::atomic<long long> pressed{0};
};

// Reusable handler threads: a job goes to a waiting thread, or to a new one when none waits,
// so requests are served in parallel without a fixed limit.
class GrowingPool {
 public:
  void Start(std::function<void()> job) {
    std::lock_guard guard(lock_);
    jobs_.push_back(std::move(job));
    if (jobs_.size() <= waiting_) {
      wake_.notify_one();
    } else {
      std::thread([this] { Work(); }).detach();
    }
  }

 private:
  void Work() {
    std::unique_lock guard(lock_);
    for (;;) {
      ++waiting_;
      wake_.wait(guard, [this] { return !jobs_.empty(); });
      --waiting_;
      std::function<void()> job = std::move(jobs_.front());
      jobs_.pop_front();
      guard.unlock();
      job();
      guard.lock();
    }
  }

  std::mutex lock_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  std::size_t waiting_ = 0;
};

// The network as the poller sees it, telling it whether the latest poll found anything.
class WatchedNetwork final : public Network {
 public:
  explicit WatchedNetwork(Network& inner) : inner_(inner) {}
  ServerEvent lastEvent = ServerEvent::Nothing;

  void StartSockets() override { inner_.StartSockets(); }
  void CleanupSockets() override { inner_.CleanupSockets(); }
  bool CreateServer(int port) override { return inner_.CreateServer(port); }
  void CloseServer() override { inner_.CloseServer(); }
  int ServerPort() override { return inner_.ServerPort(); }
  ServerEvent PollServer() override { return lastEvent = inner_.PollServer(); }
  ClientId EventClient() override { return inner_.EventClient(); }
  void CloseClient(ClientId client) override { inner_.CloseClient(client); }
  int Receive(ClientId client, std::span<unsigned char> buffer) override { return inner_.Receive(client, buffer); }
  int Peek(ClientId client, std::span<unsigned char> buffer) override { return inner_.Peek(client, buffer); }
  void WaitReadable(ClientId client, int timeoutMs) override { inner_.WaitReadable(client, timeoutMs); }
  int Send(ClientId client, std::span<const unsigned char> bytes) override { return inner_.Send(client, bytes); }
  std::uint32_t PeerAddress(ClientId client) override { return inner_.PeerAddress(client); }
  std::string HostName() override { return inner_.HostName(); }
  std::optional<std::string> ReverseLookup(std::uint32_t address) override { return inner_.ReverseLookup(address); }

 private:
  Network& inner_;
};

}  // namespace

int main(int argc, char** argv) {
  const int lifetime = argc > 1 ? std::max(1, std::atoi(argv[1])) : 900;
  AllowingUi ui;
  PosixNetwork posix;
  WatchedNetwork network(posix);
  CountingKeys keys;
  GrowingPool pool;
  ServerPorts ports{ui,
                    network,
                    keys,
                    [&pool](std::function<void()> job) { pool.Start(std::move(job)); },
                    [&](const RequestContext& request) {
                      LogClientRequest(ui, network, request.peerAddress, request.userAgent, request.startTick);
                    },
                    {}};
  StartStopServer(ports);
  if (ServerRunning != 1) {
    std::fprintf(stderr, "native_core_server: the server did not start\n");
    return 1;
  }
  std::printf("listening port=%d\n", network.ServerPort());
  std::fflush(stdout);

  // The main loop's part. The Windows loop's wait ends on network activity; the posix adapter
  // has no such signal, so a poll that found nothing is followed by a short pause instead.
  std::atomic<bool> polling{true};
  std::thread poller([&] {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(lifetime);
    while (polling && std::chrono::steady_clock::now() < end) {
      PollServerOnce(ports);
      if (network.lastEvent == ServerEvent::Nothing) std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    polling = false;
  });
  std::thread([&] {
    std::string line;
    while (std::getline(std::cin, line) && line != "quit") {
    }
    polling = false;
  }).detach();
  while (polling) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  poller.join();
  // Handlers still under way finish first.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::printf("count=%lld keys=%lld\n", ui.RequestsOf("127.0.0.1"), keys.pressed.load());
  std::fflush(stdout);
  std::_Exit(0);
}
