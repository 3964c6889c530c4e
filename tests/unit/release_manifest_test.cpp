// The update-manifest generator (tools/make_update_manifest.py) against the program's own reading
// of a manifest: what the maker publishes for a release folder must be what the update check
// finds equal to that folder, and nothing else.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "fakes/fake_ports.h"
#include "fakes/fake_ui.h"
#include "fakes/fake_update_ports.h"
#include "platform/posix/digest_posix.h"
#include "update/manifest.h"
#include "update/update_checker.h"

namespace tv {
namespace {

namespace fs = std::filesystem;

const fs::path kPython = "/usr/bin/python3";
const fs::path kGenerator = fs::path(TASTOVOLANT_SOURCE_DIR) / "tools" / "make_update_manifest.py";

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string Contents(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// A folder of its own under the system's temporary folder: `release/` is what the generator
// lists, the manifest goes beside it.
struct Workspace {
  fs::path root;
  fs::path release;
  Workspace() {
    std::random_device random;
    root = fs::temp_directory_path() / ("tastovolant_release_" + std::to_string(random()));
    release = root / "release";
    fs::create_directories(release);
  }
  ~Workspace() {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
  void Write(const fs::path& name, const std::string& contents) const {
    fs::create_directories((release / name).parent_path());
    std::ofstream(release / name, std::ios::binary) << contents;
  }
  [[nodiscard]] fs::path ManifestPath() const { return root / "manifest.txt"; }
  // Runs the generator; true when it succeeded and wrote the manifest.
  [[nodiscard]] bool Generate(const std::string& version, const fs::path& folder = {}) const {
    std::error_code ignored;
    fs::remove(ManifestPath(), ignored);
    const std::string command = Quoted(kPython.string()) + " " + Quoted(kGenerator.string()) + " " +
                                Quoted((folder.empty() ? release : folder).string()) + " " + Quoted(version) +
                                " --output " + Quoted(ManifestPath().string()) + " 2>/dev/null";
    return std::system(command.c_str()) == 0 && fs::exists(ManifestPath());
  }
  [[nodiscard]] std::string Manifest() const { return Contents(ManifestPath()); }
};

// The entries' own texts, cut as the program cuts them: after the answer word and the version,
// each up to its "||".
std::vector<std::string> EntryTexts(std::string manifest) {
  (void)TakeFront(manifest);
  (void)TakeFront(manifest);
  std::vector<std::string> entries;
  for (std::size_t end = manifest.find("||"); end != std::string::npos; end = manifest.find("||")) {
    entries.push_back(manifest.substr(0, end));
    manifest.erase(0, end + 2);
  }
  return entries;
}

// A manifest name (ISO-8859-1, Windows separators) as a path on this system (UTF-8, "/"), the way
// the Windows adapter turns it into a wide path.
fs::path PathOfName(const fs::path& folder, const std::string& name) {
  std::string utf8;
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      utf8 += '/';
    } else if (byte < 0x80) {
      utf8 += c;
    } else {
      utf8 += static_cast<char>(0xC0 | (byte >> 6));
      utf8 += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return folder / utf8;
}

// The digest port as the program sees its working directory: names are looked up in `folder`.
class ReleaseFolderFiles final : public FileDigest {
 public:
  explicit ReleaseFolderFiles(fs::path folder) : folder_(std::move(folder)) {}
  std::int64_t FileSize(std::string_view name) override {
    return name.empty() ? -1 : files_.FileSize(PathOfName(folder_, std::string(name)).string());
  }
  std::string Md5OfFile(std::string_view name) override {
    return name.empty() ? std::string() : files_.Md5OfFile(PathOfName(folder_, std::string(name)).string());
  }

 private:
  fs::path folder_;
  OpenSslFileDigest files_;
};

class ReleaseManifest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kPython)) GTEST_SKIP() << kPython << " is not installed";
    ASSERT_TRUE(fs::exists(kGenerator)) << kGenerator;
  }
  // A folder shaped like a release: the program, its pictures, the read-mes, and a name with
  // letters beyond ASCII.
  void WriteRelease() const {
    workspace.Write("Tastovolant.exe", "MZ" + std::string(70000, '\x90') + std::string(1, '\0') + "end");
    workspace.Write("GFX/pp_0.png", "\x89PNG picture zero");
    workspace.Write("GFX/pp_1.png", "\x89PNG picture one");
    workspace.Write("README.txt", "abc");
    workspace.Write("LIESMICH.txt", "");
    workspace.Write("Gr\xc3\xbc\xc3\x9f" "e.txt", "Gr\xfc\xdf" "e\r\n");  // "Grüße.txt", UTF-8 on disk
  }
  Workspace workspace;
};

