#include "platform/posix/network_posix.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace tv {

PosixSockets::Socket PosixSockets::Listen(int port) {
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (s < 0) return kInvalid;
  // No address reuse: a port that another program holds, or still lingers, is refused.
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 100) != 0) {
    close(s);
    return kInvalid;
  }
  return s;
}
namespace {
std::uint32_t AddressValue(const sockaddr_in& address) {
  const auto* octets = reinterpret_cast<const unsigned char*>(&address.sin_addr.s_addr);
  return std::uint32_t{octets[0]} | std::uint32_t{octets[1]} << 8 | std::uint32_t{octets[2]} << 16 |
         std::uint32_t{octets[3]} << 24;
}
}  // namespace

PosixSockets::Socket PosixSockets::Accept(Socket listener, std::uint32_t& peer) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  const int s = accept4(listener, reinterpret_cast<sockaddr*>(&address), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (s < 0) return kInvalid;
  peer = address.sin_family == AF_INET ? AddressValue(address) : 0;
  return s;
}
void PosixSockets::Close(Socket s) { close(s); }
void PosixSockets::Shutdown(Socket s) { shutdown(s, SHUT_RDWR); }
int PosixSockets::LocalPort(Socket s) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return ntohs(address.sin_port);
}
bool PosixSockets::Look(const std::vector<Socket>& sockets, std::vector<Readiness>& found) {
  std::vector<pollfd> polled(sockets.size());
  for (std::size_t i = 0; i < sockets.size(); ++i) polled[i] = {sockets[i], POLLIN | POLLRDHUP, 0};
  if (poll(polled.data(), polled.size(), 0) < 0) return false;
  found.assign(sockets.size(), Readiness::Quiet);
  for (std::size_t i = 0; i < sockets.size(); ++i) {
    const short seen = polled[i].revents;
    const bool ended = (seen & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
    if (seen & POLLIN) {
      found[i] = ended ? Readiness::DataOrGone : Readiness::Data;
    } else if (ended) {
      found[i] = Readiness::Gone;
    }
  }
  return true;
}
int PosixSockets::Recv(Socket s, unsigned char* bytes, int length, bool peek) {
  const ssize_t got = recv(s, bytes, static_cast<std::size_t>(length), MSG_DONTWAIT | (peek ? MSG_PEEK : 0));
  if (got > 0) return static_cast<int>(got);
  if (got == 0) return 0;
  return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? -1 : -2;
}
int PosixSockets::Send(Socket s, const unsigned char* bytes, int length) {
  const ssize_t sent = send(s, bytes, static_cast<std::size_t>(length), MSG_DONTWAIT | MSG_NOSIGNAL);
  if (sent >= 0) return static_cast<int>(sent);
  return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? -1 : -2;
}
void PosixSockets::WaitReadable(Socket s, int timeoutMs) {
  pollfd polled{s, POLLIN, 0};
  (void)poll(&polled, 1, timeoutMs);
}
void PosixSockets::WaitWritable(Socket s, int timeoutMs) {
  pollfd polled{s, POLLOUT, 0};
  (void)poll(&polled, 1, timeoutMs);
}

std::string PosixSockets::HostName() {
  char name[1025] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::optional<std::string> PosixSockets::ReverseLookup(std::uint32_t address) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  auto* octets = reinterpret_cast<unsigned char*>(&peer.sin_addr.s_addr);
  for (int i = 0; i < 4; ++i) octets[i] = static_cast<unsigned char>(address >> (8 * i));
  char host[NI_MAXHOST] = {};
  if (getnameinfo(reinterpret_cast<sockaddr*>(&peer), sizeof peer, host, sizeof host, nullptr, 0, NI_NAMEREQD) != 0) {
    return std::nullopt;
  }
  return std::string(host);
}

}  // namespace tv
