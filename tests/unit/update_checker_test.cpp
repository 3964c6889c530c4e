#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fake_ports.h"
#include "fakes/fake_ui.h"
#include "fakes/fake_update_ports.h"
#include "platform/posix/digest_posix.h"
#include "update/update_checker.h"

namespace tv {
namespace {

using namespace std::string_literals;
using fakes::Answering;

const std::string kSite = "http://update.test";
const std::string kMd5OfA = "0cc175b9c0f1b6a831c399e269772661";  // "a"
const std::string kMd5OfNothing = "d41d8cd98f00b204e9800998ecf8427e";

// "Es sind Updates verfügbar.\nWollen Sie Tastovolant beenden und ein Update auf Version 2.1.0 ausführen?"
const std::string kUpdatePrompt =
    "Es sind Updates verf\374gbar.\nWollen Sie Tastovolant beenden und ein Update auf Version 2.1.0 ausf\374hren?";
const std::string kDownloadPrompt = "Wollen Sie Tastovolant Version 2.1.0 downloaden?";

std::string AnswerWith(int status, const std::string& body) {
  return "HTTP/1.1 " + std::to_string(status) + " Whatever\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

struct UpdateCheck : ::testing::Test {
  fakes::FakeUi ui;
  fakes::FakeShell shell;
  fakes::ScriptedConnector connector;
  fakes::FakeFileDigest files;

  UpdateCheck() {
    files.files["a.dll"] = {1, kMd5OfA};
    files.files["empty.txt"] = {0, kMd5OfNothing};
  }
  UpdatePorts Ports() { return {ui, shell, connector, files}; }
  void Serve(const std::string& manifest, int status = 200) {
    connector.scripts.push_back(Answering(AnswerWith(status, manifest)));
  }
  void Run(const std::string& site = kSite) {
    FetchOptions options;
    options.pause = [](int) {};
    CheckForUpdates(Ports(), site, options);
  }
  [[nodiscard]] bool EndRequested() {
    const UiEvent event = ui.WaitEvent(0);
    return event.kind == EventKind::EndRequest && event.exitCode == 0;
  }
};

TEST_F(UpdateCheck, AsksTheUpdateAddressOnPort80) {
  Serve("ok|2.1.0|a.dll|1|" + kMd5OfA + "||");
  Run();
  EXPECT_EQ(connector.log.hosts, std::vector<std::string>{"update.test"});
  EXPECT_EQ(connector.log.ports, std::vector<int>{80});
  EXPECT_EQ(connector.log.requests.at(0),
            "GET /update.php?p=Tastovolant HTTP/1.1\r\nHost: update.test\r\n"
            "User-Agent: Zorvane Updater (Tastovolant)\r\n\r\n");
}

TEST_F(UpdateCheck, PromptsOnlyWhenAListedFileIsMissingOrDiffers) {
  struct Case {
    std::string name;
    std::string manifest;
    bool prompt;
  };
  const std::string a = "a.dll|1|" + kMd5OfA + "||";
  const std::string empty = "empty.txt|0|" + kMd5OfNothing + "||";
  const std::vector<Case> cases = {
      {"every file the same", "ok|2.1.0|" + a + empty, false},
      {"a differing digest", "ok|2.1.0|a.dll|1|00000000000000000000000000000000||" + empty, true},
      {"an upper-case digest", "ok|2.1.0|a.dll|1|0CC175B9C0F1B6A831C399E269772661||", true},
      {"a missing file", "ok|2.1.0|" + a + "gone.dll|1|" + kMd5OfA + "||", true},
      {"an empty file compared by the digest of nothing", "ok|2.1.0|" + empty, false},
      {"a line break becomes part of the next name", "ok|2.1.0|" + a + "\r\n" + empty, true},
      {"several differing files", "ok|2.1.0|x|1|y||z|1|w||a.dll|1|v||", true},
      {"answer word in capitals", "OK|2.1.0|gone.dll|1|x||", true},
      {"answer word with spaces", " ok |2.1.0|gone.dll|1|x||", true},
      {"answer word with a line break", "ok\n|2.1.0|gone.dll|1|x||", false},
      {"another answer word", "no|2.1.0|gone.dll|1|x||", false},
      {"no bar at all", "ok", false},
      {"no double bar, so no entries", "ok|2.1.0|gone.dll|1|x", false},
      {"no entries", "ok|2.1.0|", false},
      {"the manifest ends at a NUL", "ok|2.1.0|" + a + "\0gone.dll|1|x||"s, false},
  };
  for (const Case& c : cases) {
    ui.messages.clear();
    Serve(c.manifest);
    Run();
    EXPECT_EQ(ui.messages.size(), c.prompt ? 1u : 0u) << c.name;
  }
  EXPECT_TRUE(shell.opened.empty());
  EXPECT_TRUE(shell.started.empty());
}

TEST_F(UpdateCheck, AMissingFileIsNotDigested) {
  Serve("ok|2.1.0|gone.dll|1|" + kMd5OfA + "||a.dll|1|" + kMd5OfA + "||");
  Run();
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(std::count(files.digested.begin(), files.digested.end(), "gone.dll"), 0);
}

TEST_F(UpdateCheck, EndsSilentlyWhenTheManifestCantBeHad) {
  struct Case {
    std::string name;
    std::string site;
    std::vector<fakes::ConnectionScript> scripts;
  };
  const std::string differing = "ok|2.1.0|gone.dll|1|x||";
  const std::vector<Case> cases = {
      {"no site address", "", {Answering(AnswerWith(200, differing))}},
      {"no server", kSite, {}},
      {"a 404, whatever its body", kSite, {Answering(AnswerWith(404, differing))}},
      {"a 301 is no 200", kSite, {Answering(AnswerWith(301, differing))}},
      {"a manifest over 1 MiB", kSite, {Answering("HTTP/1.1 200 OK\r\nContent-Length: 2000000\r\n\r\n" + differing)}},
  };
  for (const Case& c : cases) {
    connector.scripts.assign(c.scripts.begin(), c.scripts.end());
    Run(c.site);
    EXPECT_TRUE(ui.messages.empty()) << c.name;
    EXPECT_TRUE(files.digested.empty()) << c.name;
  }
  EXPECT_EQ(std::count(connector.log.hosts.begin(), connector.log.hosts.end(), ""), 0);  // no site: no connect
  EXPECT_EQ(connector.log.opened, connector.log.closed);
}

TEST_F(UpdateCheck, ARedirectToAnotherServerIsFollowed) {
  connector.scripts.push_back(Answering("HTTP/1.1 302 Found\r\nLocation: http://mirror.test/m.txt\r\n\r\n"));
  Serve("ok|2.1.0|gone.dll|1|x||");
  Run();
  EXPECT_EQ(connector.log.hosts, (std::vector<std::string>{"update.test", "mirror.test"}));
  EXPECT_EQ(ui.messages.size(), 1u);
}

TEST_F(UpdateCheck, WithoutAnUpdaterTheDownloadPromptIsShown) {
  for (const bool updaterEmpty : {false, true}) {
    ui.messages.clear();
    if (updaterEmpty) files.files["Update.exe"] = {0, kMd5OfNothing};  // an empty updater counts as none
    Serve("ok|2.1.0|gone.dll|1|x||");
    Run();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "Tastovolant");
    EXPECT_EQ(ui.messages[0].text, kDownloadPrompt);
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(ui.messages[0].buttons, MessageButtons::YesNo);
  }
  // Answered No: nothing more happens.
  EXPECT_TRUE(shell.opened.empty());
  EXPECT_FALSE(EndRequested());
}

TEST_F(UpdateCheck, YesToTheDownloadPromptOpensTheDownloadPageAndEndsTheProgram) {
  ui.answers.push_back(MessageAnswer::Yes);
  shell.failStart = true;
  Serve("ok|2.1.0|gone.dll|1|x||");
  Run();
  EXPECT_EQ(shell.opened, std::vector<std::string>{"http://update.test/software.php?name=Tastovolant"});
  EXPECT_TRUE(shell.started.empty());
  EXPECT_TRUE(EndRequested());
}

TEST_F(UpdateCheck, WithAnUpdaterTheUpdatePromptIsShownAndYesStartsIt) {
  files.files["Update.exe"] = {4096, "whatever"};
  for (const MessageAnswer answer : {MessageAnswer::No, MessageAnswer::Yes}) {
    ui.messages.clear();
    ui.answers.push_back(answer);
    Serve("ok|2.1.0|gone.dll|1|x||");
    Run();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "Tastovolant");
    EXPECT_EQ(ui.messages[0].text, kUpdatePrompt);
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Question);
    EXPECT_EQ(ui.messages[0].buttons, MessageButtons::YesNo);
  }
  EXPECT_EQ(shell.started, std::vector<std::string>{"Update.exe da"});
  EXPECT_TRUE(shell.opened.empty());
  EXPECT_FALSE(EndRequested());  // the program goes on running beside the updater
}