TEST_F(ReleaseManifest, ListsEveryFileWithItsSizeAndDigestInTheProgramsFormat) {
  WriteRelease();
  ASSERT_TRUE(workspace.Generate("2.0.0"));
  const std::string text = workspace.Manifest();
  EXPECT_EQ(text.substr(0, 9), "ok|2.0.0|");
  EXPECT_EQ(text.substr(text.size() - 2), "||") << "nothing after the last entry";

  const Manifest manifest = ParseManifest(text);
  EXPECT_EQ(manifest.answer, "ok");
  EXPECT_TRUE(AnswerIsOk(manifest.answer));
  EXPECT_EQ(manifest.version, "2.0.0");
  std::vector<std::string> names;
  for (const ManifestEntry& entry : manifest.entries) names.push_back(entry.file);
  // Sorted by their bytes, Windows separators, the program's ISO-8859-1.
  const std::vector<std::string> expected = {
      "GFX\\pp_0.png", "GFX\\pp_1.png", "Gr\xfc\xdf" "e.txt", "LIESMICH.txt", "README.txt", "Tastovolant.exe",
  };
  EXPECT_EQ(names, expected);

  ReleaseFolderFiles files(workspace.release);
  const std::vector<std::string> entryTexts = EntryTexts(text);
  ASSERT_EQ(entryTexts.size(), manifest.entries.size());
  for (std::size_t i = 0; i < manifest.entries.size(); ++i) {
    const ManifestEntry& entry = manifest.entries[i];
    SCOPED_TRACE(entry.file);
    ASSERT_TRUE(fs::is_regular_file(PathOfName(workspace.release, entry.file)));
    EXPECT_EQ(entry.digest, files.Md5OfFile(entry.file));
    std::string fields = entryTexts[i];
    EXPECT_EQ(TakeFront(fields), entry.file);
    EXPECT_EQ(TakeFront(fields), std::to_string(files.FileSize(entry.file))) << "the size field";
    EXPECT_EQ(fields, entry.digest) << "exactly three fields";
  }
  // Digests the program compares byte for byte: lower case, as for "abc" and for no bytes at all.
  EXPECT_EQ(manifest.entries.at(4).digest, "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(manifest.entries.at(3).digest, "d41d8cd98f00b204e9800998ecf8427e");
}

TEST_F(ReleaseManifest, TheUpdateCheckFindsNoDifferingFileUntilOneChanges) {
  WriteRelease();
  ASSERT_TRUE(workspace.Generate("2.1.0"));
  const std::string text = workspace.Manifest();

  fakes::FakeUi ui;
  fakes::FakeShell shell;
  fakes::ScriptedConnector connector;
  ReleaseFolderFiles files(workspace.release);
  const auto check = [&] {
    ui.messages.clear();
    connector.scripts.push_back(fakes::Answering("HTTP/1.1 200 OK\r\nContent-Length: " +
                                                 std::to_string(text.size()) + "\r\n\r\n" + text));
    FetchOptions options;
    options.pause = [](int) {};
    CheckForUpdates({ui, shell, connector, files}, "http://update.test", options);
  };
  const auto differing = [&] {
    std::vector<std::string> names;
    for (const ManifestEntry& entry : ParseManifest(text).entries) {
      if (files.FileSize(entry.file) < 0 || files.Md5OfFile(entry.file) != entry.digest) names.push_back(entry.file);
    }
    return names;
  };

  EXPECT_TRUE(differing().empty());
  check();
  EXPECT_TRUE(ui.messages.empty()) << "a folder equal to its manifest offers no update";

  // The same size, one byte changed: only the digest tells.
  workspace.Write("GFX/pp_1.png", "\x89PNG picture One");
  EXPECT_EQ(differing(), std::vector<std::string>{"GFX\\pp_1.png"});
  check();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Wollen Sie Tastovolant Version 2.1.0 downloaden?");
}

TEST_F(ReleaseManifest, RefusesWhatTheManifestCannotCarry) {
  struct Case {
    std::string name;
    std::string file;  // written into the release folder beside an ordinary file; empty: none
    std::string version;
  };
  const std::vector<Case> cases = {
      {"a bar in a file name", "a|b.txt", "2.0.0"},
      {"a line break in a file name", "a\nb.txt", "2.0.0"},
      {"a backslash in a file name", "a\\b.txt", "2.0.0"},
      {"a character outside ISO-8859-1", "\xe2\x82\xac.txt", "2.0.0"},  // the euro sign
      {"a bar in the version", "", "2|0"},
      {"a line break in the version", "", "2.0\n"},
      {"an empty version", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Workspace each;
    each.Write("Tastovolant.exe", "MZ");
    if (!c.file.empty()) each.Write(c.file, "x");
    EXPECT_FALSE(each.Generate(c.version));
  }

  Workspace empty;
  EXPECT_FALSE(empty.Generate("2.0.0")) << "a folder without files";
  EXPECT_FALSE(empty.Generate("2.0.0", empty.root / "missing")) << "no such folder";
  empty.Write("Tastovolant.exe", "MZ");
  EXPECT_TRUE(empty.Generate("2.0.0")) << "the same workspace with a file";
}

}  // namespace
}  // namespace tv
