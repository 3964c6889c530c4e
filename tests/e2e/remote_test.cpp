// The remote from the outside: the server button, requests over real sockets, and media keys
// witnessed by a low-level keyboard hook in this process, as another program on the PC would.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "assets/catalogue.h"
#include "e2e/e2e_support.h"

namespace tv::e2e {
namespace {

using namespace std::chrono_literals;

class Connection {
 public:
  explicit Connection(int port) : socket_(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    DWORD timeout = 5000;
    setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  }
  ~Connection() { closesocket(socket_); }
  bool Connected() const { return connected_; }
  void Send(const std::string& bytes) { send(socket_, bytes.data(), static_cast<int>(bytes.size()), 0); }
  // One answer: the head and the body it announces; empty when nothing came in time.
  std::string ReadAnswer() {
    std::string data;
    std::size_t wanted = std::string::npos;
    char buffer[16384];
    while (data.size() < wanted) {
      const int got = recv(socket_, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      data.append(buffer, static_cast<std::size_t>(got));
      const std::size_t end = data.find("\r\n\r\n");
      if (wanted == std::string::npos && end != std::string::npos) {
        const std::size_t at = data.find("Content-Length: ");
        wanted = end + 4 + (at < end ? std::stoul(data.substr(at + 16)) : 0);
      }
    }
    return data;
  }
  // True when the server closed its end (a read finds the end of the stream).
  bool ClosedByServer() {
    char byte;
    return recv(socket_, &byte, 1, 0) == 0;
  }

 private:
  SOCKET socket_;
  bool connected_ = false;
};

std::string Get(int port, const std::string& target) {
  Connection connection(port);
  if (!connection.Connected()) return {};
  connection.Send("GET " + target + " HTTP/1.1\r\nHost: test\r\nUser-Agent: e2e\r\n\r\n");
  return connection.ReadAnswer();
}

std::string Body(const std::string& answer) {
  const std::size_t end = answer.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

// Media keys as the system sees them, from a low-level hook on a thread of its own.
class KeyWitness {
 public:
  KeyWitness() {
    thread_ = std::thread([this] {
      self_ = this;
      HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, Hook, GetModuleHandleW(nullptr), 0);
      threadId_ = GetCurrentThreadId();
      ready_ = true;
      MSG message;
      while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      }
      UnhookWindowsHookEx(hook);
    });
    WaitUntil([this] { return ready_.load(); }, 5s);
  }
  ~KeyWitness() {
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    thread_.join();
  }
  // Each seen event of a media key: "down B3", "up B3".
  std::vector<std::string> Seen() {
    std::lock_guard guard(lock_);
    return seen_;
  }

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
      const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
      if (key->vkCode >= 0xAD && key->vkCode <= 0xB3) {
        char text[16];
        std::snprintf(text, sizeof text, "%s %02X", (key->flags & LLKHF_UP) ? "up" : "down",
                      static_cast<unsigned>(key->vkCode));
        std::lock_guard guard(self_->lock_);
        self_->seen_.push_back(text);
      }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static inline KeyWitness* self_ = nullptr;
  std::thread thread_;
  std::atomic<bool> ready_{false};
  DWORD threadId_ = 0;
  std::mutex lock_;
  std::vector<std::string> seen_;
};

class Remote : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(program_.Start());
    window_ = program_.MainWindow();
    SetForegroundWindow(window_);
  }
  void TearDown() override {
    program_.RequestClose();
    EXPECT_EQ(program_.WaitForExit(30s), std::optional<DWORD>(200));
  }
  void SetPort(int port) {
    const std::wstring text = std::to_wstring(port);
    SendMessageW(GetDlgItem(window_, 16), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  std::wstring ButtonText() {
    wchar_t text[64] = {};
    GetWindowTextW(GetDlgItem(window_, 17), text, 64);
    return text;
  }
  // Clicks by message: the mouse path is the main window tests' subject, and a posted click
  // cannot be lost to a window that is not in front yet.
  void PressServerButton() { PostMessageW(GetDlgItem(window_, 17), BM_CLICK, 0, 0); }
  bool StartServer(int port) {
    SetPort(port);
    PressServerButton();
    if (WaitUntil([&] { return ButtonText() == L"Server beenden."; }, 5s)) return true;
    ADD_FAILURE() << "the server did not start on port " << port << "; " << OpenMessageBoxReport(program_.ProcessId());
    return false;
  }
  void TickAllowAll() {
    PostMessageW(GetDlgItem(window_, 9), BM_CLICK, 0, 0);
    WaitUntil([&] { return SendMessageW(GetDlgItem(window_, 9), BM_GETCHECK, 0, 0) == BST_CHECKED; }, 5s);
  }

  WinsockSession winsock_;
  RunningProgram program_;
  HWND window_ = nullptr;
};

TEST_F(Remote, APhoneGetsThePageAndItsPressesBecomeMediaKeys) {
  const int port = FreePort();
  ASSERT_TRUE(StartServer(port));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window_, 16))) << "the port can't change while the server runs";

  // Nobody is admitted before a box is ticked.
  EXPECT_EQ(Body(Get(port, "/")), assets::AsText(assets::kRefusalPage));
  KeyWitness witness;
  EXPECT_NE(Body(Get(port, "/host?m=pp")).find("ZUGRIFF VERWEIGERT!"), std::string::npos);

  TickAllowAll();
  EXPECT_EQ(Body(Get(port, "/")), assets::AsText(assets::kMainPage));
  char host[256] = {};
  gethostname(host, sizeof host);
  const std::string frame = Get(port, "/host?m=pp");
  EXPECT_NE(Body(frame).find(host), std::string::npos) << frame;
  EXPECT_NE(frame.find("Content-Length: " + std::to_string(335 + std::strlen(host)) + "\r\n"), std::string::npos);
  EXPECT_TRUE(WaitUntil([&] { return witness.Seen().size() >= 2; }, 5s));
  EXPECT_EQ(witness.Seen(), (std::vector<std::string>{"down B3", "up B3"}));

  // The button pictures come from GFX/ beside the program.
  const std::string picture = Get(port, "/GFX/pp_0.png");
  EXPECT_NE(picture.find("Content-Type: image/png"), std::string::npos);
  EXPECT_EQ(Body(picture).substr(1, 3), "PNG");
}

