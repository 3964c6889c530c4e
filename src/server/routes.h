#pragma once
// Choosing and sending the answer to a request: the error picture, the remote-control or refusal
// page, the host frame that carries the media commands, and files below the working directory.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/keys.h"
#include "platform/network.h"
#include "server/request_context.h"

namespace tv {

enum class ContentType { Png, Html };

// The seven-line head of every answer.
[[nodiscard]] std::string BuildResponseHead(std::size_t bodyLength, ContentType type);

// The file name a target asks for (every "/" a backslash, the first character dropped), or
// nothing when the name could lead out of the working directory or means something special to
// Windows: ".." steps, drives and stream names (any ":"), leading or doubled backslashes (UNC and
// device paths), parts ending in a dot or a space, device names such as CON or LPT1, and
// characters that no file name may hold.
[[nodiscard]] std::optional<std::string> SafeFileName(std::string_view target);

// A file's bytes, or nothing when it can't be opened or read (missing, a folder, too large).
[[nodiscard]] std::optional<std::string> ReadFileBelowWorkingDirectory(const std::string& name);

struct RoutePorts {
  Network& network;
  Keys& keys;
  std::string hostName;  // this PC's name, filled into the host frame for allowed clients
};

// Sends at most one answer; false when none was sent (a file that can't be served).
bool RouteRequest(RequestContext& request, const RoutePorts& ports);

}  // namespace tv
