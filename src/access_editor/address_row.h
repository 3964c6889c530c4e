#pragma once
// The allowed-address rows: a doubly linked chain in screen order, top to bottom.
#include <atomic>

namespace tv {

struct AddressRow {
  AddressRow* prev = nullptr;
  AddressRow* next = nullptr;
  int addressField = 0;  // the row's controls in the address pane; numbers assigned by the platform
  int infoButton = 0;
  int removeButton = 0;
};

// The top row, null while the list is empty. The chain and the rows' controls are changed only on
// the main thread with AddressListLock held; walking it takes the lock too. The head is atomic so
// that the status picture may ask whether the list is empty without the lock.
extern std::atomic<AddressRow*> AddressRowList;

}  // namespace tv