// The pane's controls with numbers of the platform's own (the rows'), in creation order.
std::vector<HWND> RowControls(HWND pane) {
  std::vector<std::pair<int, HWND>> controls;
  for (HWND child = GetWindow(pane, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (GetDlgCtrlID(child) > 17) controls.emplace_back(GetDlgCtrlID(child), child);
  }
  std::sort(controls.begin(), controls.end());
  std::vector<HWND> windows;
  for (auto& [number, window] : controls) windows.push_back(window);
  return windows;
}

TEST_F(Remote, AListedAddressIsLetInUntilItsRowIsRemoved) {
  const int port = FreePort();
  ASSERT_TRUE(StartServer(port));
  PostMessageW(GetDlgItem(window_, 10), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return SendMessageW(GetDlgItem(window_, 10), BM_GETCHECK, 0, 0) == BST_CHECKED; }, 5s));
  EXPECT_EQ(Body(Get(port, "/")), assets::AsText(assets::kRefusalPage)) << "an empty list lets nobody in";

  HWND pane = FindPane(window_);
  PostMessageW(GetDlgItem(pane, 13), BM_CLICK, 0, 0);
  std::vector<HWND> row;
  ASSERT_TRUE(WaitUntil([&] { return (row = RowControls(pane)).size() == 3; }, 10s));
  SendMessageW(row[0], IPM_SETADDRESS, 0, MAKEIPADDRESS(127, 0, 0, 2));
  EXPECT_EQ(Body(Get(port, "/")), assets::AsText(assets::kRefusalPage)) << "127.0.0.1 is not listed";
  SendMessageW(row[0], IPM_SETADDRESS, 0, MAKEIPADDRESS(127, 0, 0, 1));
  EXPECT_EQ(Body(Get(port, "/")), assets::AsText(assets::kMainPage));

  PostMessageW(row[2], BM_CLICK, 0, 0);  // the row's remove button
  ASSERT_TRUE(WaitUntil([&] { return RowControls(pane).empty(); }, 10s));
  EXPECT_EQ(Body(Get(port, "/")), assets::AsText(assets::kRefusalPage));
}

