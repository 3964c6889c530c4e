#include "server/access_control.h"

#include <mutex>

#include "access_editor/address_row.h"
#include "app/main_window.h"
#include "app/program_state.h"

namespace tv {

bool DecideAccess(Ui& ui, std::uint32_t peerAddress) {
  if (ui.IsChecked(kAllowAllBox)) return true;
  if (ui.IsChecked(kAllowListBox)) {
    // The range is not consulted in this mode, even when its box is ticked too.
    std::lock_guard guard(AddressListLock());
    for (const AddressRow* row = AddressRowList.load(); row; row = row->next) {
      if (ui.AddressValue(row->addressField) == peerAddress) return true;
    }
    return false;
  }
  if (ui.IsChecked(kAllowRangeBox)) {
    return AddressInRange(ui.AddressValue(kRangeFromField), ui.AddressValue(kRangeToField), peerAddress);
  }
  return false;
}

}  // namespace tv
