#pragma once
#include <windows.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/ui.h"

namespace tv {

// The windowing port on Win32 and the common controls.
//
// Workers read and change controls while the main thread may be waiting for a lock they hold, so
// nothing a worker calls here waits for the main thread: box states, address values and scroll
// positions are mirrored in atomics that the main thread keeps current; moves are asynchronous;
// pictures are swapped under a small lock and repainted later; the client log is a model under its
// own lock that the virtual list view paints from.
class Win32Ui final : public Ui {
 public:
  Win32Ui();
  ~Win32Ui() override;
  Win32Ui(const Win32Ui&) = delete;
  Win32Ui& operator=(const Win32Ui&) = delete;

  // A handle that also ends the event wait when signalled (the network's activity event), what
  // to call whenever a wait ended with it signalled, and what tells that the network has found
  // work already, so that the next wait only looks at the queue.
  void SetActivityEvent(void* handle, std::function<void()> seen, std::function<bool()> workFound) {
    activity_ = handle;
    activitySeen_ = std::move(seen);
    workFound_ = std::move(workFound);
  }

  void Initialise() override;
  bool OpenMainWindow(std::string_view title, int clientWidth, int clientHeight) override;
  void SetWindowBackdrop(int window, std::shared_ptr<const Image> image) override;
  void ShowMainWindow() override;
  bool MainWindowIsForeground() override;
  void BringMainWindowToForeground() override;
  bool OpenPane(int window, Rect rect, std::string_view text) override;

  int CreateControl(int window, const ControlPlan& plan) override;
  void DestroyControl(int control) override;
  void EnableControl(int control, bool enabled) override;
  void SetButtonText(int control, std::string_view text) override;
  int SpinValue(int control) override;
  void SetChecked(int control, bool checked) override;
  void SetScrollPage(int control, int page) override;
  void SetScrollPosition(int control, int position) override;

  void SetPicture(int control, std::shared_ptr<const Image> picture) override;
  bool IsChecked(int control) override;
  std::uint32_t AddressValue(int control) override;
  int ScrollPosition(int control) override;
  void MoveControl(int control, int x, int y) override;
  int ControlTop(int control) override;
  void ShowControl(int control, bool shown) override;
  void RequestEnd(int exitCode) override;
  void EditClientLog(const std::function<void(ClientLogRows&)>& edit) override;

  UiEvent WaitEvent(int timeoutMs) override;
  PointerState Pointer() override;
  MessageAnswer ShowMessage(std::string_view title, std::string_view text, MessageIcon icon,
                            MessageButtons buttons) override;

  struct Backdrop;
  struct Control;

 private:
  static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK PictureProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT HandleCommand(HWND window, WPARAM wParam, LPARAM lParam);
  LRESULT HandleScroll(WPARAM wParam, LPARAM lParam);
  LRESULT HandleNotify(LPARAM lParam);
  HBRUSH BackgroundBrush(HWND parent, HWND control, HDC dc);
  HWND WindowFor(int window) const;
  Backdrop* BackdropFor(HWND window);
  Control* Find(int control);  // with controlsLock_ held
  void PaintPicture(Control& picture, HWND window);
  int NextAutoNumber();
  UiEvent TakePendingEvent();

  HINSTANCE instance_ = nullptr;
  HWND mainWindow_ = nullptr;
  HANDLE activity_ = nullptr;
  std::function<void()> activitySeen_;
  std::function<bool()> workFound_;
  // The pointer as last read, and whether mouse input or a move of the window may have changed
  // it since (main thread only).
  PointerState pointer_;
  bool pointerStale_ = true;
  ULONGLONG pointerReadAt_ = 0;
  std::chrono::steady_clock::time_point queueLookedAt_{};  // the last PeekMessage
  void NoteMessageForPointer(const MSG& message);
  HWND pane_ = nullptr;
  HWND clientLog_ = nullptr;
  HFONT controlFont_ = nullptr;
  // Control events and close requests raised while messages were handled, oldest first.
  std::deque<UiEvent> pendingEvents_;
  std::atomic<bool> endRequested_{false};
  std::atomic<int> endExitCode_{0};
  int nextAutoNumber_ = 1000;

  std::unordered_map<HWND, std::unique_ptr<Backdrop>> backdrops_;  // main thread only
  // Controls by number. Held only briefly and never while waiting for another thread.
  std::mutex controlsLock_;
  std::unordered_map<int, std::unique_ptr<Control>> controls_;

  std::mutex logLock_;  // guards logRows_ and what the list view has not been shown of them
  ClientLogRows logRows_;
  bool logChangesPosted_ = false;
  std::size_t logFirstChanged_ = 0, logLastChanged_ = 0;
  // Main thread only: the rows the list view knows of, and when it last painted changes.
  std::size_t logRowsShown_ = 0;
  ULONGLONG logShownAt_ = 0;
  void ShowLogChanges();
};

}  // namespace tv
