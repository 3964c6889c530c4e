#include "platform/posix/tcp_client_posix.h"

#include <cerrno>
#include <climits>
#include <string>

#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tv {
namespace {

int ClampedLength(std::size_t size) { return size > INT_MAX ? INT_MAX : static_cast<int>(size); }

class PosixTcpConnection final : public TcpConnection {
 public:
  explicit PosixTcpConnection(int socket) : socket_(socket) {}
  ~PosixTcpConnection() override { close(socket_); }
  PosixTcpConnection(const PosixTcpConnection&) = delete;
  PosixTcpConnection& operator=(const PosixTcpConnection&) = delete;

  int Send(std::span<const unsigned char> bytes) override {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      // MSG_NOSIGNAL: a peer that has gone must not raise SIGPIPE and end the program.
      const ssize_t n = send(socket_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    return ClampedLength(sent);
  }

  bool DataWaiting() override {
    int waiting = 0;
    return ioctl(socket_, FIONREAD, &waiting) == 0 && waiting > 0;
  }

  int Receive(std::span<unsigned char> buffer) override {
    if (buffer.empty()) return 0;
    const ssize_t n =
        recv(socket_, buffer.data(), static_cast<std::size_t>(ClampedLength(buffer.size())), MSG_DONTWAIT);
    if (n > 0) return static_cast<int>(n);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return 0;
    return -1;  // closed by the peer, or broken
  }

 private:
  int socket_;
};

}  // namespace

std::unique_ptr<TcpConnection> PosixTcpConnector::Connect(std::string_view host, int port) {
  if (host.empty() || port <= 0 || port > 65535) return nullptr;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(std::string(host).c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return nullptr;
  sockaddr_in address = *reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  freeaddrinfo(found);
  address.sin_port = htons(static_cast<std::uint16_t>(port));

  const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socket < 0) return nullptr;
  int result;
  do {
    result = connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    close(socket);
    return nullptr;
  }
  return std::make_unique<PosixTcpConnection>(socket);
}

}  // namespace tv
