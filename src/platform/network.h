#pragma once
// The network port.
namespace tv {

class Network {
 public:
  virtual ~Network() = default;
  // The socket layer, version 1.1. Its outcome is not examined: unusable sockets show later,
  // when a server or connection cannot be made.
  virtual void StartSockets() = 0;
  virtual void CleanupSockets() = 0;
};

}  // namespace tv
