#pragma once
// The logo in the top-left corner: which of its three pictures to show, and where it is clicked.
#include "platform/ui.h"

namespace tv {

// Numbered images of the logo.
inline constexpr int kLogoNormal = 6;
inline constexpr int kLogoHover = 7;
inline constexpr int kLogoPressed = 8;

// The rectangle, in main window client coordinates, bounds included, over which the logo reacts.
[[nodiscard]] constexpr bool PointerOnLogo(int x, int y) { return x >= 90 && x <= 200 && y >= 40 && y <= 69; }

[[nodiscard]] constexpr int LogoPictureFor(const PointerState& pointer) {
  if (!PointerOnLogo(pointer.x, pointer.y)) return kLogoNormal;
  return pointer.leftButtonDown ? kLogoPressed : kLogoHover;
}

}  // namespace tv
