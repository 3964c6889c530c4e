#pragma once
// The running program seen from outside, as another program on the PC could see it: its threads
// and handles through the system, its client log through the list view (whose records must live
// in the program's memory).
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"

namespace tv::e2e {

// The running program seen from outside: its threads, its handles and its client log.
class ProgramView {
 public:
  explicit ProgramView(DWORD processId)
      : processId_(processId),
        process_(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE,
                             FALSE, processId)) {
    if (process_) remote_ = VirtualAllocEx(process_, nullptr, kRemoteBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~ProgramView() {
    if (remote_) VirtualFreeEx(process_, remote_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
  }
  [[nodiscard]] bool Usable() const { return remote_ != nullptr; }

  [[nodiscard]] int Threads() const {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
      count += entry.th32OwnerProcessID == processId_;
    }
    CloseHandle(snapshot);
    return count;
  }
  // Wine keeps no per-process count for GetProcessHandleCount (it says 0), but lists every
  // handle of the system with its owner.
  [[nodiscard]] long Handles() const {
    DWORD count = 0;
    if (GetProcessHandleCount(process_, &count) && count > 0) return static_cast<long>(count);
    struct Entry {
      ULONG ownerProcessId;
      BYTE objectType, flags;
      USHORT handle;
      PVOID object;
      ACCESS_MASK access;
    };
    constexpr auto kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
    constexpr NTSTATUS kLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);
    std::vector<char> buffer(1 << 20);
    NTSTATUS status;
    ULONG length = 0;
    while ((status = NtQuerySystemInformation(kSystemHandleInformation, buffer.data(),
                                              static_cast<ULONG>(buffer.size()), &length)) == kLengthMismatch &&
           buffer.size() < (1u << 28)) {
      buffer.resize(buffer.size() * 2);
    }
    if (status != 0) return -1;
    ULONG entries = 0;
    std::memcpy(&entries, buffer.data(), sizeof entries);
    const auto* entry = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
    long mine = 0;
    for (ULONG i = 0; i < entries; ++i) mine += entry[i].ownerProcessId == processId_;
    return mine;
  }

  // A cell of the client log, asked of the list view with the item record in the program's memory.
  [[nodiscard]] std::wstring Cell(HWND list, int row, int column) const {
    return Ask(list, LVM_GETITEMTEXTW, row, column);
  }
  [[nodiscard]] std::wstring ColumnTitle(HWND list, int column) const { return Ask(list, LVM_GETCOLUMNW, column, -1); }
  [[nodiscard]] std::map<std::string, long long> RequestsPerAddress(HWND list) const {
    std::map<std::string, long long> counts;
    const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row)
      counts[Narrow(Cell(list, row, 1))] += std::wcstoll(Cell(list, row, 4).c_str(), nullptr, 10);
    return counts;
  }

 private:
  static constexpr std::size_t kRemoteBytes = 4096;
  static constexpr int kTextChars = 256;

  // `column` < 0: a column record (LVCOLUMNW) for column `index`; else an item record for row
  // `index`. The text buffer follows the record.
  std::wstring Ask(HWND list, UINT message, int index, int column) const {
    auto* text = static_cast<char*>(remote_) + 512;
    SIZE_T moved = 0;
    if (column >= 0) {
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = index;
      item.iSubItem = column;
      item.pszText = reinterpret_cast<wchar_t*>(text);
      item.cchTextMax = kTextChars;
      if (!WriteProcessMemory(process_, remote_, &item, sizeof item, &moved)) return {};
    } else {
      LVCOLUMNW record{};
      record.mask = LVCF_TEXT;
      record.pszText = reinterpret_cast<wchar_t*>(text);
      record.cchTextMax = kTextChars;
      if (!WriteProcessMemory(process_, remote_, &record, sizeof record, &moved)) return {};
    }
    const wchar_t nothing = 0;
    WriteProcessMemory(process_, text, &nothing, sizeof nothing, &moved);
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(list, message, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(remote_),
                             SMTO_ABORTIFHUNG, 5000, &result)) {
      return {};
    }
    wchar_t read[kTextChars] = {};
    if (!ReadProcessMemory(process_, text, read, sizeof read - sizeof(wchar_t), &moved)) return {};
    return read;
  }

  DWORD processId_;
  HANDLE process_;
  void* remote_ = nullptr;
};

}  // namespace tv::e2e
