#pragma once
// The TCP client port: outgoing connections for the update service.
#include <memory>
#include <span>
#include <string_view>

namespace tv {

// One open connection; it is closed when the object goes away.
class TcpConnection {
 public:
  virtual ~TcpConnection() = default;
  // Sends the whole block; the number of bytes sent, 0 when nothing was sent (an error included).
  [[nodiscard]] virtual int Send(std::span<const unsigned char> bytes) = 0;
  // True when at least one byte can be received now. A connection that the other side closed,
  // with nothing left unread, has nothing waiting.
  [[nodiscard]] virtual bool DataWaiting() = 0;
  // Receives up to buffer.size() bytes without waiting: their number, 0 when none are there yet,
  // -1 once the connection is closed or broken.
  [[nodiscard]] virtual int Receive(std::span<unsigned char> buffer) = 0;
};

class TcpConnector {
 public:
  virtual ~TcpConnector() = default;
  // Opens a connection to `port` of `host`: a dotted IPv4 address, or else a name that is looked
  // up (its first IPv4 address is used). Null when the host is empty or unknown or the connection
  // can't be made. May wait as long as the system's connect does. Any thread.
  [[nodiscard]] virtual std::unique_ptr<TcpConnection> Connect(std::string_view host, int port) = 0;
};

}  // namespace tv
