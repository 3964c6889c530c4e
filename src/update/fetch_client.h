#pragma once
// A small HTTP/1.1 client for the update manifest: one GET, redirects by 302 only, the answer read
// one byte at a time, every wait bounded by counting idle polls.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/tcp_client.h"

namespace tv {

struct FetchResult {
  // In: the address to fetch. Out: the address of the last attempt without "http://" and without
  // one trailing "/"; after a redirect, the address the redirect gave.
  std::string url;
  // The body, zero-filled beyond what was received.
  std::vector<unsigned char> data;
  // In: 0, or a length that takes the place of the announced Content-Length. Out: the body length;
  // for an answer without a declared length that ended in a receive error, the buffer's capacity.
  std::int64_t size = 0;
  // The number of body bytes written into `data`.
  std::int64_t received = 0;
  // The status code of the answer; a caller may preset it.
  std::int32_t status = 0;
};

inline constexpr int kFetchAttempts = 10;
inline constexpr int kFetchPort = 80;
inline constexpr int kFetchIdleLimit = 1500;
inline constexpr int kFetchPauseMs = 5;
inline constexpr std::int64_t kFetchBufferStep = 1024;
// The fetch serves a small manifest; a bigger body, declared or received, is a failure, so that a
// broken or hostile server can't make the program allocate without bound.
inline constexpr std::int64_t kFetchBodyLimit = 1024 * 1024;
// The same for the answer's head, which would otherwise grow for as long as a server trickles bytes.
inline constexpr std::size_t kFetchHeadLimit = 64 * 1024;

struct FetchOptions {
  int port = kFetchPort;
  // Called after every idle poll with kFetchPauseMs; empty: the calling thread sleeps that long.
  std::function<void(int milliseconds)> pause;
};

// Fetches `request.url` with up to ten attempts (a redirect uses up one; its address ends at the
// Location line's first CR or LF, so no line of a server's choosing reaches the next request). The
// record once the body of an answer other than a 302 is complete, whatever its status; nothing when
// the tenth attempt ended without that, or when the body is over kFetchBodyLimit. Each attempt
// starts again from the record as passed in. Blocks the calling thread; every connection it opens
// is closed on return.
[[nodiscard]] std::optional<FetchResult> FetchUrl(TcpConnector& connector, const FetchResult& request,
                                                  const FetchOptions& options = {});

// The text between the first `start` marker in `text` and the first `end` marker after the first
// character of that start marker, both found ignoring letter case; empty when either is missing or
// the end marker begins inside the start marker.
[[nodiscard]] std::string TextBetween(std::string_view text, std::string_view start, std::string_view end);

// Where an attempt goes: `address` without "http://" (any letter case) and one trailing "/"; the
// host before its first "/", the path from there on ("/" when there is none).
struct FetchTarget {
  std::string address;
  std::string host;
  std::string path;
};
[[nodiscard]] FetchTarget TargetOf(std::string_view address);

// The request of one attempt, each line ending in CR LF.
[[nodiscard]] std::string RequestFor(const FetchTarget& target);

// A decimal number as the head's values are read: spaces and tabs skipped, an optional sign, the
// digits up to the first other character; 0 without digits. Saturates at the 64-bit limits.
[[nodiscard]] std::int64_t ReadDecimal(std::string_view text);

// The status code of a complete head: its second field when split at single spaces.
[[nodiscard]] std::int64_t StatusOfHead(std::string_view head);

// `text` without spaces (spaces only) at both ends.
[[nodiscard]] std::string_view TrimSpaces(std::string_view text);

}  // namespace tv
