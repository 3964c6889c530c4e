// Hostile clients against the real exe under Wine: slow clients while a phone presses, a flood from
// eight loopback addresses, huge heads, and file names that try to leave the program's folder.
// What the program did is read from outside, as another program on the PC could: its client log
// through the list view, its threads and handles through the system.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "assets/catalogue.h"
#include "e2e/e2e_support.h"
#include "e2e/program_view.h"

namespace tv::e2e {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A loopback client, optionally from another loopback source address; every wait is bounded.
class Client {
 public:
  explicit Client(int port, const char* source = nullptr) : socket_(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) {
    DWORD timeout = 10000;
    setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    if (source) {
      sockaddr_in local{};
      local.sin_family = AF_INET;
      inet_pton(AF_INET, source, &local.sin_addr);
      bind(socket_, reinterpret_cast<sockaddr*>(&local), sizeof local);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~Client() { closesocket(socket_); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  [[nodiscard]] bool Connected() const { return connected_; }
  bool Send(std::string_view bytes) {
    while (!bytes.empty()) {
      const int sent = send(socket_, bytes.data(), static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20)), 0);
      if (sent <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
  }
  // One answer: its head and the body it announces, or what came before the time-out.
  std::string ReadAnswer(std::chrono::milliseconds timeout = 15s) {
    std::string data;
    std::size_t wanted = std::string::npos;
    const auto deadline = Clock::now() + timeout;
    while (data.size() < wanted && ReadSome(data, deadline)) {
      const std::size_t end = data.find("\r\n\r\n");
      if (wanted == std::string::npos && end != std::string::npos) {
        const std::size_t at = data.find("Content-Length: ");
        wanted = end + 4 + (at < end ? std::stoul(data.substr(at + 16)) : 0);
      }
    }
    return data;
  }
  // Whatever has arrived by now, without waiting.
  std::string Arrived() {
    std::string data;
    while (ReadSome(data, Clock::now())) {
    }
    return data;
  }
  bool ServerClosed(std::chrono::milliseconds timeout = 5s) {
    std::string ignored;
    const auto deadline = Clock::now() + timeout;
    while (!closedByServer_ && ReadSome(ignored, deadline)) {
    }
    return closedByServer_;
  }

 private:
  bool ReadSome(std::string& data, Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket_, &readable);
    timeval wait{static_cast<long>(std::max<long long>(left, 0) / 1000),
                 static_cast<long>(std::max<long long>(left, 0) % 1000 * 1000)};
    if (select(0, &readable, nullptr, nullptr, &wait) <= 0) return false;
    char buffer[65536];
    const int got = recv(socket_, buffer, sizeof buffer, 0);
    if (got <= 0) {
      closedByServer_ = true;
      return false;
    }
    data.append(buffer, static_cast<std::size_t>(got));
    return true;
  }

  SOCKET socket_;
  bool connected_ = false;
  bool closedByServer_ = false;
};

std::string Body(const std::string& answer) {
  const std::size_t end = answer.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

bool IsWholeAnswer(const std::string& answer) {
  const std::size_t end = answer.find("\r\n\r\n");
  const std::size_t at = answer.find("Content-Length: ");
  return answer.starts_with("HTTP/1.1 200 OK\r\n") && end != std::string::npos && at < end &&
         answer.size() == end + 4 + std::stoul(answer.substr(at + 16));
}

const std::string kPress = "GET /host?m=vu HTTP/1.1\r\nHost: pc\r\nUser-Agent: Phone/1.0 (Android; x)\r\n\r\n";

class Hostile : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(program_.Start());
    window_ = program_.MainWindow();
    log_ = GetDlgItem(window_, 8);
    view_ = std::make_unique<ProgramView>(program_.ProcessId());
    ASSERT_TRUE(view_->Usable());
    ASSERT_EQ(view_->ColumnTitle(log_, 4), L"Anfragen");
    port_ = FreePort();
    const std::wstring text = std::to_wstring(port_);
    SendMessageW(GetDlgItem(window_, 16), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    PostMessageW(GetDlgItem(window_, 17), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return ButtonText() == L"Server beenden."; }, 10s))
        << "port " << port_ << ": " << OpenMessageBoxReport(program_.ProcessId());
    PostMessageW(GetDlgItem(window_, 9), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return SendMessageW(GetDlgItem(window_, 9), BM_GETCHECK, 0, 0) == BST_CHECKED; }, 10s));
    char host[256] = {};
    gethostname(host, sizeof host);
    std::string frame(assets::AsText(assets::kHostFrame));
    hostFrame_ = frame.replace(frame.find("HOST"), 4, host);
  }
  void TearDown() override {
    view_.reset();
    program_.RequestClose();
    EXPECT_EQ(program_.WaitForExit(30s), std::optional<DWORD>(200));
  }

  std::wstring ButtonText() {
    wchar_t text[64] = {};
    GetWindowTextW(GetDlgItem(window_, 17), text, 64);
    return text;
  }
  std::string Ask(std::string_view request, const char* source = nullptr) {
    Client client(port_, source);
    if (!client.Connected()) return {};
    client.Send(request);
    return client.ReadAnswer();
  }
  long long LoggedRequests() {
    long long sum = 0;
    for (const auto& [address, count] : view_->RequestsPerAddress(log_)) sum += count;
    return sum;
  }
  // Every request so far handled: the program logs each one as its handler's last step.
  [[nodiscard]] bool AllLogged(long long requests, std::chrono::milliseconds timeout = 60s) {
    return WaitUntil([&] { return LoggedRequests() >= requests; }, timeout);
  }

  WinsockSession winsock_;
  RunningProgram program_;
  HWND window_ = nullptr, log_ = nullptr;
  std::unique_ptr<ProgramView> view_;
  int port_ = 0;
  std::string hostFrame_;
};

