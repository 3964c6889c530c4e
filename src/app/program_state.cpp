#include "app/program_state.h"

namespace tv {

std::atomic<std::uint8_t> ServerRunning{0};

std::recursive_mutex& AddressListLock() {
  static std::recursive_mutex lock;
  return lock;
}

}  // namespace tv
