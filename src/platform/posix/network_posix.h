#pragma once
#include "platform/network.h"
#include "platform/socket_server.h"

namespace tv {

struct PosixSockets;

// The network port on BSD sockets, for the native build and its tests.
class PosixNetwork final : public Network {
 public:
  PosixNetwork();
  ~PosixNetwork() override;

  void StartSockets() override {}
  void CleanupSockets() override {}
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
  std::unique_ptr<SocketServer<PosixSockets>> server_;
};

}  // namespace tv
