#include "server/media_keys.h"

namespace tv {

void RunMediaCommand(std::string_view query, Keys& keys) {
  for (const MediaKey& key : kMediaKeyTable) {
    if (key.query == query) {
      keys.SendMediaKey(key.virtualKey);
      return;
    }
  }
}

}  // namespace tv
