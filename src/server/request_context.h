#pragma once
// The values one request handler works with, all its own and gone when it ends.
#include <chrono>
#include <cstdint>
#include <string>

#include "platform/network.h"

namespace tv {

struct RequestContext {
  ClientId client = 0;
  std::chrono::steady_clock::time_point startTick;
  std::uint32_t peerAddress = 0;  // first octet in the lowest byte; 0 when unknown
  std::string head;               // as read, up to and including the blank line
  std::string userAgent;
  std::string requestLine;
  std::string method;
  std::string target;
  std::string path;   // lowercased, for routing
  std::string query;  // lowercased, for the media command
  bool allowed = false;
};

}  // namespace tv
