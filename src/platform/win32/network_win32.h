#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/socket_server.h"

namespace tv {

// Winsock. Every socket of the server signals one event on activity, which the window's event
// wait also waits for, so that a request never waits for the next tick; and while the wait tells
// what it saw, the server looks at its sockets only after activity.
struct WinsockSockets {
  using Socket = std::uintptr_t;  // SOCKET
  static constexpr Socket kInvalid = ~Socket{0};
  static Socket Listen(int port);
  static Socket Accept(Socket listener, std::uint32_t& peer);
  static void Close(Socket s);
  static void Shutdown(Socket s);
  static int LocalPort(Socket s);
  static bool Look(const std::vector<Socket>& sockets, std::vector<Readiness>& found);
  static int Recv(Socket s, unsigned char* bytes, int length, bool peek);
  static int Send(Socket s, const unsigned char* bytes, int length);
  static void WaitReadable(Socket s, int timeoutMs);
  static void WaitWritable(Socket s, int timeoutMs);
  static bool StartUp();
  static void CleanUp();
  // Resets the activity event: whatever arrives after the server's look signals again.
  static void Rearm();
  // Whether the event may have been signalled since Rearm(): always, until a wait watches it.
  static bool MaybeActive();
  static std::string HostName();
  static std::optional<std::string> ReverseLookup(std::uint32_t address);
  // The activity event (a Win32 event handle), made on first use.
  static void* ActivityEvent();
  // For the one wait that watches the event: from now on it calls ActivitySeen() whenever it
  // ended while the event was signalled (or may have been), and the server skips looks otherwise.
  static void* WatchActivity();
  static void ActivitySeen();
};

class WinsockNetwork final : public SocketNetwork<WinsockSockets> {
 public:
  // A handle to wait on, signalled when a connection arrives, data comes or a client closes. Its
  // one waiter tells WinsockSockets::ActivitySeen() when its wait ended with the handle signalled.
  [[nodiscard]] void* WatchActivity() const { return WinsockSockets::WatchActivity(); }
};

}  // namespace tv
