#include <gtest/gtest.h>

#include "assets/catalogue.h"
#include "platform/image.h"

namespace tv {
namespace {

TEST(DecodePngTest, CorruptOrTruncatedDataIsAFailure) {
  const std::span<const unsigned char> good = assets::kAddIcon;
  const std::vector<unsigned char> empty;
  const std::vector<unsigned char> header(good.begin(), good.begin() + 8);
  const std::vector<unsigned char> half(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2));
  std::vector<unsigned char> damaged(good.begin(), good.end());
  damaged[damaged.size() / 2] ^= 0xFF;  // the image data's checksum no longer matches
  const std::string text = "GIF89a, not a PNG";
  const std::vector<unsigned char> notPng(text.begin(), text.end());
  for (const auto* bytes : {&empty, &header, &half, &notPng}) {
    EXPECT_FALSE(DecodePng(*bytes).has_value());
  }
  // A flipped byte in the compressed data is caught by zlib's or libpng's checks.
  EXPECT_FALSE(DecodePng(damaged).has_value());
  EXPECT_TRUE(DecodePng(good).has_value());
}

TEST(BlendTest, SourceOverArithmetic) {
  struct Case {
    Rgba under, over, expected;
  };
  const Case cases[] = {
      {{10, 20, 30, 255}, {200, 100, 50, 0}, {10, 20, 30, 255}},      // transparent leaves it unchanged
      {{10, 20, 30, 255}, {200, 100, 50, 255}, {200, 100, 50, 255}},  // opaque replaces
      {{0, 0, 0, 255}, {255, 255, 255, 128}, {128, 128, 128, 255}},   // half over black
      {{255, 255, 255, 255}, {0, 0, 0, 80}, {175, 175, 175, 255}},    // the label halo over white
      {{0, 0, 0, 0}, {255, 0, 0, 128}, {128, 0, 0, 128}},             // over nothing keeps its alpha
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BlendOver(c.under, c.over), c.expected);
  }
}

TEST(DrawTest, DrawingIsClippedToTheTarget) {
  Image target(4, 3, {0, 0, 0, 255});
  Image source(3, 3, {9, 9, 9, 255});
  DrawOpaque(target, source, -1, 2);  // only (0..1, 2) overlap
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) {
      const bool covered = y == 2 && x <= 1;
      EXPECT_EQ(target.At(x, y).r, covered ? 9 : 0) << x << "," << y;
    }
  }
  DrawBlended(target, source, 10, 10);  // entirely outside: nothing happens, nothing breaks
  DrawOpaque(target, source, -10, -10);
  EXPECT_EQ(target.At(3, 0).r, 0);
}

TEST(CopyRectTest, CopiesTheAreaAndLeavesOutsideTransparent) {
  Image source(3, 2);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x)
      source.At(x, y) = Rgba{static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 7, 255};
  }
  const Image part = CopyRect(source, 1, 1, 3, 2);
  EXPECT_EQ(part.Width(), 3);
  EXPECT_EQ(part.Height(), 2);
  EXPECT_EQ(part.At(0, 0), (Rgba{1, 1, 7, 255}));
  EXPECT_EQ(part.At(1, 0), (Rgba{2, 1, 7, 255}));
  EXPECT_EQ(part.At(2, 0), (Rgba{}));
  EXPECT_EQ(part.At(0, 1), (Rgba{}));
}

// Left half black, right half white.
Image TwoColours(int width, int height) {
  Image image(width, height, {0, 0, 0, 255});
  for (int y = 0; y < height; ++y) {
    for (int x = width / 2; x < width; ++x) image.At(x, y) = {255, 255, 255, 255};
  }
  return image;
}

TEST(ResizeSmoothTest, EdgesAreBlendedNotRepeated) {
  for (auto [from, to] : {std::pair{20, 16}, std::pair{240, 150}, std::pair{8, 20}}) {
    SCOPED_TRACE(testing::Message() << from << " -> " << to);
    const std::optional<Image> resized = ResizeSmooth(TwoColours(from, 6), to, 4);
    ASSERT_TRUE(resized.has_value());
    ASSERT_EQ(resized->Width(), to);
    ASSERT_EQ(resized->Height(), 4);
    int greys = 0;
    for (int x = 0; x < to; ++x) {
      const Rgba p = resized->At(x, 1);
      EXPECT_EQ(p.r, p.g);
      EXPECT_EQ(p.a, 255);
      if (p.r > 0 && p.r < 255) ++greys;
    }
    // Pixel repetition would give no grey at all at the edge.
    EXPECT_GE(greys, 1);
    EXPECT_EQ(resized->At(0, 1).r, 0);
    EXPECT_EQ(resized->At(to - 1, 1).r, 255);
  }
}

TEST(ResizeSmoothTest, TransparentPixelsDoNotDarkenTheEdges) {
  // Red on the left, fully transparent black on the right: the blended edge must stay red,
  // fading only in alpha.
  Image image(10, 2, {0, 0, 0, 0});
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 5; ++x) image.At(x, y) = {255, 0, 0, 255};
  }
  const std::optional<Image> resized = ResizeSmooth(image, 7, 2);
  ASSERT_TRUE(resized.has_value());
  bool sawPartial = false;
  for (int x = 0; x < 7; ++x) {
    const Rgba p = resized->At(x, 0);
    if (p.a > 0) {
      EXPECT_EQ(p.r, 255) << x;
    }
    if (p.a > 0 && p.a < 255) sawPartial = true;
  }
  EXPECT_TRUE(sawPartial);
}

TEST(ResizeSmoothTest, UniformStaysUniformAndBadSizesFail) {
  const Image grey(13, 7, {90, 120, 150, 200});
  const std::optional<Image> resized = ResizeSmooth(grey, 5, 11);
  ASSERT_TRUE(resized.has_value());
  for (Rgba p : resized->Pixels()) EXPECT_EQ(p, (Rgba{90, 120, 150, 200}));
  EXPECT_FALSE(ResizeSmooth(grey, 0, 4).has_value());
  EXPECT_FALSE(ResizeSmooth(grey, 4, -1).has_value());
  EXPECT_FALSE(ResizeSmooth(Image(), 4, 4).has_value());
}

}  // namespace
}  // namespace tv
