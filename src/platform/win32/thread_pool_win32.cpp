#include "platform/win32/thread_pool_win32.h"

#include <windows.h>

#include <memory>

namespace tv {

namespace {

// More threads than the server keeps connections: a handler per connection can wait for its
// client, and every one of them still finds a thread, with room for the short ones beside them.
constexpr DWORD kMostThreads = 4096;

void CALLBACK RunPooled(PTP_CALLBACK_INSTANCE, void* argument) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
  (*body)();
}

// The program's own pool: the system's default pool stops growing at a few hundred threads, and
// slow clients could then hold every one of them while a phone's press waits.
PTP_CALLBACK_ENVIRON Environment() {
  static TP_CALLBACK_ENVIRON environment;
  static const bool made = [] {
    PTP_POOL pool = CreateThreadpool(nullptr);
    if (!pool) return false;
    SetThreadpoolThreadMaximum(pool, kMostThreads);
    InitializeThreadpoolEnvironment(&environment);
    SetThreadpoolCallbackPool(&environment, pool);
    // Long-running: the pool should grow rather than make other requests wait behind one.
    SetThreadpoolCallbackRunsLong(&environment);
    return true;
  }();
  return made ? &environment : nullptr;
}

}  // namespace

void StartPooledThread(std::function<void()> body) {
  auto* owned = new std::function<void()>(std::move(body));
  if (!TrySubmitThreadpoolCallback(RunPooled, owned, Environment())) delete owned;
}

}  // namespace tv
