// The Windows program exactly as main_win32.cpp puts it together, with its window and network
// ports wrapped so that every wait of the main loop, every poll, every handler and every socket
// call of a handler is timed. On exit it writes the records to the file named by
// TASTOVOLANT_TRACE (one line each: microseconds, what, connection, value), for
// bench/trace_report.py. Used by bench/run.sh to say where the time of a request goes under Wine.
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "app/program.h"
#include "app/program_state.h"
#include "server/client_log.h"
#include "server/web_server.h"
#include "platform/win32/digest_win32.h"
#include "platform/win32/keys_win32.h"
#include "platform/win32/network_win32.h"
#include "platform/win32/shell_win32.h"
#include "platform/win32/tcp_client_win32.h"
#include "platform/win32/text_win32.h"
#include "platform/win32/thread_pool_win32.h"
#include "platform/win32/ui_win32.h"

#ifndef TASTOVOLANT_SITE
#error "TASTOVOLANT_SITE names the maker's web site; the build sets it"
#endif

namespace {

using namespace tv;

enum Kind : unsigned {
  kWaitBegin,  // value: time-out
  kWaitEnd,    // value: event kind
  kPoll,       // value: server event
  kQueued,     // a handler was handed to the pool
  kStarted,    // the handler runs
  kPeek,       // value: bytes seen
  kReceive,    // value: bytes taken
  kWaitReadable,
  kSent,      // value: bytes accepted
  kFinished,  // the handler, its log entry included, is done
  kKeyBegin,
  kKeyEnd,
  kPointerDone,  // the main loop read the pointer
  kPollBegin,
  kKinds
};
const char* const kKindNames[kKinds] = {"wait_begin", "wait_end", "poll",          "queued",    "started",
                                        "peek",       "receive",  "wait_readable", "sent",      "finished",
                                        "key_begin",  "key_end",  "pointer_done",  "poll_begin"};

struct Record {
  long long ticks;
  unsigned kind;
  unsigned long long client;
  long long value;
};

class Trace {
 public:
  Trace() : records_(kCapacity) { QueryPerformanceFrequency(&frequency_); }
  void Add(Kind kind, unsigned long long client = 0, long long value = 0) {
    const std::size_t at = next_.fetch_add(1, std::memory_order_relaxed);
    if (at >= kCapacity) return;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    records_[at] = {now.QuadPart, kind, client, value};
  }
  void Write(const char* path) const {
    FILE* file = std::fopen(path, "w");
    if (!file) return;
    const std::size_t count = std::min<std::size_t>(next_.load(), kCapacity);
    for (std::size_t i = 0; i < count; ++i) {
      const Record& r = records_[i];
      std::fprintf(file, "%.1f %s %llu %lld\n",
                   static_cast<double>(r.ticks) * 1e6 / static_cast<double>(frequency_.QuadPart), kKindNames[r.kind],
                   r.client, r.value);
    }
    std::fclose(file);
  }

 private:
  static constexpr std::size_t kCapacity = 4'000'000;
  std::vector<Record> records_;
  std::atomic<std::size_t> next_{0};
  LARGE_INTEGER frequency_{};
};

Trace* trace = nullptr;
thread_local unsigned long long handlerClient = 0;

class TracedNetwork final : public Network {
 public:
  explicit TracedNetwork(Network& inner) : inner_(inner) {}
  void StartSockets() override { inner_.StartSockets(); }
  void CleanupSockets() override { inner_.CleanupSockets(); }
  bool CreateServer(int port) override { return inner_.CreateServer(port); }
  void CloseServer() override { inner_.CloseServer(); }
  int ServerPort() override { return inner_.ServerPort(); }
  ServerEvent PollServer() override {
    // The experiment "network thread": the main loop's polls find nothing; a thread of its own
    // polls instead (see main).
    if (pollerThread && GetCurrentThreadId() != pollerThread) return ServerEvent::Nothing;
    trace->Add(kPollBegin);
    const ServerEvent event = inner_.PollServer();
    trace->Add(kPoll, event == ServerEvent::Nothing ? 0 : inner_.EventClient(), static_cast<long long>(event));
    return event;
  }
  // The poll loop asks for the connection just before it starts its handler.
  ClientId EventClient() override { return lastNamed = inner_.EventClient(); }
  static inline ClientId lastNamed = 0;
  static inline DWORD pollerThread = 0;
  void CloseClient(ClientId client) override { inner_.CloseClient(client); }
  int Receive(ClientId client, std::span<unsigned char> buffer) override {
    const int got = inner_.Receive(client, buffer);
    trace->Add(kReceive, client, got);
    return got;
  }
  int Peek(ClientId client, std::span<unsigned char> buffer) override {
    const int got = inner_.Peek(client, buffer);
    trace->Add(kPeek, client, got);
    return got;
  }
  void WaitReadable(ClientId client, int timeoutMs) override {
    trace->Add(kWaitReadable, client, timeoutMs);
    inner_.WaitReadable(client, timeoutMs);
  }
  int Send(ClientId client, std::span<const unsigned char> bytes) override {
    const int sent = inner_.Send(client, bytes);
    trace->Add(kSent, client, sent);
    return sent;
  }
  std::uint32_t PeerAddress(ClientId client) override { return inner_.PeerAddress(client); }
  std::string HostName() override { return inner_.HostName(); }
  std::optional<std::string> ReverseLookup(std::uint32_t address) override { return inner_.ReverseLookup(address); }

