#include "app/label_pictures.h"

#include "app/main_window.h"
#include "app/texts.h"

namespace tv {

namespace {

// Lays `colour` over the target wherever the mask covers, scaled by the coverage.
void DrawMask(Image& target, const TextMask& mask, int x, int y, Rgba colour) {
  for (int row = 0; row < mask.height; ++row) {
    const int ty = y + row;
    if (ty < 0 || ty >= target.Height()) continue;
    for (int col = 0; col < mask.width; ++col) {
      const int tx = x + col;
      if (tx < 0 || tx >= target.Width()) continue;
      const int coverage = mask.coverage[static_cast<std::size_t>(row) * static_cast<std::size_t>(mask.width) +
                                         static_cast<std::size_t>(col)];
      if (coverage == 0) continue;
      Rgba ink = colour;
      ink.a = static_cast<std::uint8_t>((colour.a * coverage + 127) / 255);
      target.At(tx, ty) = BlendOver(target.At(tx, ty), ink);
    }
  }
}

}  // namespace

void DrawOutlinedText(Image& target, TextRenderer& font, int x, int y, std::string_view text) {
  const TextMask mask = font.Rasterise(text);
  constexpr Rgba kHalo{0, 0, 0, 80};
  constexpr Rgba kInk{255, 255, 255, 255};
  for (int dy = -1; dy <= 1; ++dy) {
    for (int dx = -1; dx <= 1; ++dx) DrawMask(target, mask, x + dx, y + dy, kHalo);
  }
  DrawMask(target, mask, x, y, kInk);
}

void BuildLabelPictures(ImageTable& images, TextRenderer& font) {
  if (!images.Has(kMainBackdropImage)) return;
  const Image& backdrop = *images.Get(kMainBackdropImage);
  enum class Place { Bottom19, Bottom15, Dash };
  struct Label {
    int image, width, height, gx, gy;
    std::string_view text;
    Place place;
  };
  const Label labels[] = {
      {kPortLabelImage, 30, 30, 315, 100, texts::kPortLabel, Place::Bottom19},
      {kAllowAllLabelImage, 300, 30, 320, 150, texts::kAllowAllLabel, Place::Bottom15},
      {kAllowListLabelImage, 300, 30, 320, 200, texts::kAllowListLabel, Place::Bottom15},
      {kAllowRangeLabelImage, 300, 30, 320, 300, texts::kAllowRangeLabel, Place::Bottom15},
      {kRangeDashImage, 40, 22, 450, 325, texts::kRangeDash, Place::Dash},
  };
  for (const Label& label : labels) {
    Image picture(label.width, label.height);
    DrawBlended(picture, backdrop, -label.gx, -label.gy);
    const TextSize size = font.Measure(label.text);
    int x = 0, y = 0;
    switch (label.place) {
      case Place::Bottom19: y = 19 - size.height; break;
      case Place::Bottom15: y = 15 - size.height; break;
      // The underscore, raised by five pixels, is the dash between the two range fields.
      case Place::Dash:
        x = (40 - size.width) / 2;
        y = -5;
        break;
    }
    DrawOutlinedText(picture, font, x, y, label.text);
    images.Set(label.image, std::move(picture));
  }
}

void BuildPaneBackdrop(ImageTable& images) {
  if (!images.Has(kMainBackdropImage)) return;
  Image pane(192, 66);
  DrawOpaque(pane, *images.Get(kMainBackdropImage), -315, -225);
  images.Set(kPaneBackdropImage, std::move(pane));
}

}  // namespace tv
