#include "platform/image.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tv {

Image::Image(int width, int height, Rgba fill)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      pixels_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), fill) {}

std::optional<Image> DecodePng(std::span<const unsigned char> png) {
  png_image decoder;
  std::memset(&decoder, 0, sizeof decoder);
  decoder.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&decoder, png.data(), png.size())) {
    return std::nullopt;
  }
  decoder.format = PNG_FORMAT_RGBA;
  // Our pictures are small; a header claiming more is corrupt, not a picture to allocate for.
  constexpr png_uint_32 kMaxSide = 16384;
  if (decoder.width == 0 || decoder.height == 0 || decoder.width > kMaxSide || decoder.height > kMaxSide) {
    png_image_free(&decoder);
    return std::nullopt;
  }
  Image image(static_cast<int>(decoder.width), static_cast<int>(decoder.height));
  static_assert(sizeof(Rgba) == 4);
  auto* buffer = reinterpret_cast<png_bytep>(const_cast<Rgba*>(image.Pixels().data()));
  if (!png_image_finish_read(&decoder, nullptr, buffer, 0, nullptr)) {
    png_image_free(&decoder);
    return std::nullopt;
  }
  return image;
}

Image CopyRect(const Image& source, int x, int y, int w, int h) {
  Image part(w, h, Rgba{});
  for (int row = 0; row < part.Height(); ++row) {
    const int sy = y + row;
    if (sy < 0 || sy >= source.Height()) continue;
    for (int col = 0; col < part.Width(); ++col) {
      const int sx = x + col;
      if (sx >= 0 && sx < source.Width()) part.At(col, row) = source.At(sx, sy);
    }
  }
  return part;
}

namespace {

struct Premultiplied {
  float r = 0, g = 0, b = 0, a = 0;
};

// Weights of a tent filter whose width follows the scale, so that shrinking averages every
// source pixel that falls under a target pixel and enlarging interpolates between neighbours.
struct Tap {
  int first = 0;
  std::vector<float> weights;
};

std::vector<Tap> FilterTaps(int sourceSize, int targetSize) {
  const double scale = static_cast<double>(sourceSize) / targetSize;
  const double support = std::max(1.0, scale);
  std::vector<Tap> taps(static_cast<std::size_t>(targetSize));
  for (int i = 0; i < targetSize; ++i) {
    const double centre = (i + 0.5) * scale - 0.5;
    const int first = static_cast<int>(std::floor(centre - support)) + 1;
    const int last = static_cast<int>(std::ceil(centre + support)) - 1;
    Tap& tap = taps[static_cast<std::size_t>(i)];
    double total = 0;
    std::vector<double> raw;
    for (int s = first; s <= last; ++s) {
      const double weight = std::max(0.0, 1.0 - std::abs(s - centre) / support);
      raw.push_back(weight);
      total += weight;
    }
    // Clamp the taps to the picture by folding weights that fall outside onto its edge pixels.
    std::vector<float> folded(static_cast<std::size_t>(sourceSize), 0.0f);
    int lo = sourceSize, hi = -1;
    for (int s = first; s <= last; ++s) {
      const int clamped = std::clamp(s, 0, sourceSize - 1);
      folded[static_cast<std::size_t>(clamped)] += static_cast<float>(raw[static_cast<std::size_t>(s - first)] / total);
      lo = std::min(lo, clamped);
      hi = std::max(hi, clamped);
    }
    tap.first = lo;
    tap.weights.assign(folded.begin() + lo, folded.begin() + hi + 1);
  }
  return taps;
}

std::uint8_t ToByte(float value) { return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L)); }

}  // namespace

std::optional<Image> ResizeSmooth(const Image& source, int width, int height) {
  if (width < 1 || height < 1 || source.Empty()) return std::nullopt;
  const int sw = source.Width(), sh = source.Height();

  // Horizontal pass into premultiplied floats, then the vertical pass.
  const std::vector<Tap> across = FilterTaps(sw, width);
  std::vector<Premultiplied> middle(static_cast<std::size_t>(width) * static_cast<std::size_t>(sh));
  for (int y = 0; y < sh; ++y) {
    for (int x = 0; x < width; ++x) {
      const Tap& tap = across[static_cast<std::size_t>(x)];
      Premultiplied sum;
      for (std::size_t k = 0; k < tap.weights.size(); ++k) {
        const Rgba p = source.At(tap.first + static_cast<int>(k), y);
        const float w = tap.weights[k] * (p.a / 255.0f);
        sum.r += p.r * w;
        sum.g += p.g * w;
        sum.b += p.b * w;
        sum.a += p.a * tap.weights[k];
      }
      middle[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] = sum;
    }
  }

  const std::vector<Tap> down = FilterTaps(sh, height);
  Image result(width, height, Rgba{});
  for (int y = 0; y < height; ++y) {
    const Tap& tap = down[static_cast<std::size_t>(y)];
    for (int x = 0; x < width; ++x) {
      Premultiplied sum;
      for (std::size_t k = 0; k < tap.weights.size(); ++k) {
        const Premultiplied& p =
            middle[static_cast<std::size_t>(tap.first + static_cast<int>(k)) * static_cast<std::size_t>(width) +
                   static_cast<std::size_t>(x)];
        sum.r += p.r * tap.weights[k];
        sum.g += p.g * tap.weights[k];
        sum.b += p.b * tap.weights[k];
        sum.a += p.a * tap.weights[k];
      }
      Rgba& out = result.At(x, y);
      out.a = ToByte(sum.a);
      if (sum.a > 0.0f) {
        const float unpremultiply = 255.0f / sum.a;
        out.r = ToByte(sum.r * unpremultiply);
        out.g = ToByte(sum.g * unpremultiply);
        out.b = ToByte(sum.b * unpremultiply);
      }
    }
  }
  return result;
}

Rgba BlendOver(Rgba under, Rgba over) {
  const int a = over.a, keep = 255 - a;
  const auto mix = [&](int top, int bottom) {
    return static_cast<std::uint8_t>((top * a + bottom * keep + 127) / 255);
  };
  return Rgba{mix(over.r, under.r), mix(over.g, under.g), mix(over.b, under.b),
              static_cast<std::uint8_t>(a + (under.a * keep + 127) / 255)};
}

namespace {

template <typename Paint>
void ForEachOverlap(Image& target, const Image& source, int x, int y, Paint paint) {
  const int x0 = std::max(0, x), y0 = std::max(0, y);
  const int x1 = std::min(target.Width(), x + source.Width());
  const int y1 = std::min(target.Height(), y + source.Height());
  for (int ty = y0; ty < y1; ++ty) {
    for (int tx = x0; tx < x1; ++tx) paint(target.At(tx, ty), source.At(tx - x, ty - y));
  }
}

}  // namespace

void DrawOpaque(Image& target, const Image& source, int x, int y) {
  ForEachOverlap(target, source, x, y, [](Rgba& t, Rgba s) { t = s; });
}

void DrawBlended(Image& target, const Image& source, int x, int y) {
  ForEachOverlap(target, source, x, y, [](Rgba& t, Rgba s) { t = BlendOver(t, s); });
}

}  // namespace tv
