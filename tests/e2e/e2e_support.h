#pragma once
// Drives the real Tastovolant.exe from a test process, as a user would: start it, find its
// window, look at it, close it.
#include <windows.h>

#include <chrono>
#include <optional>
#include <string>

#include "platform/image.h"

namespace tv::e2e {

// An environment variable's value, empty when it is not set.
[[nodiscard]] std::wstring Environment(const wchar_t* name);

// Winsock for the test process's own connections, while it lives.
struct WinsockSession {
  WinsockSession();
  ~WinsockSession();
};

// A port that the program can listen on right now, so that a test never meets another program's
// server (on port 80, say). Below the system's range of ports for outgoing connections: a port
// from that range may become some connection's own end between this check and the program's
// bind, and the bind then fails.
[[nodiscard]] int FreePort();

// The folder of Tastovolant.exe and GFX/, from TASTOVOLANT_DIR.
std::wstring ProgramDir();

// Latin-1 text from the wide text the program shows (each character taken as its low byte).
[[nodiscard]] std::string Narrow(const std::wstring& text);

class RunningProgram {
 public:
  RunningProgram() = default;
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;
  ~RunningProgram();  // ends a program that is still running

  // Starts the exe (Tastovolant.exe unless another is named) in its folder (the program folder
  // unless another is named) and waits for its main window.
  [[nodiscard]] bool Start(std::chrono::milliseconds timeout = std::chrono::seconds(60), std::wstring folder = {},
                           const std::wstring& exe = L"Tastovolant.exe");
  [[nodiscard]] HWND MainWindow() const { return window_; }
  // Asks the main window to close, as its close box does.
  void RequestClose() const;
  // The exit code, once the process has ended within the time-out.
  [[nodiscard]] std::optional<DWORD> WaitForExit(std::chrono::milliseconds timeout);
  [[nodiscard]] DWORD ProcessId() const { return process_.dwProcessId; }

 private:
  PROCESS_INFORMATION process_{};
  HWND window_ = nullptr;
};

// Polls `condition` until it holds or the time-out passes.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    Sleep(20);
  }
  return true;
}

// The address pane inside the main window.
[[nodiscard]] HWND FindPane(HWND mainWindow);
// A child's rectangle in its parent's client coordinates.
[[nodiscard]] RECT PlacedRect(HWND control);
// A real left click (press and release) at (x, y) of a window's client area.
void ClickAt(HWND window, int x, int y);
// Presses and releases one key.
void PressKey(WORD virtualKey, bool shift = false);
// The control that has the keyboard focus in the thread that owns `window`.
[[nodiscard]] HWND FocusedControl(HWND window);

// The visible message box of a process, or null.
[[nodiscard]] HWND FindMessageBox(DWORD processId);
// A message box's title and text.
[[nodiscard]] std::wstring MessageBoxTitle(HWND box);
[[nodiscard]] std::wstring MessageBoxText(HWND box);
// For a failure's message: "no message box", or the title and text of the one the program shows.
[[nodiscard]] std::string OpenMessageBoxReport(DWORD processId);

// What the screen shows of the window's client area.
[[nodiscard]] std::optional<Image> CaptureClientArea(HWND window);
// Saves a capture as build/screenshots/<name>.png (TASTOVOLANT_SCREENSHOTS); false on failure.
bool SaveScreenshot(const Image& image, const std::string& name);

}  // namespace tv::e2e
