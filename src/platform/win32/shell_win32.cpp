#include "platform/win32/shell_win32.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "platform/win32/latin1.h"

namespace tv {

void Win32Shell::OpenAddress(std::string_view address) {
  ShellExecuteW(nullptr, L"open", WideFromLatin1(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool Win32Shell::StartProgram(std::string_view file, std::string_view parameters) {
  std::wstring commandLine = L"\"" + WideFromLatin1(file) + L"\" " + WideFromLatin1(parameters);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

}  // namespace tv
