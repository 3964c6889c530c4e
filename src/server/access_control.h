#pragma once
// Who may use the remote: everybody, the listed addresses or one range, decided afresh for every
// request from the connection's own address and the window's current settings.
#include <cstdint>

#include "platform/ui.h"

namespace tv {

// The address's octets, first to fourth, each as three decimal digits, read as one number; keys
// order addresses as the usual numeric order of IPv4 addresses.
[[nodiscard]] constexpr std::int64_t AddressRangeKey(std::uint32_t address) {
  std::int64_t key = 0;
  for (int octet = 0; octet < 4; ++octet) key = key * 1000 + ((address >> (8 * octet)) & 0xFF);
  return key;
}

// Both ends belong to the range; bounds are never swapped.
[[nodiscard]] constexpr bool AddressInRange(std::uint32_t lower, std::uint32_t upper, std::uint32_t address) {
  return AddressRangeKey(lower) <= AddressRangeKey(address) && AddressRangeKey(address) <= AddressRangeKey(upper);
}

// Whether a client at `peerAddress` is allowed now. Reads the boxes and fields from any thread;
// walks the address rows under the address list's lock.
[[nodiscard]] bool DecideAccess(Ui& ui, std::uint32_t peerAddress);

}  // namespace tv
