#include "status/status_animation.h"

#include <cmath>

namespace tv {

namespace {

constexpr float kSlideStep = 3;
// The incoming sprite has arrived once its top edge lies strictly between these.
constexpr float kArrivalAbove = 60;
constexpr float kArrivalBelow = 70;
constexpr float kFirstStartY = -101;
constexpr float kNextStartY = -110;
constexpr float kBobLimit = 10;

}  // namespace

StatusAnimation StartStatusAnimation(StatusState current) {
  StatusAnimation animation;
  animation.sprites[0] = {current, kFirstStartY};
  animation.sprites[1] = {std::nullopt, 0};
  animation.shown = current;
  return animation;
}

StatusFrame StepStatusAnimation(StatusAnimation animation, StatusState current) {
  if (animation.moving) {
    for (StatusSprite& sprite : animation.sprites) sprite.y += kSlideStep;
    const float incomingY = animation.sprites[static_cast<std::size_t>(animation.incoming)].y;
    if (incomingY > kArrivalAbove && incomingY < kArrivalBelow) {
      animation.moving = false;
      animation.incoming = 1 - animation.incoming;
      animation.sprites[static_cast<std::size_t>(animation.incoming)].y = kNextStartY;
    }
  }

  if (current != animation.shown) {
    animation.sprites[static_cast<std::size_t>(animation.incoming)].picture = current;
    animation.moving = true;
    animation.shown = current;
  }

  StatusFrame frame;
  for (const StatusSprite& sprite : animation.sprites) {
    if (sprite.picture)
      frame.draws.push_back({*sprite.picture, kStatusSpriteX, RoundHalfEven(sprite.y + animation.bob)});
  }

  animation.bob += animation.bobStep;
  if (animation.bob > kBobLimit || animation.bob < -kBobLimit) animation.bobStep = -animation.bobStep;

  frame.animation = animation;
  return frame;
}

int RoundHalfEven(float value) {
  const float below = std::floor(value);
  // Exact: a float minus its own integer part loses no bits.
  const float fraction = value - below;
  const bool up = fraction > 0.5f || (fraction == 0.5f && std::fmod(below, 2.0f) != 0.0f);
  return static_cast<int>(below) + (up ? 1 : 0);
}

}  // namespace tv
