#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/socket_server.h"

namespace tv {

// Winsock. Every socket of the server signals one event on activity, which the window's event
// wait also waits for, so that a request never waits for the next tick.
struct WinsockSockets {
  using Socket = std::uintptr_t;  // SOCKET
  static constexpr Socket kInvalid = ~Socket{0};
  static Socket Listen(int port);
  static Socket Accept(Socket listener);
  static void Close(Socket s);
  static void Shutdown(Socket s);
  static int LocalPort(Socket s);
  static std::uint32_t Peer(Socket s);
  static bool Readable(const std::vector<Socket>& sockets, std::vector<char>& readable);
  static int Recv(Socket s, unsigned char* bytes, int length, bool peek);
  static int Send(Socket s, const unsigned char* bytes, int length);
  static void WaitReadable(Socket s, int timeoutMs);
  static void WaitWritable(Socket s, int timeoutMs);
  static bool StartUp();
  static void CleanUp();
  // Re-arms the activity event: whatever arrives after the poll's look signals again.
  static void BeforePoll();
  static std::string HostName();
  static std::optional<std::string> ReverseLookup(std::uint32_t address);
  // The activity event (a Win32 event handle), made on first use.
  static void* ActivityEvent();
};

class WinsockNetwork final : public SocketNetwork<WinsockSockets> {
 public:
  // A handle to wait on, signalled when a connection arrives, data comes or a client closes.
  [[nodiscard]] void* ActivityEvent() const { return WinsockSockets::ActivityEvent(); }
};

}  // namespace tv
