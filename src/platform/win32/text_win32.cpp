#include "platform/win32/text_win32.h"

#include <string>

#include "platform/win32/latin1.h"

namespace tv {

GdiTextRenderer::GdiTextRenderer() : dc_(CreateCompatibleDC(nullptr)) {}

GdiTextRenderer::~GdiTextRenderer() {
  if (dc_) DeleteDC(dc_);
  if (font_) DeleteObject(font_);
}

bool GdiTextRenderer::LoadFont(std::string_view face, int points) {
  if (!dc_) return false;
  LOGFONTW description{};
  // A negative height asks for the character height: points at the display's vertical DPI.
  description.lfHeight = -MulDiv(points, GetDeviceCaps(dc_, LOGPIXELSY), 72);
  description.lfWeight = FW_NORMAL;
  description.lfCharSet = ANSI_CHARSET;
  description.lfOutPrecision = OUT_TT_PRECIS;
  description.lfQuality = ANTIALIASED_QUALITY;
  const std::wstring name = WideFromLatin1(face.substr(0, LF_FACESIZE - 1));
  name.copy(description.lfFaceName, name.size());
  HFONT font = CreateFontIndirectW(&description);
  if (!font) return false;
  if (font_) DeleteObject(font_);
  font_ = font;
  SelectObject(dc_, font_);
  return true;
}

TextSize GdiTextRenderer::Measure(std::string_view text) {
  SIZE size{};
  const std::wstring wide = WideFromLatin1(text);
  if (!dc_ || !GetTextExtentPoint32W(dc_, wide.c_str(), static_cast<int>(wide.size()), &size)) return {};
  return {size.cx, size.cy};
}

TextMask GdiTextRenderer::Rasterise(std::string_view text) {
  const TextSize size = Measure(text);
  TextMask mask;
  if (size.width <= 0 || size.height <= 0) return mask;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = size.width;
  info.bmiHeader.biHeight = -size.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap) return mask;
  HGDIOBJ previous = SelectObject(dc_, bitmap);
  // White on black: the grey level of each pixel is the text's coverage there.
  RECT all{0, 0, size.width, size.height};
  FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  SetBkMode(dc_, TRANSPARENT);
  SetTextColor(dc_, RGB(255, 255, 255));
  const std::wstring wide = WideFromLatin1(text);
  TextOutW(dc_, 0, 0, wide.c_str(), static_cast<int>(wide.size()));
  GdiFlush();
  mask.width = size.width;
  mask.height = size.height;
  mask.coverage.resize(static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height));
  const auto* pixels = static_cast<const std::uint32_t*>(bits);
  for (std::size_t i = 0; i < mask.coverage.size(); ++i) {
    mask.coverage[i] = static_cast<std::uint8_t>((pixels[i] >> 8) & 0xFF);
  }
  SelectObject(dc_, previous);
  DeleteObject(bitmap);
  return mask;
}

}  // namespace tv
