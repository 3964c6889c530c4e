#pragma once
// What the main window is made of: its size, its numbered controls and images, and the steps
// that build them.
#include <functional>
#include <span>

#include "app/image_table.h"
#include "platform/ui.h"

namespace tv {

inline constexpr int kMainClientWidth = 640;
inline constexpr int kMainClientHeight = 480;

// Controls of the main window and the address pane.
inline constexpr int kAllowAllLabel = 1;
inline constexpr int kAllowListLabel = 2;
inline constexpr int kAllowRangeLabel = 3;
inline constexpr int kRangeDashLabel = 4;
inline constexpr int kPortLabel = 5;
inline constexpr int kStatusView = 6;
inline constexpr int kLogoView = 7;
inline constexpr int kClientLog = 8;
inline constexpr int kAllowAllBox = 9;
inline constexpr int kAllowListBox = 10;
inline constexpr int kAllowRangeBox = 11;
inline constexpr int kAddressScroll = 12;
inline constexpr int kAddAddressButton = 13;
inline constexpr int kRangeFromField = 14;
inline constexpr int kRangeToField = 15;
inline constexpr int kPortSpin = 16;
inline constexpr int kServerButton = 17;

// Images.
inline constexpr int kMainBackdropImage = 0;
inline constexpr int kAllowAllLabelImage = 1;
inline constexpr int kAllowListLabelImage = 2;
inline constexpr int kAllowRangeLabelImage = 3;
inline constexpr int kRangeDashImage = 4;
inline constexpr int kPortLabelImage = 10;
inline constexpr int kLogoSheetImage = 5;
inline constexpr int kPaneBackdropImage = 9;
inline constexpr int kAddIconImage = 11;
inline constexpr int kRemoveIconImage = 12;
inline constexpr int kInfoIconImage = 13;

// The PNG data that start-up decodes; the embedded pictures unless a test hands in others.
struct StartUpPictures {
  std::span<const unsigned char> mainBackdrop;
  std::span<const unsigned char> logoSheet;
  std::span<const unsigned char> addIcon;
  std::span<const unsigned char> removeIcon;
  std::span<const unsigned char> infoIcon;
};
[[nodiscard]] StartUpPictures EmbeddedStartUpPictures();

// Images 0 and 5, the second only if the first could be decoded.
[[nodiscard]] bool LoadPictures(ImageTable& images, const StartUpPictures& pictures);
// Images 11, 12 and 13, each only if the one before could be decoded; resized to 16x16 when all
// three are there, left as they are otherwise.
[[nodiscard]] bool LoadIcons(ImageTable& images, const StartUpPictures& pictures);
// Images 6, 7 and 8, cut from the logo sheet and resized. Skipped without the sheet.
void BuildLogoPictures(ImageTable& images);
// The controls of the main window and the address pane, in their tab order. `scrollBarReady`
// runs right after the pane's scroll bar has been created and hidden (only if the pane opened).
void CreateMainWindowControls(Ui& ui, const ImageTable& images, const std::function<void()>& scrollBarReady = {});

}  // namespace tv
