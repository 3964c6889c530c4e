#pragma once
// State that the whole process shares.
#include <atomic>
#include <cstdint>
#include <mutex>

namespace tv {

// 1 while the web server listens. Written only on the main thread; read by others without a lock.
extern std::atomic<std::uint8_t> ServerRunning;

// Guards the allowed-address rows. Created on first use, which start-up makes happen before any
// window exists, and never destroyed.
std::recursive_mutex& AddressListLock();

}  // namespace tv
