#include "server/routes.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <span>

#include "assets/catalogue.h"
#include "server/media_keys.h"
#include "server/request_intake.h"

namespace tv {

namespace {

// Large enough for any picture a page would show, small enough that no request can make the
// program hold gigabytes.
constexpr std::uintmax_t kMaxFileBytes = 64 * 1024 * 1024;

bool IsDeviceName(std::string_view part) {
  std::string stem(part.substr(0, part.find('.')));
  std::transform(stem.begin(), stem.end(), stem.begin(), [](char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; });
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"}) {
    if (stem == device) return true;
  }
  return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
         ((stem[3] >= '0' && stem[3] <= '9') || stem[3] == '\xB9' || stem[3] == '\xB2' || stem[3] == '\xB3');
}

void Send(Network& network, ClientId client, std::string_view bytes) {
  (void)network.Send(client, std::span(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::string result;
  std::size_t at = 0;
  for (std::size_t found = text.find(from); found != std::string_view::npos; found = text.find(from, at)) {
    result.append(text.substr(at, found - at)).append(to);
    at = found + from.size();
  }
  result.append(text.substr(at));
  return result;
}

}  // namespace

std::string BuildResponseHead(std::size_t bodyLength, ContentType type) {
  return "HTTP/1.1 200 OK\r\n"
         "Server: Tastovolant/2.0.0 (Windows)\r\n"
         "Content-Length: " +
         std::to_string(bodyLength) +
         "\r\n"
         "Content-Language: de\r\n" +
         (type == ContentType::Png ? "Content-Type: image/png\r\n" : "Content-Type: text/html\r\n") +
         "Connection: close\r\n"
         "\r\n";
}

std::optional<std::string> SafeFileName(std::string_view target) {
  if (target.empty()) return std::nullopt;
  std::string name(target.substr(1));
  std::replace(name.begin(), name.end(), '/', '\\');
  if (name.empty() || name.front() == '\\') return std::nullopt;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) return std::nullopt;
    if (std::string_view("<>:\"|?*").find(static_cast<char>(c)) != std::string_view::npos) return std::nullopt;
  }
  std::size_t start = 0;
  while (start <= name.size()) {
    const std::size_t end = std::min(name.find('\\', start), name.size());
    const std::string_view part = std::string_view(name).substr(start, end - start);
    // An empty part is a doubled or trailing backslash.
    if (part.empty() || part == "." || part == ".." || part.back() == '.' || part.back() == ' ' || IsDeviceName(part)) {
      return std::nullopt;
    }
    start = end + 1;
  }
  return name;
}

std::optional<std::string> ReadFileBelowWorkingDirectory(const std::string& name) {
  std::filesystem::path path;
  std::size_t start = 0;
  while (start <= name.size()) {
    const std::size_t end = std::min(name.find('\\', start), name.size());
    path /= name.substr(start, end - start);
    start = end + 1;
  }
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error || size > kMaxFileBytes) return std::nullopt;
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  file.read(bytes.data(), static_cast<std::streamsize>(size));
  bytes.resize(static_cast<std::size_t>(file.gcount()));
  return bytes;
}

bool RouteRequest(RequestContext& request, const RoutePorts& ports) {
  Network& network = ports.network;
  if (request.path == "/error.png") {
    const std::string_view body = assets::AsText(assets::kErrorImage);
    Send(network, request.client, BuildResponseHead(body.size(), ContentType::Png) + std::string(body));
    return true;
  }
  if (request.path == "/") {
    const std::string_view body = assets::AsText(request.allowed ? assets::kMainPage : assets::kRefusalPage);
    Send(network, request.client, BuildResponseHead(body.size(), ContentType::Html) + std::string(body));
    return true;
  }
  if (request.path == "/host") {
    std::string body;
    if (request.allowed) {
      // The key is pressed before anything is sent, so it is pressed even if the answer is lost.
      request.query = QueryOf(request.target);
      RunMediaCommand(request.query, ports.keys);
      body = ReplaceAll(assets::AsText(assets::kHostFrame), "HOST", ports.hostName);
    } else {
      body = ReplaceAll(assets::AsText(assets::kHostFrame), "HOST", "ZUGRIFF VERWEIGERT!");
    }
    Send(network, request.client, BuildResponseHead(body.size(), ContentType::Html) + body);
    return true;
  }
  const std::optional<std::string> name = SafeFileName(request.target);
  if (!name) return false;
  const std::optional<std::string> body = ReadFileBelowWorkingDirectory(*name);
  if (!body) return false;
  Send(network, request.client, BuildResponseHead(body->size(), ContentType::Png) + *body);
  return true;
}

}  // namespace tv
