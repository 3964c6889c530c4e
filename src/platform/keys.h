#pragma once
// The keyboard port: synthetic media keys.
#include <cstdint>

namespace tv {

class Keys {
 public:
  virtual ~Keys() = default;
  // One press of the key with this virtual key code: down, then up. Any thread.
  virtual void SendMediaKey(std::uint16_t virtualKey) = 0;
};

}  // namespace tv
