// Drives the real Tastovolant.exe for the benchmarks, as the end-to-end tests do: starts it in its
// folder (TASTOVOLANT_DIR; TASTOVOLANT_EXE may name another exe there), sets the port, starts the server and ticks
// "allow everybody", then answers commands on its standard input while the load comes from elsewhere. It installs no
// keyboard hook, so no hook slows the program's key presses.
//
//   bench_driver.exe PORT
//
// Prints "ready winpid=N" once the server runs and admits everybody. Commands, one a line:
//   count  the client log's request count ("Anfragen") for 127.0.0.1, once it has settled
//   quit   closes the program as its close box does and prints its exit code; so does the end of input
// Without a command for 15 minutes it quits by itself.
#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr int kClientLog = 8;
constexpr int kAllowAllBox = 9;
constexpr int kPortSpin = 16;
constexpr int kServerButton = 17;
constexpr int kAddressColumn = 1;
constexpr int kRequestsColumn = 4;

template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (!condition()) {
    if (GetTickCount64() >= deadline) return false;
    Sleep(20);
  }
  return true;
}

struct FindContext {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindMainWindow(HWND window, LPARAM context) {
  auto* find = reinterpret_cast<FindContext*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t title[64] = {};
  GetWindowTextW(window, title, 64);
  if (owner == find->processId && std::wcscmp(title, L"Tastovolant v.2.0.0") == 0 && IsWindowVisible(window)) {
    find->found = window;
    return FALSE;
  }
  return TRUE;
}

struct FindBox {
  DWORD processId;
  HWND box;
};

BOOL CALLBACK FindMessageBox(HWND window, LPARAM context) {
  auto* find = reinterpret_cast<FindBox*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t className[32] = {};
  GetClassNameW(window, className, 32);
  if (owner == find->processId && std::wcscmp(className, L"#32770") == 0 && IsWindowVisible(window)) {
    find->box = window;
    return FALSE;
  }
  return TRUE;
}

std::wstring ButtonText(HWND window) {
  wchar_t text[64] = {};
  GetWindowTextW(GetDlgItem(window, kServerButton), text, 64);
  return text;
}

// Reads cells of the program's client log: the list view lives in the other process, so the
// item record and the text buffer it fills must live there too.
class RemoteLog {
 public:
  RemoteLog(HANDLE process, HWND list) : process_(process), list_(list) {
    memory_ = static_cast<char*>(
        VirtualAllocEx(process_, nullptr, sizeof(LVITEMW) + kChars * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE));
  }
  ~RemoteLog() {
    if (memory_) VirtualFreeEx(process_, memory_, 0, MEM_RELEASE);
  }
  int Rows() const { return static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0)); }
  std::wstring Cell(int row, int column) const {
    if (!memory_) return {};
    LVITEMW item{};
    item.iSubItem = column;
    item.cchTextMax = kChars;
    item.pszText = reinterpret_cast<wchar_t*>(memory_ + sizeof(LVITEMW));
    SIZE_T done = 0;
    if (!WriteProcessMemory(process_, memory_, &item, sizeof item, &done)) return {};
    const LRESULT length =
        SendMessageW(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(memory_));
    wchar_t text[kChars] = {};
    if (length <= 0 || !ReadProcessMemory(process_, item.pszText, text, sizeof text, &done)) return {};
    text[kChars - 1] = L'\0';
    return text;
  }
  // The request count of an address's row; 0 while it has none.
  long long RequestsOf(const std::wstring& address) const {
    for (int row = 0, rows = Rows(); row < rows; ++row) {
      if (Cell(row, kAddressColumn) == address) return std::wcstoll(Cell(row, kRequestsColumn).c_str(), nullptr, 10);
    }
    return 0;
  }

 private:
  static constexpr int kChars = 128;
  HANDLE process_;
  HWND list_;
  char* memory_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_driver.exe PORT\n");
    return 2;
  }
  const std::string port = argv[1];
  if (std::atoi(port.c_str()) < 1 || std::atoi(port.c_str()) > 65535) {
    std::fprintf(stderr, "bench_driver: no port: %s\n", port.c_str());
    return 2;
  }
  wchar_t dir[1024] = {};
  if (!GetEnvironmentVariableW(L"TASTOVOLANT_DIR", dir, 1024)) {
    std::fprintf(stderr, "bench_driver: TASTOVOLANT_DIR names the program's folder\n");
    return 2;
  }
  // TASTOVOLANT_EXE may name another build of the program in the same folder.
  wchar_t exe[256] = L"Tastovolant.exe";
  GetEnvironmentVariableW(L"TASTOVOLANT_EXE", exe, 256);
  std::wstring commandLine = L"\"" + std::wstring(dir) + L"\\" + exe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, dir, &startup, &process)) {
    std::fprintf(stderr, "bench_driver: cannot start the program\n");
    return 1;
  }
  const auto fail = [&](const char* what) {
    std::fprintf(stderr, "bench_driver: %s\n", what);
    TerminateProcess(process.hProcess, 999);
    return 1;
  };
  HWND window = nullptr;
  if (!WaitUntil(
          [&] {
            FindContext find{process.dwProcessId, nullptr};
            EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&find));
            window = find.found;
            return window != nullptr;
          },
          60000)) {
    return fail("the main window did not appear");
  }
  SetForegroundWindow(window);
  const std::wstring portText(port.begin(), port.end());
  SendMessageW(GetDlgItem(window, kPortSpin), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(portText.c_str()));
  PostMessageW(GetDlgItem(window, kServerButton), BM_CLICK, 0, 0);
  if (!WaitUntil([&] { return ButtonText(window) == L"Server beenden."; }, 30000)) {
    // Most likely the program said why in a message box.
    FindBox find{process.dwProcessId, nullptr};
    EnumWindows(FindMessageBox, reinterpret_cast<LPARAM>(&find));
    wchar_t text[512] = {};
    if (find.box) SendMessageW(GetDlgItem(find.box, 0xFFFF), WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    std::fprintf(stderr, "bench_driver: the server did not start on port %s%s%ls\n", port.c_str(),
                 find.box ? "; the program says: " : "", text);
    return fail("giving up");
  }
  PostMessageW(GetDlgItem(window, kAllowAllBox), BM_CLICK, 0, 0);
  if (!WaitUntil([&] { return SendMessageW(GetDlgItem(window, kAllowAllBox), BM_GETCHECK, 0, 0) == BST_CHECKED; },
                 30000)) {
    return fail("the allow-all box did not tick");
  }
  std::printf("ready winpid=%lu\n", static_cast<unsigned long>(process.dwProcessId));
  std::fflush(stdout);

  // The watchdog: a driver whose benchmark died ends the program and itself.
  static volatile LONG lastCommand = 0;
  std::thread([&process] {
    for (;;) {
      Sleep(10000);
      if (InterlockedIncrement(&lastCommand) > 90) {
        TerminateProcess(process.hProcess, 998);
        ExitProcess(4);
      }
    }
  }).detach();

  RemoteLog log(process.hProcess, GetDlgItem(window, kClientLog));
  char line[256];
  while (std::fgets(line, sizeof line, stdin)) {
    InterlockedExchange(&lastCommand, 0);
    if (std::strncmp(line, "count", 5) == 0) {
      // The handlers log after they answer, and the list learns its length from a posted
      // message: read until the count stays the same for a while.
      long long count = log.RequestsOf(L"127.0.0.1");
      int steady = 0;
      for (int i = 0; i < 100 && steady < 3; ++i) {
        Sleep(100);
        const long long now = log.RequestsOf(L"127.0.0.1");
        steady = now == count ? steady + 1 : 0;
        count = now;
      }
      std::printf("count=%lld\n", count);
      std::fflush(stdout);
    } else if (std::strncmp(line, "quit", 4) == 0) {
      break;
    }
  }
  PostMessageW(window, WM_CLOSE, 0, 0);
  DWORD code = 999;
  if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 999);
  } else {
    GetExitCodeProcess(process.hProcess, &code);
  }
  std::printf("exit=%lu\n", static_cast<unsigned long>(code));
  std::fflush(stdout);
  return 0;
}
