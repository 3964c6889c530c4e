// Hostile clients against the web server, and hostile servers against the update check, on real
// loopback sockets: the posix network adapter, the program's window on fakes, and the client log
// kept as the program keeps it. Every case is bounded in connections, bytes and time.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <thread>

#include "access_editor/address_row.h"
#include "app/main_window.h"
#include "app/program_state.h"
#include "assets/catalogue.h"
#include "fakes/fake_program.h"
#include "platform/posix/network_posix.h"
#include "platform/posix/tcp_client_posix.h"
#include "server/client_log.h"
#include "server/web_server.h"
#include "update/update_checker.h"
#include "unit/loopback_client.h"

namespace tv {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using loopback::Client;
using loopback::WaitFor;


int EntriesIn(const char* folder) {
  const std::filesystem::directory_iterator entries(folder);
  return static_cast<int>(std::distance(begin(entries), end(entries)));
}
int OpenFiles() { return EntriesIn("/proc/self/fd"); }
int Threads() { return EntriesIn("/proc/self/task"); }

// The cap case holds both ends of more than a thousand connections in this process.
bool RaiseFileLimit(rlim_t wanted) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
  if (limit.rlim_cur >= wanted) return true;
  limit.rlim_cur = std::min(wanted, limit.rlim_max);
  return setrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur >= wanted;
}

