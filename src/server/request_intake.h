#pragma once
// Reading and taking apart a request head. Nothing here answers or refuses: a malformed or cut-off
// head still yields values, mostly empty ones.
#include <chrono>
#include <string>
#include <string_view>

#include "platform/network.h"
#include "server/request_context.h"

namespace tv {

struct HeadLimits {
  std::size_t maxBytes = 16 * 1024;
  std::chrono::milliseconds deadline{20000};
};

enum class HeadEnd {
  Complete,  // the blank line arrived
  Failed,    // the connection failed or closed first
  TooLong,   // the head reached the size bound
  TimedOut,  // the head did not end in time
};

// Reads the head from the connection up to and including CR LF CR LF. NUL bytes are dropped.
// Bytes after the blank line stay unread on the connection. Waits for data without spinning.
[[nodiscard]] HeadEnd ReadRequestHead(Network& network, ClientId client, std::string& head,
                                      const HeadLimits& limits = {});

// userAgent, requestLine, method and target from the head; path from the target.
void ParseRequest(RequestContext& request);

[[nodiscard]] std::string PathOf(std::string_view target);
[[nodiscard]] std::string QueryOf(std::string_view target);
[[nodiscard]] std::string UserAgentOf(std::string_view head);

}  // namespace tv
