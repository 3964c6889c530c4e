#pragma once
#include "platform/network.h"

namespace tv {

// The network port on Winsock.
class WinsockNetwork final : public Network {
 public:
  void StartSockets() override;
  void CleanupSockets() override;

 private:
  bool started_ = false;
};

}  // namespace tv
