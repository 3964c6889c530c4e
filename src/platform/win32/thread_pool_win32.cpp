#include "platform/win32/thread_pool_win32.h"

#include <windows.h>

#include <memory>

namespace tv {

namespace {

DWORD WINAPI RunPooled(void* argument) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
  (*body)();
  return 0;
}

}  // namespace

void StartPooledThread(std::function<void()> body) {
  auto* owned = new std::function<void()>(std::move(body));
  // Long-running: a handler may wait for a slow client, and the pool should grow rather than
  // make other requests wait behind it.
  if (!QueueUserWorkItem(RunPooled, owned, WT_EXECUTELONGFUNCTION)) delete owned;
}

}  // namespace tv