 private:
  Network& inner_;
};

class TracedKeys final : public Keys {
 public:
  explicit TracedKeys(Keys& inner) : inner_(inner) {}
  void SendMediaKey(std::uint16_t key) override {
    trace->Add(kKeyBegin, handlerClient, key);
    inner_.SendMediaKey(key);
    trace->Add(kKeyEnd, handlerClient, key);
  }

 private:
  Keys& inner_;
};

// Only the main loop's wait is timed; everything else goes straight through.
class TracedUi final : public Ui {
 public:
  explicit TracedUi(Ui& inner) : inner_(inner) {}
  void Initialise() override { inner_.Initialise(); }
  bool OpenMainWindow(std::string_view title, int width, int height) override {
    return inner_.OpenMainWindow(title, width, height);
  }
  void SetWindowBackdrop(int window, std::shared_ptr<const Image> image) override {
    inner_.SetWindowBackdrop(window, std::move(image));
  }
  void ShowMainWindow() override { inner_.ShowMainWindow(); }
  bool MainWindowIsForeground() override { return inner_.MainWindowIsForeground(); }
  void BringMainWindowToForeground() override { inner_.BringMainWindowToForeground(); }
  bool OpenPane(int window, Rect rect, std::string_view text) override { return inner_.OpenPane(window, rect, text); }
  int CreateControl(int window, const ControlPlan& plan) override { return inner_.CreateControl(window, plan); }
  void DestroyControl(int control) override { inner_.DestroyControl(control); }
  void EnableControl(int control, bool enabled) override { inner_.EnableControl(control, enabled); }
  void SetButtonText(int control, std::string_view text) override { inner_.SetButtonText(control, text); }
  int SpinValue(int control) override { return inner_.SpinValue(control); }
  void SetChecked(int control, bool checked) override { inner_.SetChecked(control, checked); }
  void SetScrollPage(int control, int page) override { inner_.SetScrollPage(control, page); }
  void SetScrollPosition(int control, int position) override { inner_.SetScrollPosition(control, position); }
  void SetPicture(int control, std::shared_ptr<const Image> picture) override {
    if (control == kStatusView && withoutAnimation) return;
    inner_.SetPicture(control, std::move(picture));
  }
  bool IsChecked(int control) override { return inner_.IsChecked(control); }
  std::uint32_t AddressValue(int control) override { return inner_.AddressValue(control); }
  int ScrollPosition(int control) override { return inner_.ScrollPosition(control); }
  void MoveControl(int control, int x, int y) override { inner_.MoveControl(control, x, y); }
  int ControlTop(int control) override { return inner_.ControlTop(control); }
  void ShowControl(int control, bool shown) override { inner_.ShowControl(control, shown); }
  void RequestEnd(int exitCode) override { inner_.RequestEnd(exitCode); }
  void EditClientLog(const std::function<void(ClientLogRows&)>& edit) override {
    if (withoutLog) return;
    inner_.EditClientLog(edit);
  }

