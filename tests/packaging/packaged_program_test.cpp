// The packaged program, started the way a user starts it: from the folder the zip unpacks to, or
// from the Start menu shortcut the installer made. tests/packaging/packaging_test.py runs one test
// at a time with the folder (and shortcut) in the environment:
//   TASTOVOLANT_DIR       the folder that holds Tastovolant.exe and GFX\ (the e2e support reads it)
//   TASTOVOLANT_SHORTCUT  the shortcut to start the program by
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>
#include <winternl.h>

#include <cstddef>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "e2e/e2e_support.h"

namespace tv::e2e {
namespace {

using namespace std::chrono_literals;

constexpr int kAllowAllBox = 9;
constexpr int kStartServerButton = 17;
constexpr int kPortField = 16;

// A folder as a comparable text: no trailing separator, lower case.
std::wstring Folder(std::wstring path) {
  while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  for (wchar_t& c : path) c = static_cast<wchar_t>(towlower(c));
  return path;
}

std::string Utf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                       nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

std::string FileBytes(const std::wstring& path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The start of the process parameters block as the system lays it out on x64 (winternl.h names
// only a few of its fields): the working directory is the DOS path of CurrentDirectory.
struct ProcessParametersStart {
  ULONG maximumLength;
  ULONG length;
  ULONG flags;
  ULONG debugFlags;
  HANDLE consoleHandle;
  ULONG consoleFlags;
  HANDLE standardInput;
  HANDLE standardOutput;
  HANDLE standardError;
  UNICODE_STRING currentDirectory;
  HANDLE currentDirectoryHandle;
};
static_assert(offsetof(ProcessParametersStart, currentDirectory) == 0x38);

using QueryInformationProcess = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);

// The working directory of another process, read from its process parameters.
std::optional<std::wstring> WorkingDirectoryOf(HANDLE process) {
  const auto query = reinterpret_cast<QueryInformationProcess>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
  PROCESS_BASIC_INFORMATION basic{};
  if (!query || query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0) return std::nullopt;
  const auto read = [&](const void* address, void* into, SIZE_T size) {
    SIZE_T done = 0;
    return ReadProcessMemory(process, address, into, size, &done) && done == size;
  };
  PRTL_USER_PROCESS_PARAMETERS parameters = nullptr;
  ProcessParametersStart start{};
  if (!read(reinterpret_cast<const char*>(basic.PebBaseAddress) + offsetof(PEB, ProcessParameters), &parameters,
            sizeof parameters) ||
      !read(parameters, &start, sizeof start)) {
    return std::nullopt;
  }
  std::wstring path(start.currentDirectory.Length / sizeof(wchar_t), L'\0');
  if (!read(start.currentDirectory.Buffer, path.data(), start.currentDirectory.Length)) return std::nullopt;
  return path;
}

std::optional<std::wstring> ImagePathOf(HANDLE process) {
  wchar_t path[MAX_PATH * 2];
  DWORD length = MAX_PATH * 2;
  if (!QueryFullProcessImageNameW(process, 0, path, &length)) return std::nullopt;
  return std::wstring(path, length);
}

// An HTTP GET on loopback; the body when the answer is a 200, read as far as its Content-Length.
std::optional<std::string> FetchFromLoopback(int port, const std::string& path) {
  const SOCKET connection = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (connection == INVALID_SOCKET) return std::nullopt;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const DWORD timeoutMs = 10000;
  setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
  std::string answer;
  if (connect(connection, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: packaging test\r\n\r\n";
    send(connection, request.data(), static_cast<int>(request.size()), 0);
    std::size_t wanted = std::string::npos;
    char buffer[16384];
    while (answer.size() < wanted) {
      const int got = recv(connection, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      answer.append(buffer, static_cast<std::size_t>(got));
      const std::size_t headEnd = answer.find("\r\n\r\n");
      if (wanted == std::string::npos && headEnd != std::string::npos) {
        const std::size_t at = answer.find("Content-Length: ");
        wanted = headEnd + 4 + (at < headEnd ? std::stoul(answer.substr(at + 16)) : 0);
      }
    }
  }
  closesocket(connection);
  const std::size_t headEnd = answer.find("\r\n\r\n");
  const bool ok = answer.compare(0, 7, "HTTP/1.") == 0 && answer.compare(8, 5, " 200 ") == 0;
  if (headEnd == std::string::npos || !ok) return std::nullopt;
  return answer.substr(headEnd + 4);
}

void ClickControl(HWND window, int number) {
  const RECT r = PlacedRect(GetDlgItem(window, number));
  ClickAt(window, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

// The program serves GFX\ from its working directory: lets everybody in, starts the server on a
// free port and fetches a button picture, which must be the file in `folder`.
void ExpectServesAGfxPicture(HWND window, const std::wstring& folder) {
  const WinsockSession winsock;
  SetForegroundWindow(window);
  ClickControl(window, kAllowAllBox);
  ASSERT_TRUE(WaitUntil([&] { return SendMessageW(GetDlgItem(window, kAllowAllBox), BM_GETCHECK, 0, 0) == BST_CHECKED; },
                        5s));
  const int port = FreePort();
  const std::wstring portText = std::to_wstring(port);
  SendMessageW(GetDlgItem(window, kPortField), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(portText.c_str()));
  ClickControl(window, kStartServerButton);
  ASSERT_TRUE(WaitUntil(
      [&] {
        wchar_t text[64] = {};
        GetWindowTextW(GetDlgItem(window, kStartServerButton), text, 64);
        return std::wstring(text) == L"Server beenden.";
      },
      10s))
      << "the server did not start";
  const std::string expected = FileBytes(folder + L"\\GFX\\pp_0.png");
  ASSERT_FALSE(expected.empty());
  const std::optional<std::string> served = FetchFromLoopback(port, "/GFX/pp_0.png");
  ASSERT_TRUE(served.has_value()) << "no 200 for /GFX/pp_0.png";
  EXPECT_TRUE(*served == expected) << "the served picture is not the one in GFX\\ (" << served->size() << " bytes)";
}

// What every start must show: the program that runs is the one in `folder`, it runs in that
// folder, and it serves the pictures of its GFX\.
void ExpectRunsFromItsFolder(HWND window, const std::wstring& folder) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
  ASSERT_NE(process, nullptr);
  const std::optional<std::wstring> image = ImagePathOf(process);
  const std::optional<std::wstring> workingDirectory = WorkingDirectoryOf(process);
  CloseHandle(process);
  ASSERT_TRUE(image.has_value());
  ASSERT_TRUE(workingDirectory.has_value());
  EXPECT_EQ(Folder(*image), Folder(folder + L"\\Tastovolant.exe")) << Utf8(*image);
  EXPECT_EQ(Folder(*workingDirectory), Folder(folder)) << Utf8(*workingDirectory);
  ExpectServesAGfxPicture(window, folder);
}

// A program started through the shell, as a double click on a shortcut starts it. The shell may
// start it through a helper of its own, so the program is found by its window, not by the
// process the shell hands back.
class ShellStartedProgram {
 public:
  ShellStartedProgram() = default;
  ShellStartedProgram(const ShellStartedProgram&) = delete;
  ShellStartedProgram& operator=(const ShellStartedProgram&) = delete;
  ~ShellStartedProgram() {
    if (!process_) return;
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_, 999);
      WaitForSingleObject(process_, 10000);
    }
    CloseHandle(process_);
  }

  [[nodiscard]] bool Start(const std::wstring& shortcut, std::chrono::milliseconds timeout) {
    SHELLEXECUTEINFOW start{};
    start.cbSize = sizeof start;
    start.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    start.lpVerb = L"open";
    start.lpFile = shortcut.c_str();
    start.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&start)) return false;
    if (start.hProcess) CloseHandle(start.hProcess);
    WaitUntil([&] { return (window_ = FindWindowW(nullptr, L"Tastovolant v.2.0.0")) != nullptr; }, timeout);
    if (!window_) return false;
    DWORD processId = 0;
    GetWindowThreadProcessId(window_, &processId);
    process_ = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE, FALSE,
                           processId);
    return process_ != nullptr && WaitUntil([&] { return IsWindowVisible(window_) != FALSE; }, timeout);
  }
  [[nodiscard]] HWND MainWindow() const { return window_; }
  [[nodiscard]] std::optional<DWORD> CloseAndWait(std::chrono::milliseconds timeout) const {
    PostMessageW(window_, WM_CLOSE, 0, 0);
    DWORD code = 0;
    if (WaitForSingleObject(process_, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process_, &code)) {
      return std::nullopt;
    }
    return code;
  }

