#pragma once
// The text port: one font at a time, measured and rasterised as a coverage mask, so that the
// portable code can draw text into its own images.
#include <cstdint>
#include <string_view>
#include <vector>

namespace tv {

struct TextSize {
  int width = 0;
  int height = 0;
};

// Coverage of a rasterised text, 0 (none) to 255 (full), `width` x `height`, top row first.
struct TextMask {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> coverage;
};

class TextRenderer {
 public:
  virtual ~TextRenderer() = default;
  // A font by face name and size in points, normal weight, high-quality (antialiased) rendering.
  [[nodiscard]] virtual bool LoadFont(std::string_view face, int points) = 0;
  [[nodiscard]] virtual TextSize Measure(std::string_view text) = 0;
  [[nodiscard]] virtual TextMask Rasterise(std::string_view text) = 0;
};

}  // namespace tv
