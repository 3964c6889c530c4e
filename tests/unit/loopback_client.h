#pragma once
// A blocking test client on loopback, optionally from another loopback source address, and a
// bounded wait for a condition. Sends give up after a few seconds without room, so a server that
// stops reading can't hold a test.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>

namespace tv::loopback {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds timeout = 3s) {
  const auto deadline = Clock::now() + timeout;
  while (!condition()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

class Client {
 public:
  explicit Client(int port, const char* source = nullptr) : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    timeval timeout{5, 0};
    setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    if (source) {
      sockaddr_in local{};
      local.sin_family = AF_INET;
      inet_pton(AF_INET, source, &local.sin_addr);
      bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
    }
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&server), sizeof server) == 0;
  }
  ~Client() {
    if (fd_ >= 0) close(fd_);
  }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  [[nodiscard]] bool Connected() const { return connected_; }
  // All of `bytes`; false once the server stopped taking them.
  bool Send(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
  }
  // One answer: its head and as many body bytes as it announces, or what came before the
  // time-out (empty when nothing did). Bytes of a following answer are kept for the next call.
  std::string ReadAnswer(std::chrono::milliseconds timeout = 5s) {
    std::string data = std::move(pending_);
    pending_.clear();
    const auto deadline = Clock::now() + timeout;
    std::size_t wanted = WantedLength(data);
    while (data.size() < wanted && ReadSome(data, deadline)) {
      if (wanted == std::string::npos) wanted = WantedLength(data);
    }
    if (wanted < data.size()) {
      pending_ = data.substr(wanted);
      data.resize(wanted);
    }
    return data;
  }
  // At least `count` bytes of whatever comes.
  std::string ReadBytes(std::size_t count, std::chrono::milliseconds timeout = 5s) {
    std::string data = std::move(pending_);
    pending_.clear();
    const auto deadline = Clock::now() + timeout;
    while (data.size() < count && ReadSome(data, deadline)) {
    }
    return data;
  }
  // True once the server has closed its end; what still comes before that is dropped.
  bool ServerClosed(std::chrono::milliseconds timeout = 3s) {
    if (closedByServer_) return true;
    std::string ignored;
    const auto deadline = Clock::now() + timeout;
    while (ReadSome(ignored, deadline)) {
    }
    return closedByServer_;
  }
  // Ends sending, as a close does; HungUp once the server's side has taken note.
  bool HangUp() { return shutdown(fd_, SHUT_WR) == 0; }
  [[nodiscard]] bool HungUp() {
    tcp_info info{};
    socklen_t length = sizeof info;
    return getsockopt(fd_, IPPROTO_TCP, TCP_INFO, &info, &length) == 0 && info.tcpi_state == TCP_FIN_WAIT2;
  }
  // Closes with a reset instead of an orderly end.
  void Reset() {
    linger abort{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    close(fd_);
    fd_ = -1;
  }

  // The length of the first answer in `data` once its head is there.
  static std::size_t WantedLength(const std::string& data) {
    const std::size_t headEnd = data.find("\r\n\r\n");
    if (headEnd == std::string::npos) return std::string::npos;
    const std::size_t at = data.find("Content-Length: ");
    return headEnd + 4 + (at < headEnd ? std::stoul(data.substr(at + 16, 20)) : 0);
  }

 private:
  bool ReadSome(std::string& data, Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    char buffer[65536];
    const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
    if (got <= 0) {
      closedByServer_ = true;
      return false;
    }
    data.append(buffer, static_cast<std::size_t>(got));
    return true;
  }

  int fd_;
  bool connected_ = false;
  bool closedByServer_ = false;
  std::string pending_;
};

}  // namespace tv::loopback