TEST_F(Remote, StoppingTheServerClosesItsConnections) {
  const int port = FreePort();
  ASSERT_TRUE(StartServer(port));
  Connection kept(port);
  ASSERT_TRUE(kept.Connected());
  Sleep(100);
  PressServerButton();
  ASSERT_TRUE(WaitUntil([&] { return ButtonText() == L"Server starten."; }, 5s));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window_, 16)));
  EXPECT_TRUE(kept.ClosedByServer());
  Connection refused(port);
  EXPECT_FALSE(refused.Connected());
}

TEST_F(Remote, APortInUseIsNamedInAMessage) {
  SOCKET busy = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  bind(busy, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(busy, 1);
  int length = sizeof address;
  getsockname(busy, reinterpret_cast<sockaddr*>(&address), &length);
  const int port = ntohs(address.sin_port);

  SetPort(port);
  PressServerButton();
  HWND box = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (box = FindMessageBox(program_.ProcessId())) != nullptr; }, 10s));
  EXPECT_EQ(MessageBoxTitle(box), L"Fehler");
  EXPECT_EQ(MessageBoxText(box),
            L"Es konnte kein Server auf Port: " + std::to_wstring(port) +
                L" erstellt werden.\nVielleicht wird der Port durch ein anderes Programm blockiert?");
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 5s));
  closesocket(busy);
  EXPECT_EQ(ButtonText(), L"Server starten.");
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window_, 16)));
}

}  // namespace
}  // namespace tv::e2e

namespace tv::e2e {
namespace {

std::string ReadWholeFile(const std::wstring& path) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return {};
  std::string text;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
  std::fclose(file);
  return text;
}

// Run by tests/browser/run.sh, which drives Chromium against the program while this waits.
TEST_F(Remote, BrowserDriven) {
  const std::wstring dir = Environment(L"TASTOVOLANT_BROWSER_DIR");
  if (dir.empty()) GTEST_SKIP() << "run by tests/browser/run.sh";
  const int port = FreePort();
  ASSERT_TRUE(StartServer(port));
  TickAllowAll();
  KeyWitness witness;
  {
    const std::wstring partial = dir + L"\\port.part";
    FILE* file = _wfopen(partial.c_str(), L"wb");
    ASSERT_NE(file, nullptr);
    std::fprintf(file, "%d\n", port);
    std::fclose(file);
    MoveFileW(partial.c_str(), (dir + L"\\port").c_str());
  }
  std::string result;
  ASSERT_TRUE(WaitUntil(
      [&] {
        result = ReadWholeFile(dir + L"\\result.json");
        return !result.empty();
      },
      120s))
      << "the browser gave no result";
  char host[256] = {};
  gethostname(host, sizeof host);
  EXPECT_NE(result.find("\"pictures\":7"), std::string::npos) << result;
  EXPECT_NE(result.find(std::string("\"frameText\":\"") + host + "\""), std::string::npos) << result;
  EXPECT_NE(result.find("\"error\":\"\""), std::string::npos) << result;
  EXPECT_TRUE(WaitUntil([&] { return witness.Seen().size() >= 2; }, 5s));
  EXPECT_EQ(witness.Seen(), (std::vector<std::string>{"down B3", "up B3"}));
}

}  // namespace
}  // namespace tv::e2e
