#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "fakes/fake_update_ports.h"
#include "platform/posix/tcp_client_posix.h"
#include "update/fetch_client.h"

namespace tv {
namespace {

using fakes::Answering;
using fakes::ConnectionScript;
using fakes::Piece;
using fakes::ScriptedConnector;
using Clock = std::chrono::steady_clock;

std::string Text(const std::vector<unsigned char>& bytes) { return std::string(bytes.begin(), bytes.end()); }
std::string Text(const FetchResult& result) {
  return std::string(result.data.begin(), result.data.begin() + static_cast<std::ptrdiff_t>(result.received));
}

FetchResult RequestOf(std::string url) {
  FetchResult request;
  request.url = std::move(url);
  return request;
}

// Counts the fetch's idle polls instead of sleeping through them.
struct CountedPauses {
  int count = 0;
  std::vector<int> lengths;
  FetchOptions Options() {
    FetchOptions options;
    options.pause = [this](int ms) {
      ++count;
      if (lengths.empty() || lengths.back() != ms) lengths.push_back(ms);
    };
    return options;
  }
};

// ---- pure parts ------------------------------------------------------------------------------

TEST(TextBetween, CutsBetweenMarkersFoundIgnoringCase) {
  struct Case {
    std::string text, start, end, expected;
  };
  const std::vector<Case> cases = {
      {"a: b\r\n", "A:", "\r\n", " b"},
      {"a: b", "A:", "\r\n", ""},      // no end marker
      {"x: b\r\n", "A:", "\r\n", ""},  // no start marker
      {"", "A:", "\r\n", ""},
      {"HOST: MiXeD\r\n", "host:", "\r\n", " MiXeD"},      // the text's own letter case
      {"\r\nLocation: x\r\n", "Location:", "\r\n", " x"},  // an end marker before the start is not seen
      {"Content-Location: /a\r\nLocation: /b\r\n", "location:", "\r\n", " /a"},  // the first occurrence wins
      {"ab", "a", "b", ""},                                                      // nothing between
      {"|a|b", "|", "|", "a"},  // the end is looked for after the start's first character
      {"xab", "ab", "b", ""},   // an end marker that begins inside the start marker
      {"Content-Length: 12\r\n\r\n", "content-length: ", "\r\n", "12"},
      {"Content-Length:12\r\n", "Content-Length: ", "\r\n", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TextBetween(c.text, c.start, c.end), c.expected) << c.text << " between " << c.start;
  }
}

TEST(FetchAddress, DropsTheSchemeAndOneTrailingSlashThenSplitsAtTheFirstSlash) {
  struct Case {
    std::string address, working, host, path;
  };
  const std::vector<Case> cases = {
      {"HTTP://Host/Path/", "Host/Path", "Host", "/Path"},
      {"http://host", "host", "host", "/"},
      {"host/", "host", "host", "/"},
      {"host", "host", "host", "/"},
      {"http://host//", "host/", "host", "/"},                     // one slash only
      {"hTtP://a/b/c?d=e f", "a/b/c?d=e f", "a", "/b/c?d=e f"},    // the path unchanged, unescaped
      {"host:8080/x", "host:8080/x", "host:8080", "/x"},           // a port is not recognised
      {"https://host/x", "https://host/x", "https:", "//host/x"},  // no other scheme is
      {"http:/x", "http:/x", "http:", "/x"},
      {"http://", "", "", "/"},
      {"", "", "", "/"},
  };
  for (const Case& c : cases) {
    const FetchTarget target = TargetOf(c.address);
    EXPECT_EQ(target.address, c.working) << c.address;
    EXPECT_EQ(target.host, c.host) << c.address;
    EXPECT_EQ(target.path, c.path) << c.address;
  }
}

TEST(FetchRequest, IsThreeLinesAndABlankOneEachEndedByCrLf) {
  EXPECT_EQ(RequestFor(TargetOf("http://www.site.test/update.php?p=Tastovolant")),
            "GET /update.php?p=Tastovolant HTTP/1.1\r\n"
            "Host: www.site.test\r\n"
            "User-Agent: Zorvane Updater (Tastovolant)\r\n"
            "\r\n");
}

TEST(FetchStatus, IsTheSecondFieldAtSingleSpacesReadAsADecimal) {
  struct Case {
    std::string head;
    std::int64_t status;
  };
  const std::vector<Case> cases = {
      {"HTTP/1.1 200 OK\r\n\r\n", 200},
      {"HTTP/1.1 404\r\n\r\n", 404},          // the field runs to the end of the head
      {"HTTP/1.1  200 OK\r\n\r\n", 0},        // two spaces: the second field is empty
      {"HTTP/1.1 \t302 Found\r\n\r\n", 302},  // a tab is no separator, and skipped before the digits
      {"HTTP/1.1 +302 Found\r\n\r\n", 302},
      {"HTTP/1.1 -5 x\r\n\r\n", -5},
      {"HTTP/1.1 20x0 OK\r\n\r\n", 20},
      {"HTTP/1.1 OK\r\n\r\n", 0},
      {"NoSpaceAtAll\r\n\r\n", 0},
      {"HTTP/1.1 99999999999999999999 Big\r\n\r\n", std::numeric_limits<std::int64_t>::max()},
  };
  for (const Case& c : cases) EXPECT_EQ(StatusOfHead(c.head), c.status) << c.head;
}

TEST(FetchStatus, DecimalsSkipSpacesAndTabsTakeOneSignAndSaturate) {
  EXPECT_EQ(ReadDecimal(" \t 42abc"), 42);
  EXPECT_EQ(ReadDecimal("-17"), -17);
  EXPECT_EQ(ReadDecimal("+-1"), 0);
  EXPECT_EQ(ReadDecimal(""), 0);
  EXPECT_EQ(ReadDecimal("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(ReadDecimal("-99999999999999999999"), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(TrimSpaces("  a b \t "), "a b \t");
}

// ---- attempts and idle counts, against scripted connections ---------------------------------

const std::string kOkHead = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n";

TEST(FetchUrl, UsesTheHostAndPathOfTheAddressAndReportsTheWorkingAddress) {
  ScriptedConnector connector({Answering(kOkHead + "hello")});
  CountedPauses pauses;
  const auto result = FetchUrl(connector, RequestOf("HTTP://Host/Path/"), pauses.Options());
  ASSERT_TRUE(result);
  EXPECT_EQ(connector.log.hosts, std::vector<std::string>{"Host"});
  EXPECT_EQ(connector.log.ports, std::vector<int>{80});
  EXPECT_EQ(connector.log.requests.at(0), RequestFor(TargetOf("Host/Path")));
  EXPECT_EQ(result->url, "Host/Path");
  EXPECT_EQ(result->status, 200);
  EXPECT_EQ(result->size, 5);
  EXPECT_EQ(result->received, 5);
  EXPECT_EQ(Text(result->data), "hello");
}

TEST(FetchUrl, AnAddressWithAPortFailsOnEveryAttempt) {
  ScriptedConnector connector({Answering(kOkHead + "hello")});
  const auto result = FetchUrl(connector, RequestOf("host:8080/x"), CountedPauses().Options());
  EXPECT_FALSE(result);
  EXPECT_EQ(connector.log.hosts, std::vector<std::string>(10, "host:8080"));
}

TEST(FetchUrl, EveryFailedConnectOrSendUsesUpAnAttempt) {
  const ConnectionScript refused{.refused = true, .pieces = {}};
  const ConnectionScript sendFails{.sendFails = true, .pieces = {{0, kOkHead + "hello"}}};
  for (const ConnectionScript& failing : {refused, sendFails}) {
    ScriptedConnector nineFail(std::vector<ConnectionScript>(9, failing));
    nineFail.scripts.push_back(Answering(kOkHead + "hello"));
    const auto result = FetchUrl(nineFail, RequestOf("h/x"), CountedPauses().Options());
    ASSERT_TRUE(result);
    EXPECT_EQ(Text(result->data), "hello");

    ScriptedConnector tenFail(std::vector<ConnectionScript>(10, failing));
    tenFail.scripts.push_back(Answering(kOkHead + "hello"));
    EXPECT_FALSE(FetchUrl(tenFail, RequestOf("h/x"), CountedPauses().Options()));
    EXPECT_EQ(tenFail.log.hosts.size(), 10u);
    EXPECT_EQ(tenFail.log.opened, tenFail.log.closed);
  }
}

// A wait that ran out used to leave its count at the limit, so that attempts 2 to 10 gave up at
// their first idle poll.
TEST(FetchUrl, EveryAttemptWaitsTheWholeIdleLimitAgain) {
  const ConnectionScript silent{.pieces = {}, .closedAtEnd = false};
  ScriptedConnector connector(std::vector<ConnectionScript>(10, silent));
  CountedPauses pauses;
  EXPECT_FALSE(FetchUrl(connector, RequestOf("h/x"), pauses.Options()));
  EXPECT_EQ(pauses.count, 10 * kFetchIdleLimit);
  EXPECT_EQ(pauses.lengths, std::vector<int>{5});
  EXPECT_EQ(connector.log.opened, 10);
}

TEST(FetchUrl, TheWaitGivesUpAtItsFifteenHundredthIdlePoll) {
  for (const int silence : {kFetchIdleLimit - 1, kFetchIdleLimit}) {
    ScriptedConnector connector({{.pieces = {{silence, kOkHead + "hello"}}}, Answering(kOkHead + "again")});
    CountedPauses pauses;
    const auto result = FetchUrl(connector, RequestOf("h/x"), pauses.Options());
    ASSERT_TRUE(result);
    EXPECT_EQ(Text(result->data), silence < kFetchIdleLimit ? "hello" : "again") << silence;
    EXPECT_EQ(pauses.count, silence);
  }
}

TEST(FetchUrl, AHeadReadThatRanOutStartsAgainEmptyWhenDataComesBack) {
  const std::string rest = "Content-Length: 2\r\n\r\nhi";
  // Within the limit the head is read whole; at the limit what came is dropped, so the rest is
  // read as a head of its own, whose second field is the 2 of its length.
  for (const int silence : {kFetchIdleLimit - 1, kFetchIdleLimit}) {
    ScriptedConnector connector({{.pieces = {{0, "HTTP/1.1 200 OK\r\n"}, {silence, rest}}}});
    const auto result = FetchUrl(connector, RequestOf("h/x"), CountedPauses().Options());
    ASSERT_TRUE(result) << silence;
    EXPECT_EQ(result->status, silence < kFetchIdleLimit ? 200 : 2);
    EXPECT_EQ(Text(result->data), "hi");
    EXPECT_EQ(connector.log.opened, 1);
  }
}

TEST(FetchUrl, AHeadCutShortByTheServerEndsTheAttemptAfterAWholeWait) {
  ScriptedConnector connector({{.pieces = {{0, "HTTP/1.1 200 OK\r\n"}}}, Answering(kOkHead + "hello")});
  CountedPauses pauses;
  const auto result = FetchUrl(connector, RequestOf("h/x"), pauses.Options());
  ASSERT_TRUE(result);
  EXPECT_EQ(Text(result->data), "hello");
  EXPECT_EQ(pauses.count, kFetchIdleLimit);  // the failed receive ends the head read without a pause
}

// A short declared body used to leave its partial answer in the record, so that the next
// attempt wrote its body behind the first one's bytes into a fresh buffer (the old one lost).
TEST(FetchUrl, AShortDeclaredBodyIsDroppedAndTheNextAttemptStartsAfresh) {
  for (const bool closedAtEnd : {true, false}) {
    ScriptedConnector connector({{.pieces = {{0, kOkHead + "ab"}}, .closedAtEnd = closedAtEnd},
                                 Answering("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello")});
    CountedPauses pauses;
    const auto result = FetchUrl(connector, RequestOf("h/x"), pauses.Options());
    ASSERT_TRUE(result);
    EXPECT_EQ(Text(result->data), "hello");
    EXPECT_EQ(result->received, 5);
    EXPECT_EQ(result->size, 5);
    EXPECT_EQ(connector.log.opened, 2);
    EXPECT_EQ(connector.log.closed, 2);
    EXPECT_EQ(pauses.count, (closedAtEnd ? 0 : kFetchIdleLimit) + kFetchIdleLimit);
  }
}

TEST(FetchUrl, TheRestOfAShortBodyOnTheSameConnectionGoesOnWhereItStopped) {
  ScriptedConnector connector(
      {{.pieces = {{0, kOkHead + "ab"}, {kFetchIdleLimit + 10, "X-Resent: yes\r\n\r\ncde"}}, .closedAtEnd = false}});
  const auto result = FetchUrl(connector, RequestOf("h/x"), CountedPauses().Options());
  ASSERT_TRUE(result);
  EXPECT_EQ(Text(result->data), "abcde");
  EXPECT_EQ(connector.log.opened, 1);
}

TEST(FetchUrl, ABodyWithoutDeclaredLengthEndsAtTheIdleLimitOrAFailedReceive) {
  struct Case {
    std::string name;
    std::string answer;
    bool closedAtEnd;
    std::int64_t size, received;
    std::size_t buffer;
  };
  const std::string noLength = "HTTP/1.1 200 OK\r\n\r\n";
  const std::string kiB(1024, 'k');
  const std::vector<Case> cases = {
      {"silent after the body", noLength + "abc", false, 3, 3, 1024},
      {"closed after the body", noLength + "abc", true, 1024, 3, 1024},
      {"no body, silent", noLength, false, 0, 0, 1024},
      {"a full first buffer grows it", noLength + kiB, true, 2048, 1024, 2048},
      {"length 0 counts as none", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\nabc", false, 3, 3, 1024},
      {"a negative length too", "HTTP/1.1 200 OK\r\nContent-Length: -4\r\n\r\nabc", false, 3, 3, 1024},
      {"no space after the colon", "HTTP/1.1 200 OK\r\nContent-Length:2\r\n\r\nabc", false, 3, 3, 1024},
  };
  for (const Case& c : cases) {
    ScriptedConnector connector({{.pieces = {{0, c.answer}}, .closedAtEnd = c.closedAtEnd}});
    const auto result = FetchUrl(connector, RequestOf("h/x"), CountedPauses().Options());
    ASSERT_TRUE(result) << c.name;
    EXPECT_EQ(result->size, c.size) << c.name;
    EXPECT_EQ(result->received, c.received) << c.name;
    ASSERT_EQ(result->data.size(), c.buffer) << c.name;
    EXPECT_EQ(Text(*result), c.answer.substr(c.answer.find("\r\n\r\n") + 4)) << c.name;
    EXPECT_TRUE(std::all_of(result->data.begin() + static_cast<std::ptrdiff_t>(result->received), result->data.end(),
                            [](unsigned char b) { return b == 0; }))
        << c.name;
  }
}

TEST(FetchUrl, APresetSizeTakesThePlaceOfTheContentLength) {
  ScriptedConnector connector({Answering("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n0123456789")});
  FetchResult request = RequestOf("h/x");
  request.size = 3;
  request.status = -1;
  const auto result = FetchUrl(connector, request, CountedPauses().Options());
  ASSERT_TRUE(result);
  EXPECT_EQ(Text(result->data), "012");
  EXPECT_EQ(result->status, 200);
}

// The buffer used to be sized by whatever length the server announced.
TEST(FetchUrl, ABodyOverOneMebibyteDeclaredOrReceivedIsAFailure) {
  const std::string mebibyte(kFetchBodyLimit, 'm');
  struct Case {
    std::string name;
    std::string answer;
    bool fetched;
  };
  const std::vector<Case> cases = {
      {"declared 1 MiB", "HTTP/1.1 200 OK\r\nContent-Length: 1048576\r\n\r\n" + mebibyte, true},
      {"declared 1 MiB + 1", "HTTP/1.1 200 OK\r\nContent-Length: 1048577\r\n\r\n" + mebibyte + "m", false},
      {"declared 4 GiB + 1", "HTTP/1.1 200 OK\r\nContent-Length: 4294967297\r\n\r\nm", false},
      {"received 1 MiB", "HTTP/1.1 200 OK\r\n\r\n" + mebibyte, true},
      {"received 1 MiB + 1", "HTTP/1.1 200 OK\r\n\r\n" + mebibyte + "m", false},
  };
  for (const Case& c : cases) {
    // A failure ends the fetch at once: the second, well-formed answer is never asked for.
    ScriptedConnector connector({Answering(c.answer), Answering(kOkHead + "hello")});
    const auto result = FetchUrl(connector, RequestOf("h/x"), CountedPauses().Options());
    EXPECT_EQ(result.has_value(), c.fetched) << c.name;
    if (result) {
      EXPECT_EQ(result->received, kFetchBodyLimit) << c.name;
    }
    EXPECT_EQ(connector.log.opened, 1) << c.name;
    EXPECT_EQ(connector.log.closed, 1) << c.name;
  }

  ScriptedConnector connector({Answering(kOkHead + "hello")});
  FetchResult request = RequestOf("h/x");
  request.size = kFetchBodyLimit + 1;
  EXPECT_FALSE(FetchUrl(connector, request, CountedPauses().Options()));
}

TEST(FetchUrl, AHeadThatNeverEndsIsAFailure) {
  ScriptedConnector connector(
      {Answering("HTTP/1.1 200 OK\r\nX-Filler: " + std::string(kFetchHeadLimit, 'f')), Answering(kOkHead + "hello")});
  EXPECT_FALSE(FetchUrl(connector, RequestOf("h/x"), CountedPauses().Options()));
  EXPECT_EQ(connector.log.opened, 1);
}

TEST(FetchUrl, ANulByteAddsNothingToTheHeadButIsKeptInTheBody) {
  using namespace std::string_literals;
  ScriptedConnector connector(
      {Answering("HTTP/1.1 2\0"s
                 "00 OK\r\nContent-Length: 3\r\n\r\na\0b"s)});
  const auto result = FetchUrl(connector, RequestOf("h/x"), CountedPauses().Options());
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_EQ(Text(result->data), "a\0b"s);
}

TEST(FetchUrl, ARedirectWithoutLocationGoesToAnEmptyHost) {
  ScriptedConnector connector({Answering("HTTP/1.1 302 Found\r\n\r\n"), Answering(kOkHead + "hello")});
  EXPECT_FALSE(FetchUrl(connector, RequestOf("h/x"), CountedPauses().Options()));
  std::vector<std::string> expected(10, "");
  expected[0] = "h";
  EXPECT_EQ(connector.log.hosts, expected);
}

// ---- against a scripted HTTP server on loopback ---------------------------------------------

struct Step {
  std::string bytes;  // sent as one block
  int pauseMs = 0;    // before it
};

// One connection's part: the steps, then whether the server closes its end. A connection the
// server keeps open stays so until the client closes it, and the server notes that it did.
struct Exchange {
  std::vector<Step> steps;
  bool serverCloses = false;
};

Exchange Sends(std::string answer, bool serverCloses = false) { return {{{std::move(answer), 0}}, serverCloses}; }

// Accepts one connection per exchange, in order, on an ephemeral loopback port. Every wait it
// makes has a deadline, so it ends by itself whatever the client does.
class ScriptedHttpServer {
 public:
  explicit ScriptedHttpServer(std::vector<Exchange> exchanges) : exchanges_(std::move(exchanges)) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 16) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ADD_FAILURE() << "no loopback listener: " << std::strerror(errno);
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedHttpServer() {
    Finish();
    if (listener_ >= 0) close(listener_);
  }

  [[nodiscard]] int Port() const { return port_; }
  // Stops accepting and waits until the connection in hand is over.
  void Finish() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  // After Finish: one entry per accepted connection.
  std::vector<std::string> requests;
  std::vector<bool> clientClosed;

 private:
  static constexpr auto kDeadline = std::chrono::seconds(5);

  static bool Readable(int socket, int ms) {
    pollfd entry{socket, POLLIN, 0};
    return poll(&entry, 1, ms) > 0;
  }

  void Serve() {
    for (const Exchange& exchange : exchanges_) {
      const auto acceptBy = Clock::now() + kDeadline;
      while (!stop_ && Clock::now() < acceptBy && !Readable(listener_, 20)) {
      }
      if (stop_ && !Readable(listener_, 0)) return;
      const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (connection < 0) return;
      Play(connection, exchange);
      close(connection);
    }
  }

  void Play(int connection, const Exchange& exchange) {
    std::string request;
    const auto readBy = Clock::now() + kDeadline;
    char block[512];
    while (request.find("\r\n\r\n") == std::string::npos && Clock::now() < readBy) {
      if (!Readable(connection, 20)) continue;
      const ssize_t n = recv(connection, block, sizeof block, 0);
      if (n <= 0) break;
      request.append(block, static_cast<std::size_t>(n));
    }
    requests.push_back(request);
    for (const Step& step : exchange.steps) {
      if (step.pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(step.pauseMs));
      if (send(connection, step.bytes.data(), step.bytes.size(), MSG_NOSIGNAL) < 0) break;
    }
    if (exchange.serverCloses) {
      clientClosed.push_back(true);
      return;
    }
    bool closed = false;
    const auto closeBy = Clock::now() + kDeadline;
    while (!closed && Clock::now() < closeBy) {
      if (!Readable(connection, 20)) continue;
      closed = recv(connection, block, sizeof block, 0) <= 0;
    }
    clientClosed.push_back(closed);
  }

  std::vector<Exchange> exchanges_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_ = false;
  std::thread thread_;
};

struct LoopbackFetch : ::testing::Test {
  PosixTcpConnector connector;

  // Polls a millisecond apart: long enough for the server's thread to answer within the limit.
  static FetchOptions OptionsFor(const ScriptedHttpServer& server) {
    FetchOptions options;
    options.port = server.Port();
    options.pause = [](int) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
    return options;
  }
  std::optional<FetchResult> Fetch(ScriptedHttpServer& server, std::string url = "http://127.0.0.1/update.php?p=x") {
    auto result = FetchUrl(connector, RequestOf(std::move(url)), OptionsFor(server));
    server.Finish();
    return result;
  }
};

TEST_F(LoopbackFetch, SendsTheRequestAndReadsADeclaredBody) {
  ScriptedHttpServer server({Sends("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello")});
  const auto result = Fetch(server);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_EQ(result->url, "127.0.0.1/update.php?p=x");
  EXPECT_EQ(Text(result->data), "hello");
  EXPECT_EQ(server.requests, std::vector<std::string>{"GET /update.php?p=x HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                                      "User-Agent: Zorvane Updater (Tastovolant)\r\n\r\n"});
  EXPECT_EQ(server.clientClosed, std::vector<bool>{true});
}

// Redirected connections used to be left open for the life of the program.
TEST_F(LoopbackFetch, NineRedirectsAreFollowedAndEachConnectionIsClosed) {
  std::vector<Exchange> exchanges;
  for (int i = 1; i <= 9; ++i) {
    exchanges.push_back(
        Sends("HTTP/1.1 302 Found\r\nLocation:  http://127.0.0.1/hop" + std::to_string(i) + " \r\n\r\n"));
  }
  exchanges.push_back(Sends("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nlast"));
  ScriptedHttpServer server(exchanges);
  const auto result = Fetch(server, "http://127.0.0.1/start");
  ASSERT_TRUE(result);
  EXPECT_EQ(Text(result->data), "last");
  EXPECT_EQ(result->url, "127.0.0.1/hop9");
  ASSERT_EQ(server.requests.size(), 10u);
  EXPECT_TRUE(server.requests[0].starts_with("GET /start HTTP/1.1\r\n"));
  EXPECT_TRUE(server.requests[9].starts_with("GET /hop9 HTTP/1.1\r\n"));
  EXPECT_EQ(server.clientClosed, std::vector<bool>(10, true));
}

TEST_F(LoopbackFetch, TenRedirectsUseUpEveryAttempt) {
  std::vector<Exchange> exchanges(10, Sends("HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1/again\r\n\r\n"));
  exchanges.push_back(Sends("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nlate"));
  ScriptedHttpServer server(exchanges);
  EXPECT_FALSE(Fetch(server));
  EXPECT_EQ(server.requests.size(), 10u);
  EXPECT_EQ(server.clientClosed, std::vector<bool>(10, true));
}

TEST_F(LoopbackFetch, AHostNameIsLookedUp) {
  ScriptedHttpServer server({Sends("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nname")});
  const auto result = Fetch(server, "http://localhost/x");
  ASSERT_TRUE(result);
  EXPECT_EQ(Text(result->data), "name");
  ASSERT_EQ(server.requests.size(), 1u);
  EXPECT_NE(server.requests[0].find("\r\nHost: localhost\r\n"), std::string::npos);
}

TEST_F(LoopbackFetch, ARelativeRedirectIsNotResolved) {
  ScriptedHttpServer server({Sends("HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\n\r\n"),
                             Sends("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nno")});
  EXPECT_FALSE(Fetch(server));
  EXPECT_EQ(server.requests.size(), 1u);
}

TEST_F(LoopbackFetch, ContentLocationBeforeLocationIsTakenForTheRedirect) {
  ScriptedHttpServer server({Sends("HTTP/1.1 302 Found\r\nContent-Location: http://127.0.0.1/first\r\n"
                                   "Location: http://127.0.0.1/second\r\n\r\n"),
                             Sends("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")});
  ASSERT_TRUE(Fetch(server));
  ASSERT_EQ(server.requests.size(), 2u);
  EXPECT_TRUE(server.requests[1].starts_with("GET /first HTTP/1.1\r\n"));
}

TEST_F(LoopbackFetch, EveryStatusButA302IsTakenWithItsBody) {
  for (const int status : {200, 301, 303, 307, 404, 500}) {
    const std::string body = "body of " + std::to_string(status);
    ScriptedHttpServer server({Sends("HTTP/1.1 " + std::to_string(status) +
                                     " Whatever\r\nLocation: "
                                     "http://127.0.0.1/moved\r\nContent-Length: " +
                                     std::to_string(body.size()) + "\r\n\r\n" + body)});
    const auto result = Fetch(server);
    ASSERT_TRUE(result) << status;
    EXPECT_EQ(result->status, status);
    EXPECT_EQ(Text(result->data), body);
    EXPECT_EQ(server.requests.size(), 1u);
  }
}

TEST_F(LoopbackFetch, TheContentLengthLineIsFoundIgnoringCaseButNeedsItsSpace) {
  struct Case {
    std::string lengthLine;
    bool declared;
  };
  const std::vector<Case> cases = {
      {"content-length: 3", true},  {"CONTENT-LENGTH:    3  ", true},    {"Content-Length:3", false},
      {"Content-Length: 0", false}, {"Content-Type: text/plain", false},
  };
  for (const Case& c : cases) {
    // A declared length ends the read after three bytes; without one the server's close does.
    ScriptedHttpServer server({Sends("HTTP/1.1 200 OK\r\n" + c.lengthLine + "\r\n\r\nabcdef", !c.declared)});
    const auto result = Fetch(server);
    ASSERT_TRUE(result) << c.lengthLine;
    EXPECT_EQ(Text(*result), c.declared ? "abc" : "abcdef") << c.lengthLine;
    EXPECT_EQ(result->size, c.declared ? 3 : 1024) << c.lengthLine;
  }
}

TEST_F(LoopbackFetch, BytesBeyondTheDeclaredLengthAreLeftAndTheConnectionClosed) {
  ScriptedHttpServer server({Sends("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nfourMORE BYTES")});
  const auto result = Fetch(server);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->size, 4);
  EXPECT_EQ(result->received, 4);
  EXPECT_EQ(Text(result->data), "four");
  EXPECT_EQ(server.clientClosed, std::vector<bool>{true});
}

TEST_F(LoopbackFetch, ABodyWithANulByteIsStoredWhole) {
  using namespace std::string_literals;
  ScriptedHttpServer server({Sends("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nok\0ok"s)});
  const auto result = Fetch(server);
  ASSERT_TRUE(result);
  EXPECT_EQ(Text(result->data), "ok\0ok"s);
}

TEST_F(LoopbackFetch, HeadAndBodyMayArriveInPieces) {
  const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nin pieces";
  Exchange slowly{
      {{"HTTP/1.1 20", 0}, {"0 OK\r\nContent-Le", 20}, {"ngth: 9\r\n\r", 20}, {"\nin p", 20}, {"ieces", 20}}};
  Exchange byteByByte;
  for (char c : answer) byteByByte.steps.push_back({std::string(1, c), 0});
  for (const Exchange& exchange : {slowly, byteByByte}) {
    ScriptedHttpServer server({exchange});
    const auto result = Fetch(server);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_EQ(Text(result->data), "in pieces");
  }
}

TEST(PosixTcpConnector, RefusesAnEmptyHostAndAPortWithoutListener) {
  PosixTcpConnector connector;
  EXPECT_EQ(connector.Connect("", 80), nullptr);
  // A port that was just free: bound, not listened on, then released.
  const int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const int port = ntohs(address.sin_port);
  EXPECT_EQ(connector.Connect("127.0.0.1", port), nullptr);
  close(probe);
}

TEST(PosixTcpConnector, ReceivesNothingWhileSilentAndFailsOnceClosed) {
  ScriptedHttpServer server({{{{"x", 0}}, true}});
  PosixTcpConnector connector;
  auto connection = connector.Connect("127.0.0.1", server.Port());
  ASSERT_NE(connection, nullptr);
  unsigned char byte = 0;
  // The server answers only once it has the request.
  EXPECT_FALSE(connection->DataWaiting());
  EXPECT_EQ(connection->Receive(std::span(&byte, 1)), 0);
  const std::string request = "hello\r\n\r\n";
  EXPECT_EQ(connection->Send(std::span(reinterpret_cast<const unsigned char*>(request.data()), request.size())),
            static_cast<int>(request.size()));
  int got = 0;
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while ((got = connection->Receive(std::span(&byte, 1))) == 0 && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(got, 1);
  EXPECT_EQ(byte, 'x');
  server.Finish();  // the server has closed its end
  while ((got = connection->Receive(std::span(&byte, 1))) == 0 && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(got, -1);
  EXPECT_FALSE(connection->DataWaiting());
}

}  // namespace
}  // namespace tv
