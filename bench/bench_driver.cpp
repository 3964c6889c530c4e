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

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "e2e/e2e_support.h"
#include "e2e/program_view.h"

namespace {

using namespace std::chrono_literals;
using namespace tv::e2e;

constexpr int kClientLog = 8;
constexpr int kAllowAllBox = 9;
constexpr int kPortSpin = 16;
constexpr int kServerButton = 17;

std::wstring ButtonText(HWND window) {
  wchar_t text[64] = {};
  GetWindowTextW(GetDlgItem(window, kServerButton), text, 64);
  return text;
}

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
  if (ProgramDir().empty()) {
    std::fprintf(stderr, "bench_driver: TASTOVOLANT_DIR names the program's folder\n");
    return 2;
  }
  // TASTOVOLANT_EXE may name another build of the program in the same folder.
  std::wstring exe = Environment(L"TASTOVOLANT_EXE");
  if (exe.empty()) exe = L"Tastovolant.exe";
  RunningProgram program;  // ended by its destructor if it still runs when the driver gives up
  const auto fail = [](const std::string& what) {
    std::fprintf(stderr, "bench_driver: %s\n", what.c_str());
    return 1;
  };
  if (!program.Start(60s, {}, exe)) return fail("the main window did not appear");
  const HWND window = program.MainWindow();
  SetForegroundWindow(window);
  const std::wstring portText(port.begin(), port.end());
  SendMessageW(GetDlgItem(window, kPortSpin), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(portText.c_str()));
  PostMessageW(GetDlgItem(window, kServerButton), BM_CLICK, 0, 0);
  if (!WaitUntil([&] { return ButtonText(window) == L"Server beenden."; }, 30s)) {
    // Most likely the program said why in a message box.
    return fail("the server did not start on port " + port + "; " + OpenMessageBoxReport(program.ProcessId()));
  }
  PostMessageW(GetDlgItem(window, kAllowAllBox), BM_CLICK, 0, 0);
  if (!WaitUntil([&] { return SendMessageW(GetDlgItem(window, kAllowAllBox), BM_GETCHECK, 0, 0) == BST_CHECKED; },
                 30s)) {
    return fail("the allow-all box did not tick");
  }
  ProgramView view(program.ProcessId());
  if (!view.Usable()) return fail("cannot read the program's client log");
  std::printf("ready winpid=%lu\n", static_cast<unsigned long>(program.ProcessId()));
  std::fflush(stdout);

  // The watchdog: a driver whose benchmark died ends the program and itself.
  static volatile LONG lastCommand = 0;
  std::thread([processId = program.ProcessId()] {
    for (;;) {
      Sleep(10000);
      if (InterlockedIncrement(&lastCommand) > 90) {
        if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, processId)) TerminateProcess(process, 998);
        ExitProcess(4);
      }
    }
  }).detach();

  const HWND log = GetDlgItem(window, kClientLog);
  const auto requests = [&] { return view.RequestsPerAddress(log)["127.0.0.1"]; };
  char line[256];
  while (std::fgets(line, sizeof line, stdin)) {
    InterlockedExchange(&lastCommand, 0);
    if (std::strncmp(line, "count", 5) == 0) {
      // The handlers log after they answer, and the list learns its length from a posted
      // message: read until the count stays the same for a while.
      long long count = requests();
      int steady = 0;
      for (int i = 0; i < 100 && steady < 3; ++i) {
        Sleep(100);
        const long long now = requests();
        steady = now == count ? steady + 1 : 0;
        count = now;
      }
      std::printf("count=%lld\n", count);
      std::fflush(stdout);
    } else if (std::strncmp(line, "quit", 4) == 0) {
      break;
    }
  }
  program.RequestClose();
  const DWORD code = program.WaitForExit(30s).value_or(999);
  std::printf("exit=%lu\n", static_cast<unsigned long>(code));
  std::fflush(stdout);
  return 0;
}
