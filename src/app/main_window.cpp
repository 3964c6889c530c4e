#include "app/main_window.h"

#include <optional>
#include <span>

#include "app/logo.h"
#include "assets/catalogue.h"

namespace tv {

namespace {

[[nodiscard]] bool Load(ImageTable& images, int number, std::span<const unsigned char> png) {
  std::optional<Image> image = DecodePng(png);
  if (!image) return false;
  images.Set(number, std::move(*image));
  return true;
}

}  // namespace

StartUpPictures EmbeddedStartUpPictures() {
  return {assets::kMainBackdrop, assets::kLogoSheet, assets::kAddIcon, assets::kRemoveIcon, assets::kInfoIcon};
}

bool LoadPictures(ImageTable& images, const StartUpPictures& pictures) {
  return Load(images, kMainBackdropImage, pictures.mainBackdrop) && Load(images, kLogoSheetImage, pictures.logoSheet);
}

bool LoadIcons(ImageTable& images, const StartUpPictures& pictures) {
  const bool all = Load(images, kAddIconImage, pictures.addIcon) &&
                   Load(images, kRemoveIconImage, pictures.removeIcon) &&
                   Load(images, kInfoIconImage, pictures.infoIcon);
  if (!all) return false;
  for (int number : {kAddIconImage, kRemoveIconImage, kInfoIconImage}) {
    if (std::optional<Image> small = ResizeSmooth(*images.Get(number), 16, 16)) images.Set(number, std::move(*small));
  }
  return true;
}

void BuildLogoPictures(ImageTable& images) {
  if (!images.Has(kLogoSheetImage)) return;
  const Image& sheet = *images.Get(kLogoSheetImage);
  // The cuts step by 109 rows while the sheet's frames step by 110: the later cuts start one and
  // two rows above their frames, which is how the logo has always looked.
  for (int n = kLogoNormal; n <= kLogoPressed; ++n) {
    const Image cut = CopyRect(sheet, 1, 1 + (n - kLogoNormal) * 109, 240, 109);
    if (std::optional<Image> logo = ResizeSmooth(cut, 150, 68)) images.Set(n, std::move(*logo));
  }
}

void CreateMainWindowControls(Ui& ui, const ImageTable& images) {
  if (ui.CreatePicture(kMainWindow, kLogoView, Rect{75, 25, 150, 68}, /*disabled=*/true)) {
    ui.SetPicture(kLogoView, images.Get(kLogoNormal));
  }
}

}  // namespace tv
