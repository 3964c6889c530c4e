#include "platform/win32/shell_win32.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/win32/latin1.h"

namespace tv {

void Win32Shell::OpenAddress(std::string_view address) {
  ShellExecuteW(nullptr, L"open", WideFromLatin1(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace tv
