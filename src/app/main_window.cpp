#include "app/main_window.h"

#include <optional>
#include <span>

#include "app/logo.h"
#include "app/texts.h"
#include "assets/catalogue.h"

namespace tv {

namespace {

[[nodiscard]] bool Load(ImageTable& images, int number, std::span<const unsigned char> png) {
  std::optional<Image> image = DecodePng(png);
  if (!image) return false;
  images.Set(number, std::move(*image));
  return true;
}

}  // namespace

StartUpPictures EmbeddedStartUpPictures() {
  return {assets::kMainBackdrop, assets::kLogoSheet, assets::kAddIcon, assets::kRemoveIcon, assets::kInfoIcon};
}

bool LoadPictures(ImageTable& images, const StartUpPictures& pictures) {
  return Load(images, kMainBackdropImage, pictures.mainBackdrop) && Load(images, kLogoSheetImage, pictures.logoSheet);
}

bool LoadIcons(ImageTable& images, const StartUpPictures& pictures) {
  const bool all = Load(images, kAddIconImage, pictures.addIcon) &&
                   Load(images, kRemoveIconImage, pictures.removeIcon) &&
                   Load(images, kInfoIconImage, pictures.infoIcon);
  if (!all) return false;
  for (int number : {kAddIconImage, kRemoveIconImage, kInfoIconImage}) {
    if (std::optional<Image> small = ResizeSmooth(*images.Get(number), 16, 16)) images.Set(number, std::move(*small));
  }
  return true;
}

void BuildLogoPictures(ImageTable& images) {
  if (!images.Has(kLogoSheetImage)) return;
  const Image& sheet = *images.Get(kLogoSheetImage);
  // The cuts step by 109 rows while the sheet's frames step by 110: the later cuts start one and
  // two rows above their frames, which is how the logo has always looked.
  for (int n = kLogoNormal; n <= kLogoPressed; ++n) {
    const Image cut = CopyRect(sheet, 1, 1 + (n - kLogoNormal) * 109, 240, 109);
    if (std::optional<Image> logo = ResizeSmooth(cut, 150, 68)) images.Set(n, std::move(*logo));
  }
}

namespace {

ControlPlan Picture(int number, Rect rect, std::shared_ptr<const Image> picture, bool disabled = false) {
  ControlPlan plan;
  plan.kind = ControlKind::Picture;
  plan.number = number;
  plan.rect = rect;
  plan.picture = std::move(picture);
  plan.disabled = disabled;
  return plan;
}

ControlPlan Simple(ControlKind kind, int number, Rect rect) {
  ControlPlan plan;
  plan.kind = kind;
  plan.number = number;
  plan.rect = rect;
  return plan;
}

}  // namespace

void CreateMainWindowControls(Ui& ui, const ImageTable& images, const std::function<void()>& scrollBarReady) {
  const auto create = [&ui](int window, const ControlPlan& plan) { (void)ui.CreateControl(window, plan); };

  create(kMainWindow, Picture(kLogoView, {75, 25, 150, 68}, images.Get(kLogoNormal), /*disabled=*/true));
  create(kMainWindow, Picture(kStatusView, {80, 80, 141, 212}, nullptr));
  create(kMainWindow, Picture(kPortLabel, {315, 100, 30, 30}, images.Get(kPortLabelImage)));

  ControlPlan port = Simple(ControlKind::Spin, kPortSpin, {350, 100, 50, 22});
  port.minimum = 0;
  port.maximum = 6500;
  port.value = 80;
  create(kMainWindow, port);

  ControlPlan server = Simple(ControlKind::PushButton, kServerButton, {410, 100, 100, 22});
  server.text = texts::kStartServer;
  create(kMainWindow, server);

  create(kMainWindow, Simple(ControlKind::CheckBox, kAllowAllBox, {300, 150, 13, 13}));
  create(kMainWindow, Picture(kAllowAllLabel, {320, 150, 300, 30}, images.Get(kAllowAllLabelImage)));
  create(kMainWindow, Simple(ControlKind::CheckBox, kAllowListBox, {300, 200, 13, 13}));
  create(kMainWindow, Picture(kAllowListLabel, {320, 200, 300, 30}, images.Get(kAllowListLabelImage)));

  if (ui.OpenPane(kAddressListPane, {315, 225, 192, 66}, texts::kPaneText)) {
    if (images.Has(kPaneBackdropImage)) ui.SetWindowBackdrop(kAddressListPane, images.Get(kPaneBackdropImage));
    ControlPlan scroll = Simple(ControlKind::VerticalScrollBar, kAddressScroll, {174, 0, 18, 66});
    scroll.minimum = 1;
    scroll.maximum = 1000;
    scroll.page = 100;
    scroll.value = 1;
    if (ui.CreateControl(kAddressListPane, scroll)) ui.ShowControl(kAddressScroll, false);
    if (scrollBarReady) scrollBarReady();
    ControlPlan add = Simple(ControlKind::ImageButton, kAddAddressButton, {0, 0, 174, 22});
    add.picture = images.Get(kAddIconImage);
    create(kAddressListPane, add);
  }

  create(kMainWindow, Simple(ControlKind::CheckBox, kAllowRangeBox, {300, 300, 13, 13}));
  create(kMainWindow, Picture(kAllowRangeLabel, {320, 300, 300, 30}, images.Get(kAllowRangeLabelImage)));
  create(kMainWindow, Picture(kRangeDashLabel, {450, 325, 40, 22}, images.Get(kRangeDashImage)));
  create(kMainWindow, Simple(ControlKind::AddressField, kRangeFromField, {315, 325, 130, 22}));
  create(kMainWindow, Simple(ControlKind::AddressField, kRangeToField, {500, 325, 130, 22}));

  ControlPlan log = Simple(ControlKind::ColumnList, kClientLog, {10, 380, 620, 90});
  constexpr int kWidths[6] = {100, 100, 100, 100, 100, 90};
  for (int i = 0; i < 6; ++i) log.columns.push_back({std::string(texts::kLogColumns[i]), kWidths[i]});
  create(kMainWindow, log);
}

}  // namespace tv
