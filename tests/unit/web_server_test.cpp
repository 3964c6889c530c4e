// The web server end to end on real loopback sockets: the posix network adapter, the fake window.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "access_editor/address_row.h"
#include "app/main_window.h"
#include "app/program_state.h"
#include "assets/catalogue.h"
#include "fakes/fake_program.h"
#include "platform/posix/network_posix.h"
#include "server/routes.h"
#include "server/web_server.h"
#include "unit/loopback_client.h"

namespace tv {
namespace {

using namespace std::chrono_literals;

using loopback::Client;
using loopback::WaitFor;

std::string Body(const std::string& answer) {
  const std::size_t end = answer.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

std::string Head(std::size_t length, const char* type) {
  return "HTTP/1.1 200 OK\r\nServer: Tastovolant/2.0.0 (Windows)\r\nContent-Length: " + std::to_string(length) +
         "\r\nContent-Language: de\r\nContent-Type: " + type + "\r\nConnection: close\r\n\r\n";
}

// The program's window on fakes, a real server on an ephemeral loopback port, and a poller in
// the main thread's role. Handlers run on threads that the fixture joins.
class WebServer : public ::testing::Test, public fakes::ProgramHarness {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() / ("tastovolant_server_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder_ / "work" / "GFX");
    std::ofstream(folder_ / "canary.txt") << "secret";
    std::ofstream(folder_ / "work" / "GFX" / "pp_0.png", std::ios::binary) << std::string("PNG\0bytes", 9);
    std::ofstream(folder_ / "work" / "index.html") << "<html></html>";
    std::ofstream(folder_ / "work" / "empty.png");
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(folder_ / "work");

    ASSERT_TRUE(program_.StartUp());
    ServerRunning = 0;
    ports_.headLimits.deadline = 400ms;
    ports_.startHandler = [this](std::function<void()> body) {
      std::lock_guard guard(handlersLock_);
      handlers_.emplace_back(std::move(body));
    };
    ports_.logRequest = [this](const RequestContext& request) {
      std::lock_guard guard(handlersLock_);
      logged_.push_back(request);
    };
    StartServer();
  }
  void TearDown() override {
    StopPolling();
    if (ServerRunning) StartStopServer(ports_);
    // Handlers still log while they end, which takes the lock: join them outside it.
    std::vector<std::thread> ending;
    {
      std::lock_guard guard(handlersLock_);
      ending.swap(handlers_);
    }
    for (std::thread& handler : ending) handler.join();
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(folder_);
    AddressRowList = nullptr;
  }

  void StartServer() {
    ui.TypeSpin(kPortSpin, 0);
    StartStopServer(ports_);
    ASSERT_EQ(ServerRunning, 1);
    port_ = posix_.ServerPort();
    ASSERT_GT(port_, 0);
    polling_ = true;
    poller_ = std::thread([this] {
      while (polling_) {
        PollServerOnce(ports_);
        std::this_thread::sleep_for(200us);
      }
    });
  }
  void StopPolling() {
    polling_ = false;
    if (poller_.joinable()) poller_.join();
  }

  std::string Ask(const std::string& request, const char* source = nullptr) {
    Client client(port_, source);
    EXPECT_TRUE(client.Connected());
    client.Send(request);
    return client.ReadAnswer();
  }
  std::string Get(const std::string& target) { return Ask("GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n"); }
  int Handlers() {
    std::lock_guard guard(handlersLock_);
    return static_cast<int>(handlers_.size());
  }
  std::vector<RequestContext> Logged() {
    std::lock_guard guard(handlersLock_);
    return logged_;
  }

  PosixNetwork posix_;
  Program program_{Ports{ui, text, posix_, shell, connector, files, keys}, settings};
  ServerPorts ports_{ui, posix_, keys, {}, {}, {}};
  int port_ = 0;

 private:
  std::filesystem::path folder_, previous_;
  std::mutex handlersLock_;
  std::vector<std::thread> handlers_;
  std::vector<RequestContext> logged_;
  std::atomic<bool> polling_{false};
  std::thread poller_;
};

TEST_F(WebServer, RoutesAnswerWithTheirExactBytes) {
  const std::string page(assets::AsText(assets::kMainPage)), refusal(assets::AsText(assets::kRefusalPage));
  const std::string error(assets::AsText(assets::kErrorImage));
  const std::string host = posix_.HostName();
  std::string frame(assets::AsText(assets::kHostFrame));
  const std::string refusedFrame = frame.replace(frame.find("HOST"), 4, "ZUGRIFF VERWEIGERT!");
  frame = std::string(assets::AsText(assets::kHostFrame));
  const std::string allowedFrame = frame.replace(frame.find("HOST"), 4, host);

  struct Case {
    const char* target;
    bool allowed;
    std::string answer;
  };
  const Case cases[] = {
      {"/", false, Head(refusal.size(), "text/html") + refusal},
      {"/?anything", true, Head(page.size(), "text/html") + page},
      {"/ERROR.PNG", false, Head(error.size(), "image/png") + error},
      {"/error.png?x=1", true, Head(error.size(), "image/png") + error},
      {"/host?m=pp", false, Head(354, "text/html") + refusedFrame},
      {"/host", true, Head(335 + host.size(), "text/html") + allowedFrame},
      {"/GFX/pp_0.png", false, Head(9, "image/png") + std::string("PNG\0bytes", 9)},
      {"/index.html", true, Head(13, "image/png") + "<html></html>"},
      {"/empty.png", true, Head(0, "image/png")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    ui.SetChecked(kAllowAllBox, c.allowed);
    EXPECT_EQ(Get(c.target), c.answer);
  }
  EXPECT_TRUE(keys.Pressed().empty()) << "no command was given to an allowed client";
}

TEST_F(WebServer, FilesThatCannotBeServedGetNoAnswer) {
  for (const char* target : {"/GFX/pp_0.png?v=2", "/missing.png", "/GFX", ""}) {
    SCOPED_TRACE(target);
    Client client(port_);
    client.Send(std::string("GET ") + target + " HTTP/1.1\r\n\r\n");
    EXPECT_EQ(client.ReadAnswer(500ms), "");
  }
  EXPECT_EQ(Get("/GFX/pp_0.png").size(), Head(9, "image/png").size() + 9) << "the server still serves";
}

TEST_F(WebServer, AnAllowedCommandPressesItsKeyAndARefusedOneDoesNot) {
  Get("/host?m=pp");
  EXPECT_TRUE(keys.Pressed().empty());
  ui.SetChecked(kAllowAllBox, true);
  Get("/host?m=PP");
  Get("/host?m=vu?x");
  Get("/host?m=pp&x=1");
  Get("/?m=pp");
  EXPECT_EQ(keys.Pressed(), (std::vector<std::uint16_t>{0xB3, 0xAF}));
}

TEST_F(WebServer, EveryMethodGetsTheSameFullAnswer) {
  ui.SetChecked(kAllowAllBox, true);
  const std::string get = Get("/");
  EXPECT_EQ(Ask("HEAD / HTTP/1.1\r\n\r\n"), get);
  // A body stays on the connection; the answer comes all the same.
  EXPECT_EQ(Ask("POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc"), get);
}

TEST_F(WebServer, AHeadInPiecesIsAssembledAndNulBytesLeaveNoTrace) {
  Client client(port_);
  const std::string_view pieces[] = {"GET /er", std::string_view("ror.p\0ng HTTP/1.1\r\nUser-", 24),
                                     "Agent: slow\r\n\r", "\n"};
  for (std::string_view piece : pieces) {
    client.Send(piece);
    std::this_thread::sleep_for(30ms);
  }
  EXPECT_EQ(Body(client.ReadAnswer()), assets::AsText(assets::kErrorImage));
  ASSERT_TRUE(WaitFor([&] { return !Logged().empty(); }));
  EXPECT_EQ(Logged().back().userAgent, "slow");
  EXPECT_EQ(Logged().back().target, "/error.png");
}

TEST_F(WebServer, OverlongOrUnendingHeadsAreAnsweredAsTheyStandThenClosed) {
  ui.SetChecked(kAllowAllBox, true);
  const std::string page(assets::AsText(assets::kMainPage));
  {
    // Lines without end, beyond the bound: no " HTTP" in the line, so an empty file name.
    Client client(port_);
    client.Send("GET / HTTP/1.1\r\n" + std::string(64 * 1024, 'h'));
    EXPECT_EQ(client.ReadAnswer(1s), Head(page.size(), "text/html") + page);
    EXPECT_TRUE(client.ServerClosed());
  }
  {
    Client client(port_);
    client.Send(std::string(1024 * 1024, 'x'));
    EXPECT_EQ(client.ReadAnswer(1s), "");
    EXPECT_TRUE(client.ServerClosed());
  }
  {
    // Bare line feeds never end a head: the deadline does.
    Client client(port_);
    client.Send("GET /error.png HTTP/1.1\nHost: x\n\n");
    EXPECT_EQ(Body(client.ReadAnswer()), assets::AsText(assets::kErrorImage));
    EXPECT_TRUE(client.ServerClosed());
  }
  EXPECT_EQ(Get("/").size(), Head(page.size(), "text/html").size() + page.size());
}

TEST_F(WebServer, RequestsOnAKeptConnectionAreServedOneAfterTheOther) {
  ui.SetChecked(kAllowAllBox, true);
  Client client(port_);
  client.Send("GET /host?m=pp HTTP/1.1\r\n\r\nGET /host?m=fw HTTP/1.1\r\n\r\n");
  EXPECT_FALSE(client.ReadAnswer().empty());
  EXPECT_FALSE(client.ReadAnswer().empty());
  ASSERT_TRUE(WaitFor([&] { return Logged().size() == 2; }));
  EXPECT_EQ(keys.Pressed(), (std::vector<std::uint16_t>{0xB3, 0xB0}));
  EXPECT_EQ(Logged()[0].target, "/host?m=pp");
  EXPECT_EQ(Logged()[1].target, "/host?m=fw");
}

TEST_F(WebServer, AClientThatSendsNothingStartsNoHandler) {
  Client silent(port_);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(Handlers(), 0);
  EXPECT_FALSE(silent.ServerClosed(100ms));
}

TEST_F(WebServer, NoHeaderChangesWhoTheClientIs) {
  ui.SetChecked(kAllowListBox, true);
  ControlPlan field;
  field.kind = ControlKind::AddressField;
  AddressRow row;
  row.addressField = ui.CreateControl(kAddressListPane, field);
  ui.TypeAddress(row.addressField, 0x0200007F);  // 127.0.0.2
  AddressRowList = &row;
  const std::string refused(assets::AsText(assets::kRefusalPage));
  for (const char* header :
       {"X-Forwarded-For: 127.0.0.2", "X-Real-IP: 127.0.0.2", "Forwarded: for=127.0.0.2", "Host: 127.0.0.2"}) {
    SCOPED_TRACE(header);
    EXPECT_EQ(Body(Ask(std::string("GET / HTTP/1.1\r\n") + header + "\r\n\r\n", "127.0.0.1")), refused);
  }
  EXPECT_EQ(Body(Ask("GET / HTTP/1.1\r\n\r\n", "127.0.0.2")), assets::AsText(assets::kMainPage));
  AddressRowList = nullptr;
}

TEST_F(WebServer, HostileFileNamesAreNeverOpened) {
  const char* targets[] = {
      "/../canary.txt",
      "/..\\canary.txt",
      "/GFX/../../canary.txt",
      "/./../canary.txt",
      "//canary.txt",
      "/\\\\?\\C:\\canary.txt",
      "/\\\\.\\PhysicalDrive0",
      "/C:/canary.txt",
      "/Z:\\tmp\\canary.txt",
      "/index.html::$DATA",
      "/index.html:stream",
      "/index.html.",
      "/index.html ",
      "/CON",
      "/nul.png",
      "/GFX/AUX.txt",
      "/com1",
      "/LPT9.png",
      "/GFX//pp_0.png",
      "/GFX/",
      "/\\\\server\\share\\x.png",
      "/GFX/pp_0.png*",
      "/..",
      "/GFX/..\\..\\canary.txt",
  };
  for (const char* target : targets) {
    SCOPED_TRACE(target);
    EXPECT_EQ(SafeFileName(target), std::nullopt);
    Client client(port_);
    client.Send(std::string("GET ") + target + " HTTP/1.1\r\n\r\n");
    EXPECT_EQ(client.ReadAnswer(200ms), "");
  }
  // Nothing is decoded: this names a folder called "%2e%2e" below the working directory.
  EXPECT_EQ(SafeFileName("/%2e%2e/canary.txt"), "%2e%2e\\canary.txt");
  EXPECT_EQ(Get("/%2e%2e/canary.txt"), "");
  EXPECT_EQ(SafeFileName("/GFX/pp_0.png"), "GFX\\pp_0.png");
  EXPECT_EQ(SafeFileName("/a.b/c..d.png"), "a.b\\c..d.png");
  EXPECT_EQ(SafeFileName("/Console.png"), "Console.png");
  EXPECT_EQ(Body(Get("/GFX/pp_0.png")), std::string("PNG\0bytes", 9)) << "the next normal request is served";
}

TEST_F(WebServer, APortInUseIsNamedAndTheServerStaysStopped) {
  StartStopServer(ports_);  // stop the fixture's server but keep its port busy with another socket
  const int busy = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = 0;
  ASSERT_EQ(bind(busy, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(busy, 1), 0);
  socklen_t length = sizeof address;
  getsockname(busy, reinterpret_cast<sockaddr*>(&address), &length);
  const int port = ntohs(address.sin_port);
  ui.TypeSpin(kPortSpin, port);
  StartStopServer(ports_);
  close(busy);
  EXPECT_EQ(ServerRunning, 0);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].title, "Fehler");
  EXPECT_EQ(ui.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(ui.messages[0].text,
            "Es konnte kein Server auf Port: " + std::to_string(port) +
                " erstellt werden.\nVielleicht wird der Port durch ein anderes Programm blockiert?");
  EXPECT_TRUE(ui.Control(kPortSpin).enabled);
  EXPECT_EQ(ui.Control(kServerButton).text, "Server starten.");
  ui.TypeSpin(kPortSpin, 70000);
  StartStopServer(ports_);
  EXPECT_EQ(ServerRunning, 0) << "a port above 65535 can't be had";
}

TEST_F(WebServer, TheButtonStartsAndStopsTheServerAndStoppingClosesConnections) {
  EXPECT_EQ(ui.Control(kServerButton).text, "Server beenden.");
  EXPECT_FALSE(ui.Control(kPortSpin).enabled);
  Client kept(port_);
  ASSERT_TRUE(kept.Connected());
  ASSERT_TRUE(WaitFor([&] { return kept.Connected(); }));
  std::this_thread::sleep_for(50ms);  // accepted by a poll
  StopPolling();
  StartStopServer(ports_);
  EXPECT_EQ(ServerRunning, 0);
  EXPECT_EQ(ui.Control(kServerButton).text, "Server starten.");
  EXPECT_TRUE(ui.Control(kPortSpin).enabled);
  EXPECT_TRUE(kept.ServerClosed());
  Client refused(port_);
  EXPECT_FALSE(refused.Connected());
}

TEST(RegistryTest, AConnectionIsServedByOneHandlerAtATime) {
  EXPECT_TRUE(RegisterClient(101));
  EXPECT_TRUE(RegisterClient(102));
  EXPECT_TRUE(RegisterClient(103));
  EXPECT_FALSE(RegisterClient(102));
  UnregisterClient(101);  // the first to register ends first; the others stay registered
  EXPECT_FALSE(RegisterClient(102));
  EXPECT_FALSE(RegisterClient(103));
  EXPECT_TRUE(RegisterClient(101));
  for (ClientId id : {101, 102, 103}) UnregisterClient(id);
  EXPECT_TRUE(RegisterClient(102));
  UnregisterClient(102);
}

TEST(RegistryTest, HandlersStartingTogetherNeverShareAConnection) {
  std::atomic<int> serving{0}, overlaps{0}, served{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        if (!RegisterClient(7)) continue;
        if (serving.fetch_add(1) != 0) ++overlaps;
        ++served;
        serving.fetch_sub(1);
        UnregisterClient(7);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(overlaps, 0);
  EXPECT_GT(served, 0);
}

}  // namespace
}  // namespace tv
