// The Windows program: the real adapters, handed to the portable program.
#include <windows.h>

#include "app/program.h"
#include "platform/win32/digest_win32.h"
#include "platform/win32/keys_win32.h"
#include "platform/win32/network_win32.h"
#include "platform/win32/shell_win32.h"
#include "platform/win32/tcp_client_win32.h"
#include "platform/win32/text_win32.h"
#include "platform/win32/thread_pool_win32.h"
#include "platform/win32/ui_win32.h"

#ifndef TASTOVOLANT_SITE
#error "TASTOVOLANT_SITE names the maker's web site; the build sets it"
#endif

int main() {
  tv::Win32Ui ui;
  tv::GdiTextRenderer text;
  tv::WinsockNetwork network;
  tv::Win32Shell shell;
  tv::WinsockTcpConnector connector;
  tv::BCryptFileDigest files;
  tv::Win32Keys keys;
  ui.SetActivityEvent(network.WatchActivity(), tv::WinsockSockets::ActivitySeen,
                      [&network] { return network.HasFoundEvents(); });
  tv::ProgramSettings settings{TASTOVOLANT_SITE};
  settings.startHandler = tv::StartPooledThread;
  tv::Program program(tv::Ports{ui, text, network, shell, connector, files, keys}, std::move(settings));
  const int exitCode = program.Run();
  // Background threads are never joined and may still use the adapters above: the process ends
  // here, with them, before anything is destroyed; the system releases what the program held.
  ExitProcess(static_cast<UINT>(exitCode));
}
