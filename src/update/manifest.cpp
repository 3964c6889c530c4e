#include "update/manifest.h"

#include <algorithm>

#include "update/fetch_client.h"

namespace tv {
namespace {

constexpr std::string_view kEntryEnd = "||";

ManifestEntry EntryOf(std::string_view entry) {
  std::vector<std::string_view> fields;
  for (;;) {
    const std::size_t bar = entry.find('|');
    fields.push_back(entry.substr(0, bar));
    if (bar == std::string_view::npos || fields.size() == 3) break;
    entry.remove_prefix(bar + 1);
  }
  fields.resize(3);
  return {std::string(fields[0]), std::string(fields[2])};
}

}  // namespace

std::string TakeFront(std::string& remaining) {
  const std::size_t bar = remaining.find('|');
  if (bar == std::string::npos) return {};
  std::string part = remaining.substr(0, bar);
  remaining.erase(0, bar + 1);
  return part;
}

Manifest ParseManifest(std::string_view text) {
  Manifest manifest;
  std::string remaining(text);
  manifest.answer = TakeFront(remaining);
  manifest.version = TakeFront(remaining);
  std::string_view rest = remaining;
  for (std::size_t end = rest.find(kEntryEnd); end != std::string_view::npos; end = rest.find(kEntryEnd)) {
    manifest.entries.push_back(EntryOf(rest.substr(0, end)));
    rest.remove_prefix(end + kEntryEnd.size());
  }
  return manifest;
}

bool AnswerIsOk(std::string_view answer) {
  answer = TrimSpaces(answer);
  return answer.size() == 2 && (answer[0] == 'o' || answer[0] == 'O') && (answer[1] == 'k' || answer[1] == 'K');
}

std::string ManifestText(std::span<const unsigned char> body) {
  return std::string(body.begin(), std::find(body.begin(), body.end(), '\0'));
}

}  // namespace tv
