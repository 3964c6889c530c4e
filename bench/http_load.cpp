// The load client of the benchmarks: a native program that asks a server on loopback, with a new
// connection for every request, as the phone's browser does (the program answers
// "Connection: close"). Every loop is bounded by a count or a deadline and stops by itself.
//
//   http_load fetch      PORT TARGET                  the raw answer on stdout
//   http_load latency    PORT TARGET COUNT            sequential requests; median and 99th
//   http_load throughput PORT TARGET CLIENTS SECONDS  concurrent clients for a time; requests a second
//   http_load pageload   PORT LOADS PARALLEL          "/", then its pictures and frame in parallel
//
// Each mode prints one line of key=value pairs (times in microseconds) for bench/run.sh.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Longer than any answer may take; a request still unanswered then counts as failed.
constexpr auto kAnswerLimit = 5s;

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

std::string RequestFor(const std::string& target, int port) {
  return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
         "\r\nUser-Agent: Mozilla/5.0 (Linux; Tastovolant bench) http_load\r\nAccept: */*\r\n\r\n";
}

// Where an answer stands while its bytes arrive.
struct Answer {
  std::string bytes;
  std::size_t wanted = std::string::npos;  // head plus body, once the head is in

  // True once the whole answer is in: its head and as many body bytes as it announces.
  bool Add(const char* data, std::size_t length) {
    bytes.append(data, length);
    if (wanted == std::string::npos) {
      const std::size_t end = bytes.find("\r\n\r\n");
      if (end == std::string::npos) return false;
      std::size_t body = 0;
      // Header names in any case, as nginx and the program spell them differently.
      std::string head = bytes.substr(0, end);
      std::transform(head.begin(), head.end(), head.begin(), [](unsigned char c) { return std::tolower(c); });
      const std::size_t at = head.find("\r\ncontent-length:");
      if (at != std::string::npos) body = std::strtoul(head.c_str() + at + 17, nullptr, 10);
      wanted = end + 4 + body;
    }
    return bytes.size() >= wanted;
  }
  bool Ok() const { return wanted != std::string::npos && bytes.size() >= wanted && bytes.starts_with("HTTP/1.1 200"); }
};

// A close that leaves no TIME_WAIT behind: tens of thousands of connections a run would
// otherwise use up the loopback's ephemeral ports. The answer is wholly read by then.
void CloseAbortively(int fd) {
  linger off{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &off, sizeof off);
  close(fd);
}

double MicrosSince(Clock::time_point start, Clock::time_point end = Clock::now()) {
  return std::chrono::duration<double, std::micro>(end - start).count();
}

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  // Nearest rank: the smallest value that at least this fraction of the samples do not exceed.
  std::size_t rank = static_cast<std::size_t>(fraction * static_cast<double>(values.size()) + 0.999999);
  rank = std::clamp<std::size_t>(rank, 1, values.size());
  return values[rank - 1];
}

// One request on a blocking connection: the answer, and when its request went out.
bool AskOnce(int port, const std::string& request, Answer& answer, Clock::time_point& sent) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  const sockaddr_in address = Loopback(port);
  bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  sent = Clock::now();
  if (ok) ok = send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size());
  const auto deadline = sent + kAnswerLimit;
  bool complete = false;
  while (ok && !complete) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p{fd, POLLIN, 0};
    if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) break;
    char buffer[65536];
    const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    complete = answer.Add(buffer, static_cast<std::size_t>(got));
  }
  CloseAbortively(fd);
  return complete && answer.Ok();
}

// Many connections at once on one epoll loop, each asking one request and closing once the
// answer is in. `next` hands out the next request for a free slot, or false when none is left.
class Engine {
 public:
  struct Outcome {
    long sent = 0;      // requests whose bytes were handed over wholly
    long answered = 0;  // complete 200 answers
    long failed = 0;    // refused, reset, cut short or too late
  };

  explicit Engine(int port) : port_(port), epoll_(epoll_create1(EPOLL_CLOEXEC)) {}
  ~Engine() { close(epoll_); }