std::string Body(const std::string& answer) {
  const std::size_t end = answer.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

// An answer that arrived whole: 200, and exactly the body its head announces.
bool IsWholeAnswer(const std::string& answer) {
  const std::size_t end = answer.find("\r\n\r\n");
  const std::size_t at = answer.find("Content-Length: ");
  return answer.starts_with("HTTP/1.1 200 OK\r\n") && end != std::string::npos && at < end &&
         answer.size() == end + 4 + std::stoul(answer.substr(at + 16));
}

// Request handlers on threads of their own, as the program starts them, counted so that a case
// can wait for every one to end.
class HandlerThreads {
 public:
  void Start(std::function<void()> body) {
    {
      std::lock_guard guard(lock_);
      ++running_;
    }
    std::thread([this, body = std::move(body)] {
      body();
      std::lock_guard guard(lock_);
      --running_;
      ended_.notify_all();
    }).detach();
  }
  bool WaitUntilNoneRuns(std::chrono::milliseconds timeout) {
    std::unique_lock guard(lock_);
    return ended_.wait_for(guard, timeout, [this] { return running_ == 0; });
  }

 private:
  std::mutex lock_;
  std::condition_variable ended_;
  int running_ = 0;
};

const std::string kPress = "GET /host?m=vu HTTP/1.1\r\nHost: pc\r\nUser-Agent: Phone/1.0 (Android; x)\r\n\r\n";
constexpr std::size_t kBigFileBytes = 8 * 1024 * 1024;

// The program's server on an ephemeral loopback port with a poller in the main loop's role, and
// the fixture's own count of open files and threads to see that an attack leaves nothing behind.
class HostileClients : public ::testing::Test, public fakes::ProgramHarness {
 protected:
  void SetUp() override {
    ASSERT_TRUE(RaiseFileLimit(4096)) << "the cap case needs room for 2 x 1025 sockets";
    folder_ = std::filesystem::temp_directory_path() / ("tastovolant_hostile_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder_ / "work" / "GFX");
    std::ofstream(folder_ / "work" / "GFX" / "pp_0.png", std::ios::binary) << "PNG";
    {
      std::ofstream big(folder_ / "work" / "big.png", std::ios::binary);
      for (std::size_t i = 0; i < kBigFileBytes; ++i) big.put(static_cast<char>('a' + i % 26));
    }
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(folder_ / "work");

    ASSERT_TRUE(program_.StartUp());
    ServerRunning = 0;
    ports_.startHandler = [this](std::function<void()> body) { handlers_.Start(std::move(body)); };
    // As the program logs; the reverse lookup goes to a fake, so no resolver is asked about the
    // test's loopback addresses.
    ports_.logRequest = [this](const RequestContext& request) {
      std::size_t longest = longestHead_;
      while (request.head.size() > longest && !longestHead_.compare_exchange_weak(longest, request.head.size())) {
      }
      LogClientRequest(ui, lookups_, request.peerAddress, request.userAgent, request.startTick);
    };
    ui.TypeSpin(kPortSpin, 0);
    StartStopServer(ports_);
    ASSERT_EQ(ServerRunning, 1);
    port_ = posix_.ServerPort();
    ASSERT_GT(port_, 0);
    polling_ = true;
    poller_ = std::thread([this] {
      while (polling_) {
        PollServerOnce(ports_);
        std::this_thread::sleep_for(50us);
      }
    });
    ui.SetChecked(kAllowAllBox, true);
    filesBefore_ = OpenFiles();
    threadsBefore_ = Threads();
  }
  void TearDown() override {
    polling_ = false;
    if (poller_.joinable()) poller_.join();
    if (ServerRunning) StartStopServer(ports_);
    // Closing the server wakes every handler; one still running after this would use a dead
    // fixture.
    if (!handlers_.WaitUntilNoneRuns(60s)) {
      ADD_FAILURE() << "handlers still run after the server closed";
      std::abort();
    }
    if (!previous_.empty()) std::filesystem::current_path(previous_);
    std::filesystem::remove_all(folder_);
    AddressRowList = nullptr;
  }

  // Every handler ended and the server holds no more sockets or threads than before the attack.
  [[nodiscard]] bool Recovered() {
    return handlers_.WaitUntilNoneRuns(30s) &&
           WaitFor([&] { return OpenFiles() <= filesBefore_ && Threads() <= threadsBefore_; }, 10s);
  }
  std::string RecoveryReport() {
    return "open files " + std::to_string(OpenFiles()) + " (before " + std::to_string(filesBefore_) + "), threads " +
           std::to_string(Threads()) + " (before " + std::to_string(threadsBefore_) + ")";
  }

  std::string Ask(std::string_view request, const char* source = nullptr) {
    Client client(port_, source);
    EXPECT_TRUE(client.Connected());
    client.Send(request);
    return client.ReadAnswer();
  }
  // The client log's request count per address.
  std::map<std::string, std::int64_t> RequestsPerAddress() {
    std::map<std::string, std::int64_t> counts;
    for (const ClientLogRow& row : ui.Log()) counts[row[kLogAddressColumn]] += ReadLogNumber(row[kLogRequestsColumn]);
    return counts;
  }
  std::int64_t LoggedRequests() {
    std::int64_t sum = 0;
    for (const auto& [address, count] : RequestsPerAddress()) sum += count;
    return sum;
  }
  std::string HostFrame() {
    std::string frame(assets::AsText(assets::kHostFrame));
    return frame.replace(frame.find("HOST"), 4, posix_.HostName());
  }

  PosixNetwork posix_;
  fakes::FakeNetwork lookups_;
  Program program_{Ports{ui, text, posix_, shell, connector, files, keys}, settings};
  ServerPorts ports_{ui, posix_, keys, {}, {}, {}};
  HandlerThreads handlers_;
  std::atomic<std::size_t> longestHead_{0};
  int port_ = 0;

 private:
  std::filesystem::path folder_, previous_;
  std::atomic<bool> polling_{false};
  std::thread poller_;
  int filesBefore_ = 0, threadsBefore_ = 0;
};

TEST_F(HostileClients, SlowClientsDoNotHoldUpAPhonesPresses) {
  // 500 connections each dribbling a request, a byte every 200 ms: 5 s of attack.
  constexpr int kSlowClients = 500;
  const std::string slowRequest = "GET /error.png HTTP/1.1\r\n\r\n";
  std::vector<std::unique_ptr<Client>> slow;
  for (int i = 0; i < kSlowClients; ++i) {
    slow.push_back(std::make_unique<Client>(port_));
    ASSERT_TRUE(slow.back()->Connected());
  }
  std::atomic<bool> dribbling{true};
  std::thread dribbler([&] {
    const auto start = Clock::now();
    for (std::size_t i = 0; i < slowRequest.size(); ++i) {
      for (auto& client : slow) client->Send(slowRequest.substr(i, 1));
      std::this_thread::sleep_until(start + (i + 1) * 200ms);
    }
    dribbling = false;
  });

  int answered = 0, duringAttack = 0;
  for (int press = 0; press < 200; ++press) {
    const std::string answer = Ask(kPress);
    if (IsWholeAnswer(answer) && Body(answer) == HostFrame()) ++answered;
    if (dribbling) ++duringAttack;
    std::this_thread::sleep_for(10ms);
  }
  dribbler.join();
  EXPECT_EQ(answered, 200);
  EXPECT_GT(duringAttack, 0) << "the presses came while the slow clients were sending";
  EXPECT_EQ(keys.Pressed(), std::vector<std::uint16_t>(200, 0xAF));

  int slowAnswered = 0;
  for (auto& client : slow) slowAnswered += Body(client->ReadAnswer()) == assets::AsText(assets::kErrorImage);
  EXPECT_EQ(slowAnswered, kSlowClients) << "the slow clients are served too, once their heads are whole";
  slow.clear();
  EXPECT_TRUE(Recovered()) << RecoveryReport();
  EXPECT_EQ(RequestsPerAddress(), (std::map<std::string, std::int64_t>{{"127.0.0.1", 200 + kSlowClients}}));
}

TEST_F(HostileClients, ConnectionsBeyondTheCapAreClosedAtOnceAndServiceComesBack) {
  constexpr int kCap = 1024;
  const int filesBefore = OpenFiles();
  std::vector<std::unique_ptr<Client>> idle;
  for (int i = 0; i < kCap; ++i) {
    idle.push_back(std::make_unique<Client>(port_));
    ASSERT_TRUE(idle.back()->Connected()) << i;
  }
  // Both ends of every connection are in this process: the server holds the cap once it has
  // accepted them all.
  ASSERT_TRUE(WaitFor([&] { return OpenFiles() >= filesBefore + 2 * kCap; }, 20s)) << OpenFiles();

  {
    Client beyond(port_);
    ASSERT_TRUE(beyond.Connected());
    EXPECT_TRUE(beyond.ServerClosed(5s)) << "the connection beyond the cap is closed at once";
  }
  EXPECT_FALSE(idle.front()->ServerClosed(0ms));
  EXPECT_FALSE(idle.back()->ServerClosed(0ms));

  idle.resize(kCap - 10);  // ten idle clients give up
  bool served = false;
  for (int attempt = 0; attempt < 200 && !served; ++attempt) {
    served = Body(Ask("GET / HTTP/1.1\r\n\r\n")) == assets::AsText(assets::kMainPage);
    if (!served) std::this_thread::sleep_for(20ms);
  }
  EXPECT_TRUE(served) << "the server serves again once some connections closed";
  idle.clear();
  EXPECT_TRUE(Recovered()) << RecoveryReport();
}

TEST_F(HostileClients, ClientsThatResetMidRequestOrMidAnswerLeaveNothingBehind) {
  struct Case {
    const char* name;
    std::string sent;       // before the reset
    std::size_t readFirst;  // answer bytes read before the reset
  };
  const Case cases[] = {
      {"right after connecting", "", 0},
      {"inside the request line", "GET /host?m=v", 0},
      {"before the blank line", "GET /error.png HTTP/1.1\r\nHost: x\r\n", 0},
      {"before reading the answer", "GET /big.png HTTP/1.1\r\n\r\n", 0},
      {"in the middle of the answer", "GET /big.png HTTP/1.1\r\n\r\n", 256 * 1024},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (int round = 0; round < 10; ++round) {
      Client client(port_);
      ASSERT_TRUE(client.Connected());
      client.Send(c.sent);
      if (c.readFirst > 0) {
        EXPECT_GE(client.ReadBytes(c.readFirst).size(), c.readFirst);
      } else if (!c.sent.empty()) {
        std::this_thread::sleep_for(20ms);  // let a handler take up the request
      }
      client.Reset();
    }
    EXPECT_TRUE(Recovered()) << RecoveryReport();
    const std::string answer = Ask("GET /big.png HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(IsWholeAnswer(answer));
    EXPECT_EQ(Body(answer).size(), kBigFileBytes) << "the next client gets the whole file";
  }
}

TEST_F(HostileClients, HugeHeadsAreCutAtTheBoundAndTheConnectionClosed) {
  std::string lines = "GET /host?m=vu HTTP/1.1\r\n";
  for (int i = 0; lines.size() < 1024 * 1024; ++i) lines += "X-Padding-" + std::to_string(i) + ": aaaaaaaaaaaaaaaa\r\n";
  std::string tinyLinesThatFit = "GET / HTTP/1.1\r\n", tinyLinesOverTheBound = tinyLinesThatFit;
  for (int i = 0; i < 5000; ++i) {
    tinyLinesThatFit += "a\r\n";
    tinyLinesOverTheBound += "ab:\r\n";
  }
  tinyLinesThatFit += "\r\n";
  tinyLinesOverTheBound += "\r\n";
  const std::string page(assets::AsText(assets::kMainPage));

  struct Case {
    const char* name;
    std::string head;
    std::string body;  // of the answer; empty: no answer at all
    bool closed;       // the server closes the connection after it
  };
  const Case cases[] = {
      // The request line is whole, so the cut head is answered as it stands.
      {"1 MiB of header lines", lines, HostFrame(), true},
      {"1 MiB without a line end", "GET /" + std::string(1024 * 1024, 'a'), "", true},
      {"5,000 tiny header lines within the bound", tinyLinesThatFit, page, false},
      {"5,000 tiny header lines over the bound", tinyLinesOverTheBound, page, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    longestHead_ = 0;
    Client client(port_);
    ASSERT_TRUE(client.Connected());
    // The server stops reading at its bound: the rest is sent beside the answer being read.
    std::thread sender([&] { client.Send(c.head); });
    const std::string answer = client.ReadAnswer();
    sender.join();
    EXPECT_EQ(Body(answer), c.body);
    EXPECT_EQ(answer.empty(), c.body.empty());
    EXPECT_EQ(client.ServerClosed(c.closed ? 3s : 300ms), c.closed);
    ASSERT_TRUE(handlers_.WaitUntilNoneRuns(30s));
    EXPECT_LE(longestHead_.load(), HeadLimits{}.maxBytes) << "the server never holds more than its bound";
    EXPECT_TRUE(IsWholeAnswer(Ask("GET / HTTP/1.1\r\n\r\n"))) << "the next client is served";
  }
  EXPECT_EQ(keys.Pressed(), std::vector<std::uint16_t>{0xAF}) << "only the whole request line pressed its key";
  EXPECT_TRUE(Recovered()) << RecoveryReport();
}

TEST_F(HostileClients, ARefusedClientStaysRefusedWhateverItClaims) {
  ui.SetChecked(kAllowAllBox, false);
  ControlPlan field;
  field.kind = ControlKind::AddressField;
  AddressRow row;
  row.addressField = ui.CreateControl(kAddressListPane, field);
  ui.TypeAddress(row.addressField, 0x0100007F);  // 127.0.0.1
  AddressRowList = &row;
  ui.TypeAddress(kRangeFromField, 0x0100007F);
  ui.TypeAddress(kRangeToField, 0x0100007F);

  const std::string refusal(assets::AsText(assets::kRefusalPage));
  const char* claims[] = {
      "X-Forwarded-For: 127.0.0.1",
      "X-Forwarded-For: 127.0.0.1, 127.0.0.5",
      "X-Real-IP: 127.0.0.1",
      "Forwarded: for=127.0.0.1",
      "Client-IP: 127.0.0.1",
      "True-Client-IP: 127.0.0.1",
      "X-Originating-IP: 127.0.0.1",
      "X-Client-IP: 127.0.0.1",
      "Host: 127.0.0.1",
  };
  for (int mode : {kAllowListBox, kAllowRangeBox}) {
    ui.SetChecked(kAllowListBox, mode == kAllowListBox);
    ui.SetChecked(kAllowRangeBox, mode == kAllowRangeBox);
    for (const char* claim : claims) {
      SCOPED_TRACE(std::string(mode == kAllowListBox ? "list: " : "range: ") + claim);
      const std::string header = std::string(claim) + "\r\n";
      EXPECT_EQ(Body(Ask("GET / HTTP/1.1\r\n" + header + "\r\n", "127.0.0.5")), refusal);
      EXPECT_NE(
          Body(Ask("GET /host?m=pp HTTP/1.1\r\n" + header + header + "\r\n", "127.0.0.5")).find("ZUGRIFF VERWEIGERT!"),
          std::string::npos);
    }
    EXPECT_EQ(Body(Ask("GET / HTTP/1.1\r\n\r\n", "127.0.0.1")), assets::AsText(assets::kMainPage))
        << "the address itself is allowed";
  }
  EXPECT_TRUE(keys.Pressed().empty());
  AddressRowList = nullptr;
}

TEST_F(HostileClients, AFloodFromEightAddressesIsAnsweredAndCountedExactly) {
  constexpr int kRequests = 20000, kClients = 64, kAddresses = 8;
  std::atomic<int> next{0}, answered{0}, presses{0};
  std::array<std::atomic<int>, kAddresses> sent{};
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      const int address = c % kAddresses;
      const std::string source = "127.0.0." + std::to_string(2 + address);
      for (int n = next++; n < kRequests; n = next++) {
        const bool press = n % 10 == 0;
        Client client(port_, source.c_str());
        if (!client.Connected()) continue;
        ++sent[address];
        presses += press;
        client.Send(press ? kPress : "GET / HTTP/1.1\r\nUser-Agent: Flood/1.0 (X11; Linux)\r\n\r\n");
        answered += IsWholeAnswer(client.ReadAnswer());
      }
    });
  }
  for (std::thread& client : clients) client.join();

  int sentInAll = 0;
  for (const auto& count : sent) sentInAll += count;
  EXPECT_EQ(sentInAll, kRequests) << "every connection was accepted";
  EXPECT_EQ(answered, sentInAll);
  ASSERT_TRUE(WaitFor([&] { return LoggedRequests() >= sentInAll; }, 60s)) << LoggedRequests();
  EXPECT_TRUE(Recovered()) << RecoveryReport();
  std::map<std::string, std::int64_t> expected;
  for (int a = 0; a < kAddresses; ++a) expected["127.0.0." + std::to_string(2 + a)] = sent[a];
  EXPECT_EQ(RequestsPerAddress(), expected);
  EXPECT_EQ(ui.Log().size(), static_cast<std::size_t>(kAddresses));
  EXPECT_EQ(static_cast<int>(keys.Pressed().size()), presses.load());
}

// A second handler, started by a poll that saw a request before the first handler took it, used
// to log the empty request it found after the first was done: one request counted twice, and as
// "0.0.0.0" once the server had forgotten the connection.
TEST_F(HostileClients, AHandlerThatFindsNoRequestLogsNone) {
  EXPECT_TRUE(IsWholeAnswer(Ask(kPress)));
  ASSERT_TRUE(WaitFor([&] { return LoggedRequests() == 1; }, 5s));
  const ClientId forgotten = 0xF0F0F0F0;  // no connection of the server's
  RequestHandler(ports_, forgotten);
  ASSERT_TRUE(handlers_.WaitUntilNoneRuns(5s));
  EXPECT_EQ(RequestsPerAddress(), (std::map<std::string, std::int64_t>{{"127.0.0.1", 1}}));
}

// At the cap a new connection used to be closed before the poll had looked at the connections
// whose clients had gone, so while new ones kept coming the server turned everybody away.
TEST(ConnectionCap, ClientsThatHungUpMakeRoomForNewOnesThatKeepComing) {
  constexpr int kCap = 1024, kNewcomers = 50;
  ASSERT_TRUE(RaiseFileLimit(4096));
  PosixNetwork network;
  ASSERT_TRUE(network.CreateServer(0));
  std::vector<std::unique_ptr<Client>> gone;
  int accepted = 0;
  for (int i = 0; i < kCap; ++i) {
    gone.push_back(std::make_unique<Client>(network.ServerPort()));
    ASSERT_TRUE(gone.back()->Connected());
    for (int poll = 0; poll < 1000 && accepted <= i; ++poll) accepted += network.PollServer() == ServerEvent::Accepted;
  }
  ASSERT_EQ(accepted, kCap);
  // Every client hangs up; the server learns of it once its poll looks at those connections.
  for (auto& client : gone) ASSERT_TRUE(client->HangUp());
  ASSERT_TRUE(WaitFor([&] { return std::all_of(gone.begin(), gone.end(), [](auto& c) { return c->HungUp(); }); }, 5s));
  std::vector<std::unique_ptr<Client>> newcomers;
  for (int i = 0; i < kNewcomers; ++i) newcomers.push_back(std::make_unique<Client>(network.ServerPort()));
  accepted = 0;
  for (int poll = 0; poll < 5000 && accepted < kNewcomers; ++poll) {
    accepted += network.PollServer() == ServerEvent::Accepted;
  }
  EXPECT_EQ(accepted, kNewcomers);
  int turnedAway = 0;
  for (auto& client : newcomers) turnedAway += client->ServerClosed(0ms);
  EXPECT_EQ(turnedAway, 0);
  network.CloseServer();
}

// The poll's look at the connections used to stop at the first with something to say, taking
// turns from the last one reported. New connections come after it, so while new ones kept sending,
// a connection whose client had gone was never reached: the table filled with dead sockets, every
// poll grew slower, and the cap was reached.
TEST(ConnectionTurns, GoneClientsAreForgottenWhileNewOnesKeepSending) {
  PosixNetwork network;
  ASSERT_TRUE(network.CreateServer(0));
  const auto accept = [&] {
    for (int poll = 0; poll < 1000; ++poll) {
      if (network.PollServer() == ServerEvent::Accepted) return network.EventClient();
    }
    return ClientId{0};
  };
  Client goneClient(network.ServerPort());
  const ClientId gone = accept();
  ASSERT_NE(gone, 0u);
  // A later connection has had its turn when the first client goes.
  Client later(network.ServerPort());
  later.Send("G");
  ASSERT_NE(accept(), 0u);
  ASSERT_EQ(network.PollServer(), ServerEvent::DataWaiting);
  ASSERT_TRUE(goneClient.HangUp());
  ASSERT_TRUE(WaitFor([&] { return goneClient.HungUp(); }, 3s));
  std::vector<std::unique_ptr<Client>> newcomers;
  for (int i = 0; i < 20; ++i) {
    newcomers.push_back(std::make_unique<Client>(network.ServerPort()));
    newcomers.back()->Send("G");
    ASSERT_NE(accept(), 0u);
    (void)network.PollServer();
  }
  EXPECT_EQ(network.PeerAddress(gone), 0u) << "the server still holds the connection of a client that has gone";
  network.CloseServer();
}

// ---- hostile update servers -----------------------------------------------------------------

// A loopback listener that plays `behaviour` on every connection it accepts, one at a time, until
// finished; the behaviour gets the socket and bounds its own traffic.
class HostileServer {
 public:
  explicit HostileServer(std::function<void(int)> behaviour) : behaviour_(std::move(behaviour)) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener_, 16) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ADD_FAILURE() << "no loopback listener";
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] {
      while (!stop_) {
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        ++connections_;
        behaviour_(connection);
        close(connection);
      }
    });
  }
  ~HostileServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    close(listener_);
  }
  [[nodiscard]] int Port() const { return port_; }
  [[nodiscard]] int Connections() const { return connections_; }

 private:
  std::function<void(int)> behaviour_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::thread thread_;
};

