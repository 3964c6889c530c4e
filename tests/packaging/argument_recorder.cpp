// Stands in for another program (netsh.exe in the packaging tests, where Wine has no firewall;
// Update.exe in the update tests): appends its arguments (the command line after the program's
// name) as one UTF-8 line to the file that TASTOVOLANT_RECORDER_LOG names, and ends with the exit
// code TASTOVOLANT_RECORDER_EXIT (1 when unset: a firewall that refuses, which the installer must
// survive).
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::wstring Environment(const wchar_t* name) {
  wchar_t value[4096];
  const DWORD length = GetEnvironmentVariableW(name, value, 4096);
  return length > 0 && length < 4096 ? std::wstring(value, length) : std::wstring();
}

// The command line without the program's own name, which comes first, quoted or not.
std::wstring Arguments(const wchar_t* line) {
  const wchar_t* at = line;
  if (*at == L'"') {
    at = std::wcschr(at + 1, L'"');
    at = at ? at + 1 : line + std::wcslen(line);
  } else {
    while (*at && *at != L' ' && *at != L'\t') ++at;
  }
  while (*at == L' ' || *at == L'\t') ++at;
  return at;
}

}  // namespace

int main() {
  const std::wstring log = Environment(L"TASTOVOLANT_RECORDER_LOG");
  const std::wstring exitCode = Environment(L"TASTOVOLANT_RECORDER_EXIT");
  if (!log.empty()) {
    const std::wstring arguments = Arguments(GetCommandLineW());
    const int size = WideCharToMultiByte(CP_UTF8, 0, arguments.c_str(), static_cast<int>(arguments.size()), nullptr,
                                         0, nullptr, nullptr);
    std::string line(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, arguments.c_str(), static_cast<int>(arguments.size()), line.data(), size, nullptr,
                        nullptr);
    line += '\n';
    if (FILE* file = _wfopen(log.c_str(), L"ab")) {
      std::fwrite(line.data(), 1, line.size(), file);
      std::fclose(file);
    }
  }
  return exitCode.empty() ? 1 : _wtoi(exitCode.c_str());
}