  template <typename Next>
  Outcome Run(int slots, Next next, Clock::time_point hardDeadline) {
    Outcome outcome;
    std::vector<Connection> connections(static_cast<std::size_t>(slots));
    const auto start = [&](Connection& c) {
      std::string request;
      if (!next(request)) return false;
      c = Connection{};
      c.request = std::move(request);
      c.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      if (c.fd < 0) {
        ++outcome.failed;
        return false;
      }
      const int one = 1;
      setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      c.begun = Clock::now();
      const sockaddr_in address = Loopback(port_);
      if (connect(c.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS) {
        close(c.fd);
        c.fd = -1;
        ++outcome.failed;
        return false;
      }
      epoll_event event{};
      event.events = EPOLLOUT;
      event.data.ptr = &c;
      epoll_ctl(epoll_, EPOLL_CTL_ADD, c.fd, &event);
      ++open_;
      return true;
    };
    const auto finish = [&](Connection& c, bool answered) {
      epoll_ctl(epoll_, EPOLL_CTL_DEL, c.fd, nullptr);
      CloseAbortively(c.fd);
      c.fd = -1;
      --open_;
      if (answered) {
        ++outcome.answered;
      } else {
        ++outcome.failed;
      }
    };
    for (Connection& c : connections) start(c);
    std::vector<epoll_event> events(static_cast<std::size_t>(slots));
    while (open_ > 0 && Clock::now() < hardDeadline) {
      const int n = epoll_wait(epoll_, events.data(), slots, 10);
      for (int i = 0; i < n; ++i) {
        Connection& c = *static_cast<Connection*>(events[static_cast<std::size_t>(i)].data.ptr);
        if (c.fd < 0) continue;
        bool done = false, answered = false;
        if (!c.requestSent) {
          int error = 0;
          socklen_t length = sizeof error;
          getsockopt(c.fd, SOL_SOCKET, SO_ERROR, &error, &length);
          const ssize_t put = error ? -1 : send(c.fd, c.request.data(), c.request.size(), MSG_NOSIGNAL);
          if (put == static_cast<ssize_t>(c.request.size())) {
            c.requestSent = true;
            ++outcome.sent;
            epoll_event event{};
            event.events = EPOLLIN;
            event.data.ptr = &c;
            epoll_ctl(epoll_, EPOLL_CTL_MOD, c.fd, &event);
          } else {
            done = true;
          }
        } else {
          char buffer[65536];
          const ssize_t got = recv(c.fd, buffer, sizeof buffer, 0);
          if (got > 0) {
            if (c.answer.Add(buffer, static_cast<std::size_t>(got))) {
              done = true;
              answered = c.answer.Ok();
            }
          } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
            // HTTP_LOAD_DEBUG set: why an answer was cut short, on stderr.
            if (std::getenv("HTTP_LOAD_DEBUG")) {
              std::fprintf(stderr, "recv=%zd errno=%d after %zu bytes: %.40s\n", got, got < 0 ? errno : 0,
                           c.answer.bytes.size(), c.answer.bytes.c_str());
            }
            done = true;
          }
        }
        if (done) {
          finish(c, answered);
          start(c);
        }
      }
      const auto now = Clock::now();
      for (Connection& c : connections) {
        if (c.fd >= 0 && now - c.begun > kAnswerLimit) {
          finish(c, false);
          start(c);
        }
      }
    }
    for (Connection& c : connections) {
      if (c.fd >= 0) finish(c, false);
    }
    return outcome;
  }

 private:
  struct Connection {
    std::string request;
    int fd = -1;
    bool requestSent = false;
    Answer answer;
    Clock::time_point begun;
  };

  int port_;
  int epoll_;
  int open_ = 0;
};

int Fetch(int port, const std::string& target) {
  Answer answer;
  Clock::time_point sent;
  const bool ok = AskOnce(port, RequestFor(target, port), answer, sent);
  std::fwrite(answer.bytes.data(), 1, answer.bytes.size(), stdout);
  return ok ? 0 : 1;
}

int Latency(int port, const std::string& target, int count) {
  const std::string request = RequestFor(target, port);
  std::vector<double> samples;
  samples.reserve(static_cast<std::size_t>(count));
  int failed = 0;
  const auto deadline = Clock::now() + 120s;
  for (int i = 0; i < count && Clock::now() < deadline; ++i) {
    Answer answer;
    Clock::time_point sent;
    if (AskOnce(port, request, answer, sent)) {
      samples.push_back(MicrosSince(sent));
    } else {
      ++failed;
    }
  }
  std::printf("latency n=%zu failed=%d median_us=%.1f p99_us=%.1f max_us=%.1f\n", samples.size(), failed,
              Percentile(samples, 0.5), Percentile(samples, 0.99), Percentile(samples, 1.0));
  return failed == 0 ? 0 : 1;
}

