#pragma once
#include <functional>

namespace tv {

// Runs `body` on a thread pool of the program's own: under Wine a new thread costs milliseconds, a pooled
// one a tenth of one. A body that cannot be queued is dropped; its data stays waiting and the
// next poll asks again.
void StartPooledThread(std::function<void()> body);

}  // namespace tv
