#pragma once
// Images as the program draws them: 8 bits a channel, red, green, blue, alpha, top row first.
// Portable: the same code serves both builds, and the Windows adapter only hands finished pixels
// to the screen.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tv {

struct Rgba {
  std::uint8_t r = 0, g = 0, b = 0, a = 0;
  friend bool operator==(const Rgba&, const Rgba&) = default;
};

class Image {
 public:
  Image() = default;
  // A new image starts filled with `fill`, opaque black unless told otherwise.
  Image(int width, int height, Rgba fill = {0, 0, 0, 255});

  [[nodiscard]] int Width() const { return width_; }
  [[nodiscard]] int Height() const { return height_; }
  [[nodiscard]] bool Empty() const { return pixels_.empty(); }

  [[nodiscard]] Rgba& At(int x, int y) { return pixels_[Index(x, y)]; }
  [[nodiscard]] const Rgba& At(int x, int y) const { return pixels_[Index(x, y)]; }
  [[nodiscard]] std::span<const Rgba> Pixels() const { return pixels_; }

  friend bool operator==(const Image&, const Image&) = default;

 private:
  [[nodiscard]] std::size_t Index(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x);
  }
  int width_ = 0;
  int height_ = 0;
  std::vector<Rgba> pixels_;
};

// Decodes a PNG held in memory. Pictures without alpha come out opaque. Nothing on failure.
[[nodiscard]] std::optional<Image> DecodePng(std::span<const unsigned char> png);

// The w x h area of `source` at (x, y); pixels outside the source are transparent black.
[[nodiscard]] Image CopyRect(const Image& source, int x, int y, int w, int h);

// A filtering stretch to width x height (never pixel repetition). Works on premultiplied colour
// so that transparent pixels do not bleed their colour into the edges. Nothing for a size below 1.
[[nodiscard]] std::optional<Image> ResizeSmooth(const Image& source, int width, int height);

// Draws `source` with its top-left corner at (x, y) of `target`, clipped to the target.
// Opaque: the source's pixels replace the target's, alpha included.
void DrawOpaque(Image& target, const Image& source, int x, int y);
// Blended: each source pixel is laid over the target's by its own alpha (source over).
void DrawBlended(Image& target, const Image& source, int x, int y);

// One colour over another by the colour's alpha, rounded to nearest.
[[nodiscard]] Rgba BlendOver(Rgba under, Rgba over);

}  // namespace tv
