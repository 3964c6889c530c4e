#include "server/request_intake.h"

#include <algorithm>
#include <array>

namespace tv {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lowered(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), Lower);
  return lower;
}

bool EndsWithBlankLine(const std::string& head) { return head.size() >= 4 && head.ends_with("\r\n\r\n"); }

}  // namespace

HeadEnd ReadRequestHead(Network& network, ClientId client, std::string& head, const HeadLimits& limits) {
  head.clear();
  const auto deadline = std::chrono::steady_clock::now() + limits.deadline;
  std::array<unsigned char, 2048> chunk;
  while (true) {
    // Look at what waits, take exactly up to the end of the head, leave the rest.
    const std::size_t room = std::min(chunk.size(), limits.maxBytes - std::min(limits.maxBytes, head.size()) + 1);
    const int seen = network.Peek(client, std::span(chunk.data(), room));
    if (seen < 0) return HeadEnd::Failed;
    if (seen == 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return HeadEnd::TimedOut;
      network.WaitReadable(client, static_cast<int>(std::min<long long>(left.count(), 1000)));
      continue;
    }
    std::size_t take = static_cast<std::size_t>(seen);
    bool complete = false;
    for (std::size_t i = 0; i < static_cast<std::size_t>(seen); ++i) {
      const char byte = static_cast<char>(chunk[i]);
      if (byte != '\0') head.push_back(byte);
      if (byte == '\n' && EndsWithBlankLine(head)) {
        take = i + 1;
        complete = true;
        break;
      }
      if (head.size() >= limits.maxBytes) {
        take = i + 1;
        break;
      }
    }
    // The peeked bytes are ours: receive exactly as many as were used. They are in the head
    // already, so they must leave the connection, or the next look would take them again; a
    // receive may still find nothing just after the peek (Wine's sockets, under load).
    std::size_t consumed = 0;
    while (consumed < take) {
      const int got = network.Receive(client, std::span(chunk.data(), take - consumed));
      if (got < 0) return HeadEnd::Failed;
      if (got > 0) {
        consumed += static_cast<std::size_t>(got);
        continue;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return HeadEnd::TimedOut;
      network.WaitReadable(client, static_cast<int>(std::min<long long>(left.count(), 1000)));
    }
    if (complete) return HeadEnd::Complete;
    if (head.size() >= limits.maxBytes) return HeadEnd::TooLong;
    if (std::chrono::steady_clock::now() >= deadline) return HeadEnd::TimedOut;
  }
}

std::string UserAgentOf(std::string_view head) {
  const std::size_t found = Lowered(head).find("user-agent:");
  // Without the header the rest starts at the head's 11th character, as if it stood at 0.
  const std::size_t from = found == std::string::npos ? 10 : found + 11;
  if (from > head.size()) return {};
  const std::string_view rest = head.substr(from);
  const std::size_t lineEnd = rest.find("\r\n");
  if (lineEnd == std::string_view::npos) return {};
  std::string_view value = rest.substr(0, lineEnd);
  while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
  while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
  return std::string(value);
}

std::string PathOf(std::string_view target) { return Lowered(target.substr(0, target.find('?'))); }

std::string QueryOf(std::string_view target) {
  const std::size_t first = target.find('?');
  if (first == std::string_view::npos) return {};
  const std::string_view after = target.substr(first + 1);
  return Lowered(after.substr(0, after.find('?')));
}

void ParseRequest(RequestContext& request) {
  const std::string& head = request.head;
  request.userAgent = UserAgentOf(head);
  request.requestLine = head.substr(0, head.find('\r'));
  const std::string& line = request.requestLine;
  request.method = line.substr(0, line.find(' '));
  request.target.clear();
  const std::size_t http = Lowered(line).find(" http");
  // The target skips the method and exactly one character after it, and ends before " HTTP".
  const std::size_t from = request.method.size() + 1;
  if (http != std::string::npos && http > from) request.target = line.substr(from, http - from);
  request.path = PathOf(request.target);
}

}  // namespace tv
