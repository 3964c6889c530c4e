#include "platform/win32/tcp_client_win32.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>
#include <string>

namespace tv {
namespace {

int ClampedLength(std::size_t size) { return size > INT_MAX ? INT_MAX : static_cast<int>(size); }

class WinsockTcpConnection final : public TcpConnection {
 public:
  explicit WinsockTcpConnection(SOCKET socket) : socket_(socket) {}
  ~WinsockTcpConnection() override { closesocket(socket_); }
  WinsockTcpConnection(const WinsockTcpConnection&) = delete;
  WinsockTcpConnection& operator=(const WinsockTcpConnection&) = delete;

  int Send(std::span<const unsigned char> bytes) override {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const int n =
          send(socket_, reinterpret_cast<const char*>(bytes.data() + sent), ClampedLength(bytes.size() - sent), 0);
      if (n == SOCKET_ERROR || n == 0) break;
      sent += static_cast<std::size_t>(n);
    }
    return ClampedLength(sent);
  }

  bool DataWaiting() override {
    u_long waiting = 0;
    return ioctlsocket(socket_, FIONREAD, &waiting) == 0 && waiting > 0;
  }

  int Receive(std::span<unsigned char> buffer) override {
    if (buffer.empty()) return 0;
    // The socket stays blocking (so that the one send of a request goes out whole); a zero
    // time-out select tells whether recv would wait. Readable with nothing to read means closed.
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket_, &readable);
    timeval noWait{0, 0};
    const int ready = select(0, &readable, nullptr, nullptr, &noWait);
    if (ready == SOCKET_ERROR) return -1;
    if (ready == 0) return 0;
    const int n = recv(socket_, reinterpret_cast<char*>(buffer.data()), ClampedLength(buffer.size()), 0);
    return n > 0 ? n : -1;
  }

 private:
  SOCKET socket_;
};

}  // namespace

std::unique_ptr<TcpConnection> WinsockTcpConnector::Connect(std::string_view host, int port) {
  if (host.empty() || port <= 0 || port > 65535) return nullptr;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  if (getaddrinfo(std::string(host).c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return nullptr;
  sockaddr_in address = *reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  freeaddrinfo(found);
  address.sin_port = htons(static_cast<u_short>(port));

  const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (socket == INVALID_SOCKET) return nullptr;
  if (connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == SOCKET_ERROR) {
    closesocket(socket);
    return nullptr;
  }
  return std::make_unique<WinsockTcpConnection>(socket);
}

}  // namespace tv