// What one connection of a hostile server saw.
struct Played {
  std::size_t sent = 0;
  bool clientClosed = false;  // the client hung up before the server stopped
};

// Reads the request head, then sends `first` and `filler` over and over until the client stops
// taking them or `limit` bytes went out; with no filler it waits for the client to hang up. Every
// wait is bounded, so a client that neither reads nor closes ends the play too.
Played Play(int connection, const std::string& first, const std::string& filler, std::size_t limit) {
  Played played;
  std::string request;
  char block[512];
  const auto readBy = Clock::now() + 5s;
  while (request.find("\r\n\r\n") == std::string::npos && Clock::now() < readBy) {
    pollfd p{connection, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    const ssize_t got = recv(connection, block, sizeof block, 0);
    if (got <= 0) return played;
    request.append(block, static_cast<std::size_t>(got));
  }
  const auto sendAll = [&](const std::string& bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
      pollfd p{connection, POLLOUT, 0};
      if (poll(&p, 1, 5000) <= 0) return false;
      const ssize_t n = send(connection, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
      if (n <= 0) {
        played.clientClosed = true;
        return false;
      }
      at += static_cast<std::size_t>(n);
      played.sent += static_cast<std::size_t>(n);
    }
    return true;
  };
  if (!sendAll(first)) return played;
  if (filler.empty()) {
    pollfd p{connection, POLLIN, 0};
    played.clientClosed = poll(&p, 1, 5000) > 0 && recv(connection, block, sizeof block, 0) <= 0;
    return played;
  }
  while (played.sent < limit && sendAll(filler)) {
  }
  return played;
}

constexpr std::size_t kTrafficLimit = 64 * 1024 * 1024;

struct HostileUpdateServers : ::testing::Test {
  fakes::FakeUi ui;
  fakes::FakeShell shell;
  fakes::FakeFileDigest files;
  PosixTcpConnector connector;

  // The whole update check, on a thread of its own as the program runs it.
  void Check(const FetchOptions& options) {
    std::thread checker([&] {
      CheckForUpdates(UpdatePorts{ui, shell, connector, files}, "http://127.0.0.1", options);
    });
    checker.join();
  }
};

TEST_F(HostileUpdateServers, NoneOfThemGetsAPromptOrMoreThanItsBoundsHold) {
  const std::string manifest = "ok|9.9|missing.dll|1|0cc175b9c0f1b6a831c399e269772661||";
  const std::string declared = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(manifest.size()) + "\r\n\r\n";
  struct Case {
    const char* name;
    std::string first, filler;
    bool prompts;
    int connections;  // the attempts the server saw
  };
  const Case cases[] = {
      // An honest server, to show that the check reaches its prompt here.
      {"honest", declared + manifest, "", true, 1},
      {"huge Content-Length", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999\r\n\r\n", "x", false, 1},
      {"Content-Length beyond 64 bits", "HTTP/1.1 200 OK\r\nContent-Length: 184467440737095516160\r\n\r\n", "x", false,
       1},
      {"endless head", "HTTP/1.1 200 OK\r\n", "X-Endless: aaaaaaaaaaaaaaaa\r\n", false, 1},
      {"endless body", "HTTP/1.1 200 OK\r\n\r\n", manifest, false, 1},
      {"redirect loop", "HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1/loop\r\n\r\n", "", false, kFetchAttempts},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui.messages.clear();
    std::vector<Played> played;
    {
      HostileServer server(
          [&](int connection) { played.push_back(Play(connection, c.first, c.filler, kTrafficLimit)); });
      FetchOptions options;
      options.port = server.Port();
      options.pause = [](int) { std::this_thread::sleep_for(1ms); };
      Check(options);
    }
    EXPECT_EQ(ui.messages.size(), c.prompts ? 1u : 0u);
    EXPECT_TRUE(shell.opened.empty() && shell.started.empty());
    ASSERT_EQ(played.size(), static_cast<std::size_t>(c.connections));
    for (const Played& connection : played) {
      EXPECT_TRUE(connection.clientClosed) << "the check hung up";
      // What the loopback buffers hold beside what the check read: far below the traffic limit
      // that a check without bounds would have taken in.
      EXPECT_LT(connection.sent, kTrafficLimit / 2);
    }
  }
}

TEST_F(HostileUpdateServers, AServerSendingAByteEveryFourSecondsHoldsOnlyItsOwnThread) {
  // The server's clock is the check's own idle pauses: a byte every 4 s of them, for 30 minutes,
  // then it hangs up and takes no more connections.
  const std::string head = "HTTP/1.1 200 OK\r\nX-Slow: " + std::string(450, 'a');
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  int connection = -1, trickled = 0, failedSends = 0;
  long long pausedMs = 0, nextByteMs = 0;
  FetchOptions options;
  options.port = ntohs(address.sin_port);
  options.pause = [&](int ms) {
    pausedMs += ms;
    if (connection == -1) connection = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (connection < 0 || pausedMs < nextByteMs) return;
    if (trickled < static_cast<int>(head.size())) {
      // A check that gave up on this connection would make these fail.
      if (send(connection, head.data() + trickled++, 1, MSG_NOSIGNAL) != 1) ++failedSends;
      nextByteMs = pausedMs + 4000;
      return;
    }
    close(connection);
    close(listener);
    connection = listener = -2;
  };
  Check(options);
  if (listener >= 0) close(listener);
  if (connection >= 0) close(connection);
  EXPECT_EQ(trickled, static_cast<int>(head.size()));
  EXPECT_EQ(failedSends, 0) << "each byte restarted the check's wait on the same connection";
  EXPECT_GE(pausedMs, 4000LL * static_cast<long long>(head.size() - 1));
  EXPECT_TRUE(ui.messages.empty());
}

// A Location line with a lone line feed used to carry the rest of the line into the next request,
// so a server could add headers to a request sent to another host.
TEST(HostileUpdateServer, ARedirectCannotSmuggleALineIntoTheNextRequest) {
  fakes::ScriptedConnector connector(
      {fakes::Answering("HTTP/1.1 302 Found\r\nLocation: http://mirror.test/u\nX-Injected: 1\r\n\r\n"),
       fakes::Answering("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")});
  FetchResult request;
  request.url = "http://update.test/update.php";
  FetchOptions options;
  options.pause = [](int) {};
  const std::optional<FetchResult> result = FetchUrl(connector, request, options);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->url, "mirror.test/u");
  ASSERT_EQ(connector.log.requests.size(), 2u);
  EXPECT_EQ(connector.log.requests[1],
            "GET /u HTTP/1.1\r\nHost: mirror.test\r\nUser-Agent: Zorvane Updater (Tastovolant)\r\n\r\n");
}

}  // namespace
}  // namespace tv
