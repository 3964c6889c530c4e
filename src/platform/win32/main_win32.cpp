// The Windows program: the real adapters, handed to the portable program.
#include "app/program.h"
#include "platform/win32/network_win32.h"
#include "platform/win32/shell_win32.h"
#include "platform/win32/text_win32.h"
#include "platform/win32/ui_win32.h"

#ifndef TASTOVOLANT_SITE
#error "TASTOVOLANT_SITE names the maker's web site; the build sets it"
#endif

int main() {
  tv::Win32Ui ui;
  tv::GdiTextRenderer text;
  tv::WinsockNetwork network;
  tv::Win32Shell shell;
  tv::Program program(tv::Ports{ui, text, network, shell}, tv::ProgramSettings{TASTOVOLANT_SITE});
  return program.Run();
}