TEST_F(UpdateCheck, TheVersionIsShownAsTheManifestWritesIt) {
  Serve("ok| 3.0 \344 beta |gone.dll|1|x||");
  Run();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Wollen Sie Tastovolant Version  3.0 \344 beta  downloaden?");
}

TEST_F(UpdateCheck, RunsOnItsOwnThread) {
  Serve("ok|2.1.0|gone.dll|1|x||");
  std::thread checker(UpdateChecker, Ports(), kSite);
  checker.join();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, kDownloadPrompt);
}

// ---- the native digest port and the check against real files ---------------------------------

struct TempFolder {
  std::filesystem::path path;
  TempFolder() {
    std::random_device random;
    path = std::filesystem::temp_directory_path() / ("tastovolant_digest_" + std::to_string(random()));
    std::filesystem::create_directories(path);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string Write(const std::string& name, const std::string& contents) const {
    std::ofstream(path / name, std::ios::binary) << contents;
    return (path / name).string();
  }
};

TEST(OpenSslFileDigest, GivesSizeAndMd5OfOrdinaryFilesOnly) {
  TempFolder folder;
  OpenSslFileDigest digest;
  struct Case {
    std::string name;
    std::int64_t size;
    std::string md5;
  };
  const std::vector<Case> cases = {
      {folder.Write("empty", ""), 0, kMd5OfNothing},
      {folder.Write("abc", "abc"), 3, "900150983cd24fb0d6963f7d28e17f72"},
      {folder.Write("million", std::string(1000000, 'a')), 1000000, "7707d6ae4e027c70eea2a935c2296f21"},
      {(folder.path / "missing").string(), -1, ""},
      {folder.path.string(), -1, ""},  // a directory
      {"/dev/null", -1, ""},           // a device
      {"", -1, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(digest.FileSize(c.name), c.size) << c.name;
    EXPECT_EQ(digest.Md5OfFile(c.name), c.md5) << c.name;
  }
}

TEST(UpdateCheckOnRealFiles, ADirectoryOrAMissingFileDiffersAnEqualFileDoesNot) {
  TempFolder folder;
  const std::string same = folder.Write("same.dll", "a");
  std::filesystem::create_directory(folder.path / "folder.dll");
  const std::string entrySame = same + "|1|" + kMd5OfA + "||";
  struct Case {
    std::string entries;
    bool prompt;
  };
  const std::vector<Case> cases = {
      {entrySame, false},
      {entrySame + (folder.path / "folder.dll").string() + "|0|" + kMd5OfNothing + "||", true},
      {entrySame + (folder.path / "missing.dll").string() + "|0|" + kMd5OfNothing + "||", true},
  };
  for (const Case& c : cases) {
    fakes::FakeUi ui;
    fakes::FakeShell shell;
    fakes::ScriptedConnector connector({Answering(AnswerWith(200, "ok|2.1.0|" + c.entries))});
    OpenSslFileDigest files;
    FetchOptions options;
    options.pause = [](int) {};
    CheckForUpdates({ui, shell, connector, files}, kSite, options);
    EXPECT_EQ(ui.messages.size(), c.prompt ? 1u : 0u) << c.entries;
  }
}

}  // namespace
}  // namespace tv
