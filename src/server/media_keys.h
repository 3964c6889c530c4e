#pragma once
// The commands of the remote-control page and the media keys they press.
#include <cstdint>
#include <string_view>

#include "platform/keys.h"

namespace tv {

struct MediaKey {
  std::string_view query;
  std::uint16_t virtualKey;
};

// Searched in this order.
inline constexpr MediaKey kMediaKeyTable[] = {
    {"m=pp", 0xB3},  // play or pause
    {"m=bw", 0xB1},  // previous track
    {"m=fw", 0xB0},  // next track
    {"m=st", 0xB2},  // stop
    {"m=vu", 0xAF},  // volume up
    {"m=vd", 0xAE},  // volume down
    {"m=vm", 0xAD},  // mute
};

// Presses the key of the command `query` (already lowercased); anything else presses nothing.
void RunMediaCommand(std::string_view query, Keys& keys);

}  // namespace tv
