#pragma once
// The motion of the status picture, one frame at a time. The picture of the current state bobs
// gently up and down; when the state changes, the old picture slides down out of the canvas while
// the new one slides in from above. Pure: the animator thread feeds it the state and draws what
// comes out, and tests step it without threads or time.
#include <array>
#include <optional>
#include <vector>

#include "status/status_state.h"

namespace tv {

inline constexpr int kStatusCanvasWidth = 141;
inline constexpr int kStatusCanvasHeight = 212;
inline constexpr int kStatusSpriteX = 20;

struct StatusSprite {
  std::optional<StatusState> picture;  // the state whose picture it shows; none at first for sprite 1
  float y = 0;                         // top edge in the canvas, before the bob
  friend bool operator==(const StatusSprite&, const StatusSprite&) = default;
};

struct StatusAnimation {
  std::array<StatusSprite, 2> sprites;
  int incoming = 0;                          // the sprite that slides in, or last slid in
  bool moving = true;                        // the sprites are sliding
  StatusState shown = StatusState::Stopped;  // the state last given to a sprite
  float bob = 0;                             // vertical offset of both sprites
  float bobStep = 0.2f;                      // change of bob per frame; its sign flips beyond +-10
  friend bool operator==(const StatusAnimation&, const StatusAnimation&) = default;
};

// One picture to blend into the canvas with its top-left corner at (x, y).
struct StatusDraw {
  StatusState picture = StatusState::Stopped;
  int x = 0;
  int y = 0;
  friend bool operator==(const StatusDraw&, const StatusDraw&) = default;
};

struct StatusFrame {
  StatusAnimation animation;      // what the next frame starts from
  std::vector<StatusDraw> draws;  // in drawing order, sprite 0 first
};

// The animation as it begins: the current state's picture just above the canvas, sliding in.
[[nodiscard]] StatusAnimation StartStatusAnimation(StatusState current);

// One frame: slide, follow a change of `current`, say what to draw, then move the bob.
[[nodiscard]] StatusFrame StepStatusAnimation(StatusAnimation animation, StatusState current);

// To the nearest integer, halves to the even neighbour, whatever the floating-point rounding mode.
[[nodiscard]] int RoundHalfEven(float value);

}  // namespace tv
