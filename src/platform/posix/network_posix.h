#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/socket_server.h"

namespace tv {

// BSD sockets, for the native build and its tests.
struct PosixSockets {
  using Socket = int;
  static constexpr Socket kInvalid = -1;
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
  static bool StartUp() { return true; }
  static void CleanUp() {}
  static void Rearm() {}
  static bool MaybeActive() { return true; }
  static std::string HostName();
  static std::optional<std::string> ReverseLookup(std::uint32_t address);
};

class PosixNetwork final : public SocketNetwork<PosixSockets> {};

}  // namespace tv
