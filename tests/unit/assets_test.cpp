#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "assets/catalogue.h"
#include "platform/image.h"

namespace tv {
namespace {

std::uint32_t BigEndian(std::span<const unsigned char> bytes, std::size_t at) {
  return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 | std::uint32_t{bytes[at + 2]} << 8 |
         std::uint32_t{bytes[at + 3]};
}

TEST(EmbeddedPicturesTest, EachHasItsSizeAndFormatAndDecodes) {
  constexpr int kRgb = 2, kRgba = 6;
  struct Case {
    const char* name;
    std::span<const unsigned char> png;
    std::uint32_t width, height;
    int colourType;
  };
  const Case cases[] = {
      {"MainBackdrop", assets::kMainBackdrop, 640, 480, kRgba},
      {"LogoSheet", assets::kLogoSheet, 242, 331, kRgba},
      {"AddIcon", assets::kAddIcon, 20, 20, kRgba},
      {"RemoveIcon", assets::kRemoveIcon, 20, 20, kRgba},
      {"InfoIcon", assets::kInfoIcon, 20, 20, kRgba},
      {"ServingPicture", assets::kServingPicture, 100, 101, kRgba},
      {"NoAccessPicture", assets::kNoAccessPicture, 100, 101, kRgba},
      {"StoppedPicture", assets::kStoppedPicture, 100, 101, kRgba},
      {"StatusBackdrop", assets::kStatusBackdrop, 141, 212, kRgb},
      {"ErrorImage", assets::kErrorImage, 150, 186, kRgb},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_GT(c.png.size(), 33u);
    // The header chunk: width, height, bit depth, colour type, compression, filter, interlace.
    EXPECT_EQ(BigEndian(c.png, 16), c.width);
    EXPECT_EQ(BigEndian(c.png, 20), c.height);
    EXPECT_EQ(c.png[24], 8) << "bits a channel";
    EXPECT_EQ(c.png[25], c.colourType);
    EXPECT_EQ(c.png[28], 0) << "interlaced";
    const std::optional<Image> image = DecodePng(c.png);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->Width(), static_cast<int>(c.width));
    EXPECT_EQ(image->Height(), static_cast<int>(c.height));
  }
}

TEST(EmbeddedPicturesTest, BackdropIsOpaqueAndTheStatusBackdropIsItsScreen) {
  const std::optional<Image> backdrop = DecodePng(assets::kMainBackdrop);
  const std::optional<Image> screen = DecodePng(assets::kStatusBackdrop);
  ASSERT_TRUE(backdrop && screen);
  for (Rgba p : backdrop->Pixels()) ASSERT_EQ(p.a, 255);
  EXPECT_EQ(CopyRect(*backdrop, 80, 80, 141, 212), *screen);
}

TEST(EmbeddedPicturesTest, LogoSheetKeepsItsFrameGrid) {
  const std::optional<Image> sheet = DecodePng(assets::kLogoSheet);
  ASSERT_TRUE(sheet.has_value());
  const Rgba grid{77, 142, 0, 255};
  for (int row : {0, 110, 220, 330}) {
    for (int x = 0; x < sheet->Width(); ++x) ASSERT_EQ(sheet->At(x, row), grid) << x << "," << row;
  }
  for (int column : {0, 241}) {
    for (int y = 0; y < sheet->Height(); ++y) ASSERT_EQ(sheet->At(column, y), grid) << column << "," << y;
  }
}

struct Document {
  const char* name;
  std::string_view text;
  int lines;
};

std::vector<Document> Documents() {
  return {{"MainPage", assets::AsText(assets::kMainPage), 37},
          {"RefusalPage", assets::AsText(assets::kRefusalPage), 53},
          {"HostFrame", assets::AsText(assets::kHostFrame), 15}};
}

std::size_t Count(std::string_view text, std::string_view part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST(EmbeddedDocumentsTest, AsciiWithCrLfAfterEveryLine) {
  for (const Document& d : Documents()) {
    SCOPED_TRACE(d.name);
    ASSERT_FALSE(d.text.empty());
    EXPECT_TRUE(std::all_of(d.text.begin(), d.text.end(), [](char c) { return c > 0 && c < 0x7F; }));
    EXPECT_EQ(static_cast<int>(Count(d.text, "\r\n")), d.lines);
    EXPECT_EQ(Count(d.text, "\n"), Count(d.text, "\r\n")) << "a bare line feed";
    EXPECT_EQ(Count(d.text, "\r"), Count(d.text, "\r\n")) << "a bare carriage return";
    EXPECT_TRUE(d.text.ends_with("\r\n"));
    EXPECT_TRUE(d.text.starts_with("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\""));
    const std::size_t meta = d.text.find("charset=ISO-8859-1");
    const std::size_t title = d.text.find("<title>");
    EXPECT_NE(meta, std::string_view::npos);
    EXPECT_LT(meta, title);
    EXPECT_NE(d.text.find("text-align: center;"), std::string_view::npos);
  }
}

TEST(EmbeddedDocumentsTest, HostFrameHasItsSizeAndOnePlaceholder) {
  const std::string_view frame = assets::AsText(assets::kHostFrame);
  EXPECT_EQ(frame.size(), 339u);
  EXPECT_EQ(Count(frame, "HOST"), 1u);
}

TEST(EmbeddedDocumentsTest, FooterLinksCarryTheConfiguredSite) {
  const std::string link = std::string(TASTOVOLANT_SITE) + "/?ref=Tastovolant_2.0.0";
  for (std::string_view page : {assets::AsText(assets::kMainPage), assets::AsText(assets::kRefusalPage)}) {
    EXPECT_EQ(Count(page, link), 1u);
    EXPECT_EQ(Count(page, "@TASTOVOLANT_SITE@"), 0u);
  }
  const std::string_view main = assets::AsText(assets::kMainPage);
  for (const char* code : {"bw", "pp", "fw", "st", "vd", "vm", "vu"}) {
    SCOPED_TRACE(code);
    EXPECT_EQ(Count(main, std::string("GFX/") + code + "_0.png"), 2u) << "source and mouse-out";
    EXPECT_EQ(Count(main, std::string("GFX/") + code + "_1.png"), 1u);
    EXPECT_EQ(Count(main, std::string("host?m=") + code), 1u);
  }
  EXPECT_NE(assets::AsText(assets::kRefusalPage).find("error.png"), std::string_view::npos);
}

}  // namespace
}  // namespace tv
