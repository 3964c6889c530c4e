#pragma once
#include "platform/tcp_client.h"

namespace tv {

// The TCP client port on BSD sockets.
class PosixTcpConnector final : public TcpConnector {
 public:
  std::unique_ptr<TcpConnection> Connect(std::string_view host, int port) override;
};

}  // namespace tv