TEST_F(Hostile, SlowClientsDoNotHoldUpPressesAndTheProgramShrinksBackAfterwards) {
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(IsWholeAnswer(Ask(kPress)));
  ASSERT_TRUE(AllLogged(5));
  const int threadsBefore = view_->Threads();
  const long handlesBefore = view_->Handles();
  ASSERT_GT(threadsBefore, 0);
  ASSERT_GT(handlesBefore, 0);

  // 500 connections, each sending its request's first ten bytes a second apart, then the rest.
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
    for (std::size_t i = 0; i < 10; ++i) {
      for (auto& client : slow) client->Send(slowRequest.substr(i, 1));
      std::this_thread::sleep_until(start + (i + 1) * 1s);
    }
    for (auto& client : slow) client->Send(slowRequest.substr(10));
    dribbling = false;
  });

  int answered = 0, duringAttack = 0, threadsAtMost = threadsBefore;
  for (int press = 0; press < 200; ++press) {
    const std::string answer = Ask(kPress);
    answered += IsWholeAnswer(answer) && Body(answer) == hostFrame_;
    duringAttack += dribbling.load();
    if (press % 20 == 0) threadsAtMost = std::max(threadsAtMost, view_->Threads());
    Sleep(30);
  }
  dribbler.join();
  EXPECT_EQ(answered, 200);
  EXPECT_GT(duringAttack, 100) << "most presses came while the slow clients were sending";
  std::string unanswered;
  for (std::size_t i = 0; i < slow.size(); ++i) {
    const std::string answer = slow[i]->ReadAnswer();
    if (Body(answer) != assets::AsText(assets::kErrorImage)) {
      unanswered += "\n  client " + std::to_string(i) + ": " + std::to_string(answer.size()) + " bytes, " +
                    (slow[i]->ServerClosed(0ms) ? "closed" : "open") + " [" + answer.substr(0, 40) + "]";
    }
  }
  EXPECT_EQ(unanswered, "") << "every slow client is served once its head is whole";
  slow.clear();

  EXPECT_TRUE(AllLogged(5 + 200 + kSlowClients));
  EXPECT_EQ(view_->RequestsPerAddress(log_), (std::map<std::string, long long>{{"127.0.0.1", 5 + 200 + kSlowClients}}));
  EXPECT_GT(threadsAtMost, threadsBefore) << "the pool grew for the slow clients' handlers";
  // The pool lets idle threads go after a few seconds.
  const bool shrank =
      WaitUntil([&] { return view_->Threads() <= threadsBefore + 2 && view_->Handles() <= handlesBefore + 16; }, 90s);
  std::printf("threads %d before, at most %d during, %d after; handles %ld before, %ld after\n", threadsBefore,
              threadsAtMost, view_->Threads(), handlesBefore, view_->Handles());
  EXPECT_TRUE(shrank);
}

// 20,000 requests from 64 clients on eight source addresses: under Wine the program serves a
// thousand or more a second (some 45 while each request repainted the whole client log).
TEST_F(Hostile, AFloodFromEightAddressesIsAnsweredAndCountedExactly) {
  constexpr int kRequests = 20000, kClients = 64, kAddresses = 8;
  std::atomic<int> next{0}, answered{0};
  std::array<std::atomic<int>, kAddresses> sent{};
  std::vector<std::thread> clients;
  const auto start = Clock::now();
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      const int address = c % kAddresses;
      const std::string source = "127.0.0." + std::to_string(2 + address);
      for (int n = next++; n < kRequests; n = next++) {
        Client client(port_, source.c_str());
        if (!client.Connected()) continue;
        ++sent[address];
        client.Send(n % 10 == 0 ? kPress : "GET / HTTP/1.1\r\nUser-Agent: Flood/1.0 (X11; Linux)\r\n\r\n");
        answered += IsWholeAnswer(client.ReadAnswer());
      }
    });
  }
  for (std::thread& client : clients) client.join();
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  int sentInAll = 0;
  for (const auto& count : sent) sentInAll += count;
  std::printf("%d requests from %d clients answered in %lld ms\n", answered.load(), kClients,
              static_cast<long long>(took));
  EXPECT_EQ(sentInAll, kRequests) << "every connection was accepted";
  EXPECT_EQ(answered, sentInAll);
  ASSERT_TRUE(AllLogged(sentInAll)) << LoggedRequests();
  std::map<std::string, long long> expected;
  for (int a = 0; a < kAddresses; ++a) expected["127.0.0." + std::to_string(2 + a)] = sent[a];
  EXPECT_EQ(view_->RequestsPerAddress(log_), expected);
  EXPECT_EQ(SendMessageW(log_, LVM_GETITEMCOUNT, 0, 0), kAddresses);
}

