#include "platform/win32/network_win32.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <type_traits>

namespace tv {

namespace {

// Signalled by every socket of the server; the main loop's wait ends on it.
WSAEVENT activity = WSA_INVALID_EVENT;
// Whether the event may have been signalled since the server's last look, and whether a wait
// watches it at all (without one, every poll looks).
std::atomic<bool> maybeActive{true};
std::atomic<bool> watched{false};

static_assert(std::is_same_v<WinsockSockets::Socket, SOCKET>);

std::uint32_t AddressValue(const sockaddr_in& address) {
  const auto* octets = reinterpret_cast<const unsigned char*>(&address.sin_addr.s_addr);
  return std::uint32_t{octets[0]} | std::uint32_t{octets[1]} << 8 | std::uint32_t{octets[2]} << 16 |
         std::uint32_t{octets[3]} << 24;
}

}  // namespace

void* WinsockSockets::ActivityEvent() {
  if (activity == WSA_INVALID_EVENT) activity = WSACreateEvent();
  return activity;
}

bool WinsockSockets::StartUp() {
  WSADATA data;
  return WSAStartup(MAKEWORD(1, 1), &data) == 0;
}

void WinsockSockets::CleanUp() { WSACleanup(); }

void* WinsockSockets::WatchActivity() {
  watched = true;
  return ActivityEvent();
}

void WinsockSockets::ActivitySeen() { maybeActive = true; }

void WinsockSockets::Rearm() {
  if (watched) maybeActive = false;
  if (activity != WSA_INVALID_EVENT) WSAResetEvent(activity);
}

bool WinsockSockets::MaybeActive() { return maybeActive; }

WinsockSockets::Socket WinsockSockets::Listen(int port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return kInvalid;
  // Exclusive: no other program can bind the port, not even with its address-reuse option.
  BOOL exclusive = TRUE;
  setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(static_cast<u_short>(port));
  u_long nonBlocking = 1;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 100) != 0 ||
      ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
    closesocket(s);
    return kInvalid;
  }
  // Accepted sockets take this selection over, so the event follows every connection too.
  WSAEventSelect(s, ActivityEvent(), FD_ACCEPT | FD_READ | FD_CLOSE);
  return s;
}
WinsockSockets::Socket WinsockSockets::Accept(Socket listener, std::uint32_t& peer) {
  sockaddr_in address{};
  int length = sizeof address;
  SOCKET s = accept(listener, reinterpret_cast<sockaddr*>(&address), &length);
  if (s == INVALID_SOCKET) return kInvalid;
  peer = address.sin_family == AF_INET ? AddressValue(address) : 0;
  u_long nonBlocking = 1;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  return s;
}
void WinsockSockets::Close(Socket s) { closesocket(s); }
void WinsockSockets::Shutdown(Socket s) { shutdown(s, SD_BOTH); }
int WinsockSockets::LocalPort(Socket s) {
  sockaddr_in address{};
  int length = sizeof address;
  if (getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return ntohs(address.sin_port);
}
bool WinsockSockets::Look(const std::vector<Socket>& sockets, std::vector<Readiness>& found) {
  std::vector<WSAPOLLFD> polled(sockets.size());
  for (std::size_t i = 0; i < sockets.size(); ++i) polled[i] = {sockets[i], POLLRDNORM, 0};
  if (WSAPoll(polled.data(), static_cast<ULONG>(polled.size()), 0) == SOCKET_ERROR) return false;
  found.assign(sockets.size(), Readiness::Quiet);
  for (std::size_t i = 0; i < sockets.size(); ++i) {
    // A client's close shows as POLLHUP, a reset as POLLHUP | POLLERR; with bytes still unread,
    // POLLRDNORM comes along, and only a peek tells whether any are left.
    const SHORT seen = polled[i].revents;
    const bool ended = (seen & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    if (seen & POLLRDNORM) {
      found[i] = ended ? Readiness::DataOrGone : Readiness::Data;
    } else if (ended) {
      found[i] = Readiness::Gone;
    }
  }
  return true;
}
int WinsockSockets::Recv(Socket s, unsigned char* bytes, int length, bool peek) {
  const int got = recv(s, reinterpret_cast<char*>(bytes), length, peek ? MSG_PEEK : 0);
  if (got >= 0) return got;
  return WSAGetLastError() == WSAEWOULDBLOCK ? -1 : -2;
}
int WinsockSockets::Send(Socket s, const unsigned char* bytes, int length) {
  const int sent = send(s, reinterpret_cast<const char*>(bytes), length, 0);
  if (sent >= 0) return sent;
  return WSAGetLastError() == WSAEWOULDBLOCK ? -1 : -2;
}
void WinsockSockets::WaitReadable(Socket s, int timeoutMs) {
  WSAPOLLFD polled{s, POLLRDNORM, 0};
  WSAPoll(&polled, 1, timeoutMs);
}
void WinsockSockets::WaitWritable(Socket s, int timeoutMs) {
  WSAPOLLFD polled{s, POLLWRNORM, 0};
  WSAPoll(&polled, 1, timeoutMs);
}

std::string WinsockSockets::HostName() {
  char name[1025] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::optional<std::string> WinsockSockets::ReverseLookup(std::uint32_t address) {
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