 private:
  HANDLE process_ = nullptr;
  HWND window_ = nullptr;
};

TEST(PackagedProgram, StartsInItsFolderAndClosesWithExitCode200) {
  const std::wstring folder = ProgramDir();
  ASSERT_FALSE(folder.empty()) << "TASTOVOLANT_DIR names the program's folder";
  RunningProgram program;
  ASSERT_TRUE(program.Start()) << "no window titled \"Tastovolant v.2.0.0\" appeared";
  ExpectRunsFromItsFolder(program.MainWindow(), folder);
  program.RequestClose();
  EXPECT_EQ(program.WaitForExit(30s), std::optional<DWORD>(200));
}

TEST(PackagedProgram, StartsFromItsShortcutInTheInstallFolder) {
  const std::wstring folder = ProgramDir();
  const std::wstring shortcut = Environment(L"TASTOVOLANT_SHORTCUT");
  ASSERT_FALSE(folder.empty()) << "TASTOVOLANT_DIR names the install folder";
  ASSERT_FALSE(shortcut.empty()) << "TASTOVOLANT_SHORTCUT names the shortcut";
  ShellStartedProgram program;
  ASSERT_TRUE(program.Start(shortcut, 60s)) << "the shortcut started no window titled \"Tastovolant v.2.0.0\"";
  ExpectRunsFromItsFolder(program.MainWindow(), folder);
  EXPECT_EQ(program.CloseAndWait(30s), std::optional<DWORD>(200));
}

}  // namespace
}  // namespace tv::e2e
