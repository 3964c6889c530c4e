#include "app/program_state.h"

#include "access_editor/address_row.h"

namespace tv {

std::atomic<std::uint8_t> ServerRunning{0};
std::atomic<AddressRow*> AddressRowList{nullptr};

std::recursive_mutex& AddressListLock() {
  static std::recursive_mutex lock;
  return lock;
}

}  // namespace tv