  // Experiments that say what a part costs by leaving it out (TASTOVOLANT_TRACE_WITHOUT names
  // "log" and/or "animation"), or what a change of design would give ("network-thread": the
  // server is polled by a thread of its own that waits for the sockets' activity and takes
  // every event at once, instead of once per pass of the main loop). Never used for a figure of
  // the table.
  bool withoutLog = false;
  bool withoutAnimation = false;
  UiEvent WaitEvent(int timeoutMs) override {
    trace->Add(kWaitBegin, 0, timeoutMs);
    const UiEvent event = inner_.WaitEvent(timeoutMs);
    trace->Add(kWaitEnd, 0, static_cast<long long>(event.kind));
    return event;
  }
  PointerState Pointer() override {
    const PointerState pointer = inner_.Pointer();
    trace->Add(kPointerDone);
    return pointer;
  }
  MessageAnswer ShowMessage(std::string_view title, std::string_view text, MessageIcon icon,
                            MessageButtons buttons) override {
    return inner_.ShowMessage(title, text, icon, buttons);
  }

 private:
  Ui& inner_;
};

}  // namespace

int main() {
  trace = new Trace;
  tv::Win32Ui win32Ui;
  tv::GdiTextRenderer text;
  tv::WinsockNetwork winsock;
  tv::Win32Shell shell;
  tv::WinsockTcpConnector connector;
  tv::BCryptFileDigest files;
  tv::Win32Keys win32Keys;
  TracedUi ui(win32Ui);
  char without[64] = {};
  bool networkThread = false;
  if (GetEnvironmentVariableA("TASTOVOLANT_TRACE_WITHOUT", without, sizeof without)) {
    ui.withoutLog = std::strstr(without, "log") != nullptr;
    ui.withoutAnimation = std::strstr(without, "animation") != nullptr;
    networkThread = std::strstr(without, "network-thread") != nullptr;
  }
  TracedNetwork network(winsock);
  TracedKeys keys(win32Keys);
  tv::ProgramSettings settings{TASTOVOLANT_SITE};
  settings.startHandler = [](std::function<void()> body) {
    // The connection a handler serves is the one the latest poll named.
    const ClientId client = TracedNetwork::lastNamed;
    trace->Add(kQueued, client);
    tv::StartPooledThread([body = std::move(body), client] {
      handlerClient = client;
      trace->Add(kStarted, client);
      body();
      trace->Add(kFinished, client);
    });
  };
  if (!networkThread) {
    win32Ui.SetActivityEvent(winsock.WatchActivity(), tv::WinsockSockets::ActivitySeen,
                             [&winsock] { return winsock.HasFoundEvents(); });
  }
  tv::ServerPorts pollerPorts{ui,
                              network,
                              keys,
                              settings.startHandler,
                              [&](const tv::RequestContext& request) {
                                tv::LogClientRequest(ui, network, request.peerAddress, request.userAgent,
                                                     request.startTick);
                              },
                              {}};
  if (networkThread) {
    HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread([&pollerPorts, started, activity = static_cast<HANDLE>(tv::WinsockSockets::ActivityEvent())] {
      TracedNetwork::pollerThread = GetCurrentThreadId();
      SetEvent(started);
      for (;;) {
        WaitForSingleObject(activity, 3);
        if (!tv::ServerRunning) continue;
        // Every event that waits, then the next wait.
        for (int i = 0; i < 64; ++i) {
          const tv::ServerEvent event = pollerPorts.network.PollServer();
          if (event == tv::ServerEvent::DataWaiting || event == tv::ServerEvent::Marker) {
            const tv::ClientId client = pollerPorts.network.EventClient();
            pollerPorts.startHandler([&pollerPorts, client] { tv::RequestHandler(pollerPorts, client); });
          }
          if (event == tv::ServerEvent::Nothing) break;
        }
      }
    }).detach();
    WaitForSingleObject(started, 5000);
  }
  tv::Program program(tv::Ports{ui, text, network, shell, connector, files, keys}, std::move(settings));
  const int exitCode = program.Run();
  char path[1024] = {};
  if (GetEnvironmentVariableA("TASTOVOLANT_TRACE", path, sizeof path)) trace->Write(path);
  ExitProcess(static_cast<UINT>(exitCode));
}
