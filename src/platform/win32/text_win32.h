#pragma once
#include <windows.h>

#include "platform/text.h"

namespace tv {

// Text through GDI, rasterised with grayscale antialiasing.
class GdiTextRenderer final : public TextRenderer {
 public:
  GdiTextRenderer();
  ~GdiTextRenderer() override;
  GdiTextRenderer(const GdiTextRenderer&) = delete;
  GdiTextRenderer& operator=(const GdiTextRenderer&) = delete;

  bool LoadFont(std::string_view face, int points) override;
  TextSize Measure(std::string_view text) override;
  TextMask Rasterise(std::string_view text) override;

 private:
  HDC dc_ = nullptr;
  HFONT font_ = nullptr;
};

}  // namespace tv
