#pragma once
#include <memory>

#include "platform/network.h"
#include "platform/socket_server.h"

namespace tv {

struct WinsockSockets;

// The network port on Winsock. Every socket of the server signals one event on activity, which
// the window's event wait also waits for, so that a request never waits for the next tick.
class WinsockNetwork final : public Network {
 public:
  WinsockNetwork();
  ~WinsockNetwork() override;

  // A handle to wait on (a Win32 event), signalled when a connection arrives, data comes or a
  // client closes.
  [[nodiscard]] void* ActivityEvent() const;

  void StartSockets() override;
  void CleanupSockets() override;
  bool CreateServer(int port) override;
  void CloseServer() override;
  int ServerPort() override;
  ServerEvent PollServer() override;
  ClientId EventClient() override;
  void CloseClient(ClientId client) override;
  int Receive(ClientId client, std::span<unsigned char> buffer) override;
  int Peek(ClientId client, std::span<unsigned char> buffer) override;
  void WaitReadable(ClientId client, int timeoutMs) override;
  int Send(ClientId client, std::span<const unsigned char> bytes) override;
  std::uint32_t PeerAddress(ClientId client) override;
  std::string HostName() override;
  std::optional<std::string> ReverseLookup(std::uint32_t address) override;

 private:
  bool started_ = false;
  std::unique_ptr<SocketServer<WinsockSockets>> server_;
};

}  // namespace tv
