#include "status/status_animator.h"

#include <memory>
#include <system_error>
#include <thread>

#include "app/main_window.h"
#include "assets/catalogue.h"

namespace tv {

StatusPictureData EmbeddedStatusPictureData() {
  return {assets::kStatusBackdrop, assets::kStoppedPicture, assets::kNoAccessPicture, assets::kServingPicture};
}

const Image& StatusPictures::Picture(StatusState state) const {
  switch (state) {
    case StatusState::Stopped:
      return stopped;
    case StatusState::NoAccess:
      return noAccess;
    case StatusState::Serving:
      return serving;
  }
  return stopped;
}

StatusPictures DecodeStatusPictures(const StatusPictureData& data) {
  const auto decode = [](std::span<const unsigned char> png) { return DecodePng(png).value_or(Image{}); };
  StatusPictures pictures{decode(data.backdrop), decode(data.stopped), decode(data.noAccess), decode(data.serving)};
  for (int y = 0; y < pictures.backdrop.Height(); ++y) {
    for (int x = 0; x < pictures.backdrop.Width(); ++x) pictures.backdrop.At(x, y).a = 255;
  }
  return pictures;
}

Image ComposeStatusCanvas(const StatusPictures& pictures, std::span<const StatusDraw> draws) {
  Image canvas(kStatusCanvasWidth, kStatusCanvasHeight);
  DrawOpaque(canvas, pictures.backdrop, 0, 0);
  for (const StatusDraw& draw : draws) DrawBlended(canvas, pictures.Picture(draw.picture), draw.x, draw.y);
  return canvas;
}

void RunStatusAnimator(Ui& ui, const StatusAnimatorOptions& options) {
  const StatusPictures pictures = DecodeStatusPictures(options.pictures);
  StatusAnimation animation = StartStatusAnimation(ReadStatusState(ui));
  const bool forever = options.frames == kStatusFramesForever;
  for (int frame = 0; forever || frame < options.frames; frame += forever ? 0 : 1) {
    StatusFrame next = StepStatusAnimation(animation, ReadStatusState(ui));
    animation = next.animation;
    ui.SetPicture(kStatusView, std::make_shared<const Image>(ComposeStatusCanvas(pictures, next.draws)));
    if (options.sleep) {
      options.sleep(kStatusFramePause);
    } else {
      std::this_thread::sleep_for(kStatusFramePause);
    }
  }
}

bool StartStatusAnimator(Ui& ui) {
  try {
    std::thread([&ui] { RunStatusAnimator(ui, StatusAnimatorOptions{}); }).detach();
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

}  // namespace tv
