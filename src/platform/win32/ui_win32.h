#pragma once
#include <windows.h>

#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/ui.h"

namespace tv {

// The windowing port on Win32 and the common controls.
class Win32Ui final : public Ui {
 public:
  Win32Ui();
  ~Win32Ui() override;
  Win32Ui(const Win32Ui&) = delete;
  Win32Ui& operator=(const Win32Ui&) = delete;

  void Initialise() override;
  bool OpenMainWindow(std::string_view title, int clientWidth, int clientHeight) override;
  void SetWindowBackdrop(int window, std::shared_ptr<const Image> image) override;
  void ShowMainWindow() override;
  bool MainWindowIsForeground() override;
  void BringMainWindowToForeground() override;
  bool CreatePicture(int window, int control, Rect rect, bool disabled) override;
  void SetPicture(int control, std::shared_ptr<const Image> picture) override;
  UiEvent WaitEvent(int timeoutMs) override;
  PointerState Pointer() override;
  MessageAnswer ShowMessage(std::string_view title, std::string_view text, MessageIcon icon,
                            MessageButtons buttons) override;

  struct Backdrop;
  struct Picture;

 private:
  static LRESULT CALLBACK MainWindowProc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK PictureProc(HWND, UINT, WPARAM, LPARAM);
  HWND WindowFor(int window) const;
  Backdrop* BackdropFor(HWND window);

  HINSTANCE instance_ = nullptr;
  HWND mainWindow_ = nullptr;
  // Set while a message is dispatched, read right after.
  int pendingControl_ = 0;
  bool pendingClose_ = false;

  std::unordered_map<HWND, std::unique_ptr<Backdrop>> backdrops_;  // main thread only
  // Picture controls by number. Workers look pictures up here, so the map has its own lock; it
  // is never held while a message is sent.
  mutable std::mutex picturesLock_;
  std::unordered_map<int, std::unique_ptr<Picture>> pictures_;
};

}  // namespace tv
