// The update check of the real program against a manifest server on this machine's port 80 (the
// test build's maker's site is the loopback address): the prompts, and what each answer does.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "e2e/e2e_support.h"

namespace tv::e2e {
namespace {

using namespace std::chrono_literals;

// Answers every request for the manifest with `manifest`, anything else with a 404, until it
// goes out of scope.
class ManifestServer {
 public:
  explicit ManifestServer(std::string manifest) : manifest_(std::move(manifest)) {
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(80);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    listening_ =
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(listener_, 8) == 0;
    if (listening_) thread_ = std::thread([this] { Serve(); });
  }
  ~ManifestServer() {
    stop_ = true;
    closesocket(listener_);
    if (thread_.joinable()) thread_.join();
  }
  bool Listening() const { return listening_; }
  int Requests() const { return requests_; }

 private:
  void Serve() {
    while (!stop_) {
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(listener_, &readable);
      timeval wait{0, 100000};
      if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
      SOCKET client = accept(listener_, nullptr, nullptr);
      if (client == INVALID_SOCKET) continue;
      std::string head;
      char byte;
      DWORD timeout = 5000;
      setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
      while (head.find("\r\n\r\n") == std::string::npos && recv(client, &byte, 1, 0) == 1) head.push_back(byte);
      ++requests_;
      const bool manifest = head.starts_with("GET /update.php?p=Tastovolant HTTP/1.1\r\n");
      const std::string body = manifest ? manifest_ : "not here";
      const std::string answer = std::string(manifest ? "HTTP/1.1 200 OK" : "HTTP/1.1 404 Not Found") +
                                 "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
      send(client, answer.data(), static_cast<int>(answer.size()), 0);
      shutdown(client, SD_SEND);
      closesocket(client);
    }
  }
  std::string manifest_;
  SOCKET listener_ = INVALID_SOCKET;
  bool listening_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<int> requests_{0};
  std::thread thread_;
};

std::wstring ReadText(const std::wstring& path) {
  std::wstring text;
  if (FILE* file = _wfopen(path.c_str(), L"rb")) {
    for (int c; (c = std::fgetc(file)) != EOF;) text.push_back(static_cast<wchar_t>(c));
    std::fclose(file);
  }
  return text;
}

class UpdateCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"tastovolant_update_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder_.c_str(), nullptr);
    ASSERT_TRUE(
        CopyFileW((ProgramDir() + L"\\Tastovolant.exe").c_str(), (folder_ + L"\\Tastovolant.exe").c_str(), FALSE));
    // A listed file whose digest the manifest does not match.
    FILE* file = _wfopen((folder_ + L"\\data.bin").c_str(), L"wb");
    std::fputs("abc", file);
    std::fclose(file);
    // The download page opens in no real browser: the test run's Wine prefix opens addresses
    // with /bin/true (see scripts/test.sh).
  }
  void TearDown() override {
    for (const wchar_t* name : {L"Tastovolant.exe", L"data.bin", L"Update.exe", L"updater.log"}) {
      DeleteFileW((folder_ + L"\\" + name).c_str());
    }
    RemoveDirectoryW(folder_.c_str());
  }
  HWND WaitForPrompt(RunningProgram& program) {
    HWND box = nullptr;
    WaitUntil([&] { return (box = FindMessageBox(program.ProcessId())) != nullptr; }, 30s);
    return box;
  }

  WinsockSession winsock_;
  std::wstring folder_;
  ManifestServer server_{"ok|2.1.0|data.bin|3|00000000000000000000000000000000||"};
};

TEST_F(UpdateCheck, ADifferingFileOffersTheDownloadAndNoLeavesTheProgramRunning) {
  ASSERT_TRUE(server_.Listening()) << "port 80 of the loopback address is taken";
  RunningProgram program;
  ASSERT_TRUE(program.Start(60s, folder_));
  HWND box = WaitForPrompt(program);
  ASSERT_NE(box, nullptr) << "no prompt after " << server_.Requests() << " requests";
  EXPECT_EQ(MessageBoxTitle(box), L"Tastovolant");
  EXPECT_EQ(MessageBoxText(box), L"Wollen Sie Tastovolant Version 2.1.0 downloaden?");
  PostMessageW(box, WM_COMMAND, IDNO, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 5s));
  Sleep(300);
  EXPECT_FALSE(program.WaitForExit(0ms).has_value()) << "No ends only the check";
  program.RequestClose();
  EXPECT_EQ(program.WaitForExit(30s), std::optional<DWORD>(200));
}

TEST_F(UpdateCheck, YesToTheDownloadEndsTheProgramWithExitCode0) {
  ASSERT_TRUE(server_.Listening()) << "port 80 of the loopback address is taken";
  RunningProgram program;
  ASSERT_TRUE(program.Start(60s, folder_));
  HWND box = WaitForPrompt(program);
  ASSERT_NE(box, nullptr);
  PostMessageW(box, WM_COMMAND, IDYES, 0);
  EXPECT_EQ(program.WaitForExit(30s), std::optional<DWORD>(0));
}

TEST_F(UpdateCheck, WithAnUpdaterBesideItYesStartsItWithDa) {
  ASSERT_TRUE(server_.Listening()) << "port 80 of the loopback address is taken";
  const std::wstring recorder = Environment(L"TASTOVOLANT_RECORDER");
  ASSERT_FALSE(recorder.empty());
  ASSERT_TRUE(CopyFileW(recorder.c_str(), (folder_ + L"\\Update.exe").c_str(), FALSE));
  SetEnvironmentVariableW(L"TASTOVOLANT_RECORDER_LOG", (folder_ + L"\\updater.log").c_str());
  SetEnvironmentVariableW(L"TASTOVOLANT_RECORDER_EXIT", L"0");
  RunningProgram program;
  ASSERT_TRUE(program.Start(60s, folder_));
  HWND box = WaitForPrompt(program);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(MessageBoxText(box),
            L"Es sind Updates verf\u00fcgbar.\nWollen Sie Tastovolant beenden und ein Update auf "
            L"Version 2.1.0 ausf\u00fchren?");
  PostMessageW(box, WM_COMMAND, IDYES, 0);
  EXPECT_TRUE(WaitUntil([&] { return ReadText(folder_ + L"\\updater.log") == L"da\n"; }, 15s))
      << "the updater saw: "
      << std::string(ReadText(folder_ + L"\\updater.log").begin(), ReadText(folder_ + L"\\updater.log").end());
  EXPECT_FALSE(program.WaitForExit(0ms).has_value()) << "the program goes on after starting the updater";
  program.RequestClose();
  EXPECT_EQ(program.WaitForExit(30s), std::optional<DWORD>(200));
  SetEnvironmentVariableW(L"TASTOVOLANT_RECORDER_LOG", nullptr);
}

}  // namespace
}  // namespace tv::e2e
