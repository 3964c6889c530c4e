#pragma once
// The network port: the socket layer, the program's TCP server and the names of hosts.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tv {

// One accepted connection, stable for its whole life and never reused, so that a handler may
// keep using it after the server closed the connection: every operation on a closed or unknown
// connection fails harmlessly. Compared only for equality.
using ClientId = std::uint64_t;

// What one poll of the server found.
enum class ServerEvent {
  Nothing = 0,
  Accepted = 1,     // a pending connection was accepted
  DataWaiting = 2,  // unread data waits on a connection
  Marker = 3,       // data that starts with the platform's file-transfer marker (ours has none)
  Closed = 4,       // the client closed or reset the connection; the server closed and forgot it
};

class Network {
 public:
  virtual ~Network() = default;
  // The socket layer, version 1.1. Its outcome is not examined: unusable sockets show later,
  // when a server or connection cannot be made.
  virtual void StartSockets() = 0;
  virtual void CleanupSockets() = 0;

  // Main thread: ------------------------------------------------------------------------------
  // A listening TCP socket on every IPv4 interface at `port` (0: the system picks one), backlog
  // 100, non-blocking, held exclusively. False for a port above 65535 or one that can't be had.
  [[nodiscard]] virtual bool CreateServer(int port) = 0;
  // Closes every connection the server knows, forgets them, then closes the listening socket.
  virtual void CloseServer() = 0;
  // The port the server listens on, 0 while there is none.
  [[nodiscard]] virtual int ServerPort() = 0;
  // Reports at most one event and never waits. A pending connection is accepted before waiting
  // data is looked at; waiting data is only looked at, never consumed, so it is reported again
  // until read.
  [[nodiscard]] virtual ServerEvent PollServer() = 0;
  // The connection that the latest poll named.
  [[nodiscard]] virtual ClientId EventClient() = 0;
  // Closes one connection and forgets it.
  virtual void CloseClient(ClientId client) = 0;

  // Any thread, never waiting longer than asked: ---------------------------------------------
  // Bytes received into `buffer`: 1 or more; 0 when none waits yet; -1 once the connection has
  // failed or is closed.
  [[nodiscard]] virtual int Receive(ClientId client, std::span<unsigned char> buffer) = 0;
  // As Receive, but the bytes stay waiting on the connection.
  [[nodiscard]] virtual int Peek(ClientId client, std::span<unsigned char> buffer) = 0;
  // Waits up to `timeoutMs` until a byte can be received or the connection has failed.
  virtual void WaitReadable(ClientId client, int timeoutMs) = 0;
  // Hands the bytes over, waiting for room in the connection's buffer for at most a few seconds in
  // all, so that an answer is never cut short by a full buffer; the number accepted, or -1.
  virtual int Send(ClientId client, std::span<const unsigned char> bytes) = 0;
  // The peer's IPv4 address, first octet in the lowest byte; 0 when it can't be had.
  [[nodiscard]] virtual std::uint32_t PeerAddress(ClientId client) = 0;

  // This PC's host name, empty when it can't be read.
  [[nodiscard]] virtual std::string HostName() = 0;
  // The official name of an IPv4 address (first octet in the lowest byte); nothing when the
  // resolver has no answer. Blocks while the resolver works.
  [[nodiscard]] virtual std::optional<std::string> ReverseLookup(std::uint32_t address) = 0;
};

}  // namespace tv