TEST_F(Hostile, HugeHeadsAreCutAtTheBoundAndTheConnectionClosed) {
  std::string lines = "GET / HTTP/1.1\r\n";
  for (int i = 0; lines.size() < 1024 * 1024; ++i) lines += "X-Padding-" + std::to_string(i) + ": aaaaaaaaaaaaaaaa\r\n";
  struct Case {
    const char* name;
    std::string head;
    bool answered;  // as it stands, when its request line is whole
  };
  const Case cases[] = {
      {"1 MiB of header lines", lines, true},
      {"1 MiB without a line end", "GET /" + std::string(1024 * 1024, 'a'), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Client client(port_);
    ASSERT_TRUE(client.Connected());
    std::thread sender([&] { client.Send(c.head); });
    const std::string answer = client.ReadAnswer(c.answered ? 15s : 3s);
    sender.join();
    EXPECT_EQ(Body(answer), c.answered ? std::string(assets::AsText(assets::kMainPage)) : std::string());
    EXPECT_TRUE(client.ServerClosed());
    EXPECT_TRUE(IsWholeAnswer(Ask("GET / HTTP/1.1\r\n\r\n"))) << "the next client is served";
  }
}

TEST_F(Hostile, NoFileNameReachesAFileOutsideTheProgramFolder) {
  const std::wstring dir = ProgramDir();
  const std::string canaryName = "tastovolant_canary_" + std::to_string(GetCurrentProcessId()) + ".txt";
  const std::string secret = "canary " + std::to_string(GetTickCount64());
  const std::string outside = Narrow(dir.substr(0, dir.find_last_of(L'\\'))) + "\\" + canaryName;
  const std::string inside = Narrow(dir) + "\\" + canaryName;
  for (const std::string& path : {outside, inside}) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    std::fputs(secret.c_str(), file);
    std::fclose(file);
  }
  // The folder without its drive: "\work\...\build\windows".
  const std::string rootless = outside.substr(2, outside.find_last_of('\\') - 2);
  std::string forward = outside;
  for (char& c : forward) c = c == '\\' ? '/' : c;
  const std::string& c = canaryName;
  const std::vector<std::string> targets = {
      "/../" + c,
      "/..\\" + c,
      "/GFX/../../" + c,
      "/GFX/..\\..\\" + c,
      "/GFX\\..\\..\\" + c,
      "/./../" + c,
      "/.. /" + c,
      "/... /" + c,
      "/.../" + c,
      "/..../" + c,
      "/%2e%2e/" + c,
      "/..%2f" + c,
      "/%2e%2e%5c" + c,
      "/" + outside,
      "/" + forward,
      "/" + forward.substr(2),
      "/\\\\?\\" + outside,
      "/\\\\.\\" + outside,
      "/\\??\\" + outside,
      "/\\\\localhost\\Z$" + rootless + "\\" + c,
      "/\\\\127.0.0.1\\Z$" + rootless + "\\" + c,
      "/" + rootless + "\\" + c,
      "/../../../../../../../../.." + rootless + "\\" + c,
      "/GFX/../../../../../../../../.." + rootless + "/" + c,
      "/" + c + "::$DATA",
      "/GFX/pp_0.png:Zone.Identifier:$DATA",
      "/CON",
      "/NUL.txt",
      "/AUX",
      "/COM1",
      "/LPT1.png",
      "/CONIN$",
  };
  std::vector<std::unique_ptr<Client>> clients;
  for (const std::string& target : targets) {
    clients.push_back(std::make_unique<Client>(port_));
    ASSERT_TRUE(clients.back()->Connected());
    clients.back()->Send("GET " + target + " HTTP/1.1\r\n\r\n");
  }
  // The server answers before it logs: once every request is logged, any answer has arrived.
  EXPECT_TRUE(AllLogged(static_cast<long long>(targets.size())));
  for (std::size_t i = 0; i < targets.size(); ++i) {
    SCOPED_TRACE(targets[i]);
    const std::string answer = clients[i]->Arrived();
    EXPECT_EQ(answer.find(secret), std::string::npos);
    EXPECT_EQ(answer, "");
  }
  // The same file inside the folder is served, and so are the button pictures.
  EXPECT_EQ(Body(Ask("GET /" + c + " HTTP/1.1\r\n\r\n")), secret);
  EXPECT_EQ(Body(Ask("GET /GFX/pp_0.png HTTP/1.1\r\n\r\n")).substr(1, 3), "PNG");
  std::remove(outside.c_str());
  std::remove(inside.c_str());
}

}  // namespace
}  // namespace tv::e2e
