#pragma once
// The update server's manifest: "answer|version|" followed by one entry per file, each ended by
// "||", each entry's fields separated by "|": file name, a field we don't use, MD5 digest.
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tv {

struct ManifestEntry {
  std::string file;    // relative to the working directory, as written
  std::string digest;  // as written; compared byte for byte
};

struct Manifest {
  std::string answer;
  std::string version;
  std::vector<ManifestEntry> entries;
};

// Takes the text before the first "|" off the front of `remaining`, which keeps the text after
// that bar. Without a bar the part is empty and `remaining` stays as it is.
[[nodiscard]] std::string TakeFront(std::string& remaining);

// The answer word, the version, then an entry for each "||" in what is left (text after the last
// one is ignored). An entry's missing fields read as empty.
[[nodiscard]] Manifest ParseManifest(std::string_view text);

// True when the answer word is "ok", ignoring letter case and spaces (spaces only) at both ends.
[[nodiscard]] bool AnswerIsOk(std::string_view answer);

// The manifest as text: the body's bytes up to the first NUL, if any.
[[nodiscard]] std::string ManifestText(std::span<const unsigned char> body);

}  // namespace tv
