// The update manifest: taken apart, and written again from its parts.
//
// Input: the body of the update server's answer.
#include "fuzz/fuzz_target.h"
#include "update/manifest.h"

namespace tv::fuzz {
namespace {

bool HasBar(std::string_view text) { return text.find('|') != std::string_view::npos; }

}  // namespace

std::string ManifestInput(Input input) {
  Findings findings;
  const std::string text = ManifestText(input);
  const std::string_view bytes(reinterpret_cast<const char*>(input.data()), input.size());
  findings.Check(bytes.starts_with(text) && text.find('\0') == std::string::npos &&
                     (text.size() == bytes.size() || bytes[text.size()] == '\0'),
                 "the manifest text is the body up to its first NUL");

  const Manifest manifest = ParseManifest(text);
  findings.Check(!HasBar(manifest.answer) && !HasBar(manifest.version), "answer and version hold no bar");
  findings.Check(manifest.entries.size() <= text.size() / 2, "every entry takes its own \"||\"");
  bool digestsPresent = true;
  for (const ManifestEntry& entry : manifest.entries) {
    findings.Check(!HasBar(entry.file) && !HasBar(entry.digest), "an entry's fields hold no bar");
    digestsPresent = digestsPresent && !entry.digest.empty();
  }
  std::string trimmed = manifest.answer;
  while (trimmed.starts_with(' ')) trimmed.erase(0, 1);
  while (trimmed.ends_with(' ')) trimmed.pop_back();
  findings.Check(AnswerIsOk(manifest.answer) == (AsciiLowered(trimmed) == "ok"), "the answer is ok in any case");

  // Written again with a middle field of its own, a manifest whose digests are all there reads
  // back the same. (An empty digest would put three bars in a row, which starts the next entry.)
  if (digestsPresent && text.find('|') != std::string::npos &&
      text.find('|', text.find('|') + 1) != std::string::npos) {
    std::string written = manifest.answer + "|" + manifest.version + "|";
    for (const ManifestEntry& entry : manifest.entries) written += entry.file + "|-|" + entry.digest + "||";
    const Manifest again = ParseManifest(written);
    bool same = again.answer == manifest.answer && again.version == manifest.version &&
                again.entries.size() == manifest.entries.size();
    for (std::size_t i = 0; same && i < again.entries.size(); ++i) {
      same = again.entries[i].file == manifest.entries[i].file && again.entries[i].digest == manifest.entries[i].digest;
    }
    findings.Check(same, "a manifest written from its parts reads back the same");
  }
  return findings.First();
}

}  // namespace tv::fuzz
