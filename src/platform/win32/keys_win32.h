#pragma once
#include "platform/keys.h"

namespace tv {

// Media keys through SendInput.
class Win32Keys final : public Keys {
 public:
  void SendMediaKey(std::uint16_t virtualKey) override;
};

}  // namespace tv
