#pragma once
// The allowed-address list as the user edits it: rows of an address field, an info button and a
// remove button in the address pane, added by the add button. Only the main thread changes the
// chain, and only with AddressListLock held; other threads walk it under the same lock.
#include <cstdint>
#include <string>

#include "app/image_table.h"
#include "platform/network.h"
#include "platform/ui.h"

namespace tv {

// The four octets in decimal, first octet (the lowest byte) first, joined by ".".
[[nodiscard]] std::string DottedAddress(std::uint32_t address);

// Runs on every control event, before anything else handles it: a row's info button shows what
// the row holds, a row's remove button removes that row.
void ScanAddressRows(Ui& ui, Network& network, int control);

// The add button's rule: a new empty row at the bottom, unless the bottom row is still empty.
// The row's buttons show images 13 (info) and 12 (remove).
void AddAddressRow(Ui& ui, const ImageTable& images);

}  // namespace tv
