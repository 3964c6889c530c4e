#pragma once
// The pictures and documents that the program carries inside itself. The bytes are generated
// from the files under src/assets at build time; each block ends in an extra NUL that is not
// counted in its size.
#include <span>
#include <string_view>

namespace tv::assets {

// Pictures (PNG).
extern const std::span<const unsigned char> kMainBackdrop;     // 640x480 RGBA, opaque
extern const std::span<const unsigned char> kLogoSheet;        // 242x331 RGBA, three logo frames
extern const std::span<const unsigned char> kAddIcon;          // 20x20 RGBA
extern const std::span<const unsigned char> kRemoveIcon;       // 20x20 RGBA
extern const std::span<const unsigned char> kInfoIcon;         // 20x20 RGBA
extern const std::span<const unsigned char> kServingPicture;   // 100x101 RGBA
extern const std::span<const unsigned char> kNoAccessPicture;  // 100x101 RGBA
extern const std::span<const unsigned char> kStoppedPicture;   // 100x101 RGBA
extern const std::span<const unsigned char> kStatusBackdrop;   // 141x212 RGB
extern const std::span<const unsigned char> kErrorImage;       // 150x186 RGB, sent to browsers as is

// Documents (HTML, 7-bit ASCII, CR LF line ends).
extern const std::span<const unsigned char> kMainPage;
extern const std::span<const unsigned char> kRefusalPage;
extern const std::span<const unsigned char> kHostFrame;

inline std::string_view AsText(std::span<const unsigned char> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace tv::assets
