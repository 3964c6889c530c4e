#pragma once
// StatusAnimator: the thread that keeps StatusView's picture in step with the server's state.
// Every 10 ms it moves the animation on one frame, composes a fresh canvas and hands it to the
// view. A canvas once handed over is never touched again: the window paints it from its own
// thread, so each frame is a new image.
#include <chrono>
#include <functional>
#include <span>

#include "platform/image.h"
#include "platform/ui.h"
#include "status/status_animation.h"

namespace tv {

// The PNG data the animator decodes when it starts; the embedded pictures unless a test hands in
// others.
struct StatusPictureData {
  std::span<const unsigned char> backdrop;  // 141x212, opaque
  std::span<const unsigned char> stopped;   // 100x101 with alpha, and so the two below
  std::span<const unsigned char> noAccess;
  std::span<const unsigned char> serving;
};
[[nodiscard]] StatusPictureData EmbeddedStatusPictureData();

// Decoded pictures. One that cannot be decoded stays empty and is simply not drawn.
struct StatusPictures {
  Image backdrop;  // its alpha forced opaque, so that every canvas is opaque too
  Image stopped;
  Image noAccess;
  Image serving;
  [[nodiscard]] const Image& Picture(StatusState state) const;
};
[[nodiscard]] StatusPictures DecodeStatusPictures(const StatusPictureData& data);

// One frame's canvas, 141x212 and opaque: the backdrop drawn opaque at (0, 0), then each draw
// blended by its picture's alpha, in order.
[[nodiscard]] Image ComposeStatusCanvas(const StatusPictures& pictures, std::span<const StatusDraw> draws);

inline constexpr std::chrono::milliseconds kStatusFramePause{10};
inline constexpr int kStatusFramesForever = -1;

struct StatusAnimatorOptions {
  StatusPictureData pictures = EmbeddedStatusPictureData();
  // How many frames to run; the product runs without end.
  int frames = kStatusFramesForever;
  // Called after every frame with the pause before the next; real sleeping unless a test hands in
  // its own.
  std::function<void(std::chrono::milliseconds)> sleep;
};

// The thread body: decodes the pictures, starts the animation from the current state, then runs
// its frames. Reads the state through ReadStatusState and writes only StatusView's picture.
void RunStatusAnimator(Ui& ui, const StatusAnimatorOptions& options);

// Starts StatusAnimator on a thread of its own that runs until the process ends; `ui` must live
// as long. False if no thread could be started.
[[nodiscard]] bool StartStatusAnimator(Ui& ui);

}  // namespace tv
