#include "app/access_mode.h"

#include "app/main_window.h"

namespace tv {

void ApplyAccessModeRule(Ui& ui, int control) {
  switch (control) {
    case kAllowAllBox:
      ui.SetChecked(kAllowListBox, false);
      ui.SetChecked(kAllowRangeBox, false);
      break;
    case kAllowListBox:
    case kAllowRangeBox:
      ui.SetChecked(kAllowAllBox, false);
      break;
    default:
      break;
  }
}

void ApplyLabelBands(Ui& ui, int x, int y) {
  if (x < 314 || x > 614) return;
  struct Band {
    int top, bottom, box;
  };
  for (Band band : {Band{150, 165, kAllowAllBox}, Band{200, 215, kAllowListBox}, Band{300, 315, kAllowRangeBox}}) {
    if (y >= band.top && y <= band.bottom) {
      ui.SetChecked(band.box, !ui.IsChecked(band.box));
      ApplyAccessModeRule(ui, band.box);
    }
  }
}

}  // namespace tv
