#include "status/status_state.h"

#include "access_editor/address_row.h"
#include "app/main_window.h"
#include "app/program_state.h"

namespace tv {

StatusState DecideStatusState(const StatusInputs& inputs) {
  if (!inputs.serverRunning) return StatusState::Stopped;
  if (inputs.allowAll) return StatusState::Serving;
  if (inputs.allowList) return inputs.rowsPresent ? StatusState::Serving : StatusState::NoAccess;
  if (inputs.allowRange) return StatusState::Serving;
  return StatusState::NoAccess;
}

StatusInputs ReadStatusInputs(Ui& ui) {
  StatusInputs inputs;
  inputs.serverRunning = ServerRunning.load() != 0;
  inputs.allowAll = ui.IsChecked(kAllowAllBox);
  inputs.allowList = ui.IsChecked(kAllowListBox);
  inputs.allowRange = ui.IsChecked(kAllowRangeBox);
  // Only whether the head is null matters here; the rows themselves are the main thread's.
  inputs.rowsPresent = AddressRowList.load() != nullptr;
  return inputs;
}

StatusState ReadStatusState(Ui& ui) { return DecideStatusState(ReadStatusInputs(ui)); }

}  // namespace tv
