#pragma once
// The windowing port: numbered windows and controls, the event wait, the pointer and modal
// message boxes, in the program's own terms. Texts are ISO-8859-1.
//
// Thread rules: windows and controls are created, shown and destroyed on the main thread only.
// Everything a worker thread may call is marked so below, and such calls never wait for the
// main thread (the main thread may be holding a lock the worker holds too).
#include <memory>
#include <string>
#include <string_view>

#include "platform/image.h"

namespace tv {

// Windows of the program.
inline constexpr int kMainWindow = 0;
inline constexpr int kAddressListPane = 1;

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
};

enum class EventKind {
  None,          // the wait timed out
  Control,       // a control raised its event (a button or check box was operated)
  LeftButtonUp,  // the left button was released over a part of the program that is no control
  CloseRequest,  // the user asked to close the main window
  Other,         // any other message of the program's queue
};

struct UiEvent {
  EventKind kind = EventKind::None;
  int control = 0;  // with EventKind::Control: the control's number
};

// Pointer position in the main window's client area, -1 for each while it is outside.
struct PointerState {
  int x = -1;
  int y = -1;
  bool leftButtonDown = false;
};

enum class MessageIcon { None, Error, Information, Question };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

class Ui {
 public:
  virtual ~Ui() = default;

  // Windowing and the common controls, before any window exists.
  virtual void Initialise() = 0;

  // The main window, hidden, with the given client size, centred on the screen; title bar with
  // the system menu and close box, fixed frame, the program's icon.
  [[nodiscard]] virtual bool OpenMainWindow(std::string_view title, int clientWidth, int clientHeight) = 0;
  // The window's background becomes `image`, tiled from the client area's top-left corner.
  virtual void SetWindowBackdrop(int window, std::shared_ptr<const Image> image) = 0;
  virtual void ShowMainWindow() = 0;
  [[nodiscard]] virtual bool MainWindowIsForeground() = 0;
  virtual void BringMainWindowToForeground() = 0;

  // A picture control; a disabled one raises no control event and looks as when enabled. A
  // picture with alpha is blended over the window background behind the control.
  [[nodiscard]] virtual bool CreatePicture(int window, int control, Rect rect, bool disabled) = 0;
  // Shows `picture` (or none) in a picture control. Any thread.
  virtual void SetPicture(int control, std::shared_ptr<const Image> picture) = 0;

  // Waits at most `timeoutMs` for the next message of the program's queue and handles it.
  [[nodiscard]] virtual UiEvent WaitEvent(int timeoutMs) = 0;
  [[nodiscard]] virtual PointerState Pointer() = 0;

  // A modal box owned by the main window (or by none while there is none).
  virtual MessageAnswer ShowMessage(std::string_view title, std::string_view text, MessageIcon icon,
                                    MessageButtons buttons) = 0;
};

}  // namespace tv