int Throughput(int port, const std::string& target, int clients, double seconds) {
  const std::string request = RequestFor(target, port);
  Engine engine(port);
  const auto begin = Clock::now();
  const auto stop = begin + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  // No new request after `stop`; those under way then finish within the answer limit.
  const Engine::Outcome outcome = engine.Run(
      clients,
      [&](std::string& next) {
        if (Clock::now() >= stop) return false;
        next = request;
        return true;
      },
      stop + kAnswerLimit);
  const double spent = MicrosSince(begin) / 1e6;
  std::printf("throughput sent=%ld answered=%ld failed=%ld seconds=%.3f rps=%.1f\n", outcome.sent, outcome.answered,
              outcome.failed, spent, static_cast<double>(outcome.answered) / spent);
  return outcome.failed == 0 ? 0 : 1;
}

// What a browser asks for the remote-control page: the page, then what it names, in its order.
const std::vector<std::string> kPageParts = {"/GFX/bw_0.png", "/GFX/pp_0.png", "/GFX/fw_0.png", "/GFX/st_0.png",
                                             "/GFX/vd_0.png", "/GFX/vm_0.png", "/GFX/vu_0.png", "/host"};

int PageLoad(int port, int loads, int parallel) {
  std::vector<double> samples;
  long requests = 0, failed = 0;
  const std::string page = RequestFor("/", port);
  const auto deadline = Clock::now() + 120s;
  for (int load = 0; load < loads && Clock::now() < deadline; ++load) {
    const auto begin = Clock::now();
    Engine engine(port);
    bool first = true;
    Engine::Outcome outcome = engine.Run(
        1,
        [&](std::string& next) {
          if (!first) return false;
          first = false;
          next = page;
          return true;
        },
        begin + kAnswerLimit);
    std::size_t part = 0;
    if (outcome.answered == 1) {
      const Engine::Outcome parts = engine.Run(
          std::min<int>(parallel, static_cast<int>(kPageParts.size())),
          [&](std::string& next) {
            if (part >= kPageParts.size()) return false;
            next = RequestFor(kPageParts[part++], port);
            return true;
          },
          Clock::now() + kAnswerLimit);
      outcome.sent += parts.sent;
      outcome.answered += parts.answered;
      outcome.failed += parts.failed;
    }
    requests += outcome.sent;
    if (outcome.answered == static_cast<long>(1 + kPageParts.size())) {
      samples.push_back(MicrosSince(begin));
    } else {
      ++failed;
    }
  }
  std::printf("pageload n=%zu failed=%ld requests=%ld median_us=%.1f p99_us=%.1f max_us=%.1f\n", samples.size(), failed,
              requests, Percentile(samples, 0.5), Percentile(samples, 0.99), Percentile(samples, 1.0));
  return failed == 0 ? 0 : 1;
}

int Usage() {
  std::fprintf(stderr,
               "usage: http_load fetch PORT TARGET | latency PORT TARGET COUNT |\n"
               "       throughput PORT TARGET CLIENTS SECONDS | pageload PORT LOADS PARALLEL\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string mode = argv[1];
  const int port = std::atoi(argv[2]);
  if (port <= 0 || port > 65535) return Usage();
  if (mode == "fetch" && argc == 4) return Fetch(port, argv[3]);
  if (mode == "latency" && argc == 5) return Latency(port, argv[3], std::max(1, std::atoi(argv[4])));
  if (mode == "throughput" && argc == 6) {
    return Throughput(port, argv[3], std::clamp(std::atoi(argv[4]), 1, 1000),
                      std::clamp(std::atof(argv[5]), 0.1, 60.0));
  }
  if (mode == "pageload" && argc == 5) {
    return PageLoad(port, std::clamp(std::atoi(argv[3]), 1, 10000), std::clamp(std::atoi(argv[4]), 1, 6));
  }
  return Usage();
}
