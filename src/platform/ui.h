#pragma once
// The windowing port: numbered windows and controls, the event wait, the pointer and modal
// message boxes, in the program's own terms. Texts are ISO-8859-1.
//
// Thread rules: windows and controls are created, shown and destroyed on the main thread only.
// Everything a worker thread may call is marked so below, and such calls never wait for the
// main thread (the main thread may be holding a lock the worker holds too).
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
  EndRequest,    // another thread asked the program to end (RequestEnd)
  Other,         // any other message of the program's queue
};

struct UiEvent {
  EventKind kind = EventKind::None;
  int control = 0;   // with EventKind::Control: the control's number
  int exitCode = 0;  // with EventKind::EndRequest: the exit code asked for
};

// Pointer position in the main window's client area, -1 for each while it is outside. The
// button's state is only known while the pointer is over the client area (false outside).
struct PointerState {
  int x = -1;
  int y = -1;
  bool leftButtonDown = false;
};

enum class ControlKind {
  Picture,            // shows an image at its own size; alpha blended over the window background
  Spin,               // editable number with up and down arrows
  PushButton,         // a text button
  CheckBox,           // a box without text that toggles itself when clicked
  AddressField,       // an IPv4 address field
  ColumnList,         // a report list with columns (the client log)
  VerticalScrollBar,  // a stand-alone vertical scroll bar
  ImageButton,        // a push button showing a picture
};

struct ListColumn {
  std::string title;
  int width = 0;
};

// Asks the platform to assign a control number; such numbers never collide with 1 to 17.
inline constexpr int kAutoNumber = -1;

struct ControlPlan {
  ControlKind kind = ControlKind::Picture;
  int number = kAutoNumber;
  Rect rect;
  bool disabled = false;
  std::string text;                         // PushButton
  std::shared_ptr<const Image> picture;     // Picture, ImageButton
  int minimum = 0, maximum = 0, value = 0;  // Spin: range and value; VerticalScrollBar: range and position
  int page = 0;                             // VerticalScrollBar
  std::vector<ListColumn> columns;          // ColumnList
};

// The client log's rows, each six cell texts.
using ClientLogRow = std::array<std::string, 6>;
using ClientLogRows = std::vector<ClientLogRow>;

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

  // A child window of the main window without title bar or frame, visible; `text` is its
  // window text, never displayed.
  [[nodiscard]] virtual bool OpenPane(int window, Rect rect, std::string_view text) = 0;

  // Creates a control in a window; its number (the one asked for, or a fresh one for kAutoNumber), or
  // 0 on failure. Controls are created in tab order. A disabled picture raises no control event
  // and looks as when enabled.
  [[nodiscard]] virtual int CreateControl(int window, const ControlPlan& plan) = 0;
  virtual void DestroyControl(int control) = 0;
  virtual void EnableControl(int control, bool enabled) = 0;
  virtual void SetButtonText(int control, std::string_view text) = 0;
  [[nodiscard]] virtual int SpinValue(int control) = 0;
  // Setting a box from the program raises no control event.
  virtual void SetChecked(int control, bool checked) = 0;
  virtual void SetScrollPage(int control, int page) = 0;
  // A position outside the range 1 to 1000 - page is brought to its nearer end.
  virtual void SetScrollPosition(int control, int position) = 0;

  // Any thread, and never waiting for the main thread: --------------------------------------
  // Shows `picture` (or none) in a picture control.
  virtual void SetPicture(int control, std::shared_ptr<const Image> picture) = 0;
  [[nodiscard]] virtual bool IsChecked(int control) = 0;
  // An IPv4 field's value, first octet in the lowest byte; a blank part reads as 0.
  [[nodiscard]] virtual std::uint32_t AddressValue(int control) = 0;
  [[nodiscard]] virtual int ScrollPosition(int control) = 0;
  // Moves a control to (x, y) of its window, size unchanged.
  virtual void MoveControl(int control, int x, int y) = 0;
  // The top of a control in its window, as last placed.
  [[nodiscard]] virtual int ControlTop(int control) = 0;
  virtual void ShowControl(int control, bool shown) = 0;
  // Makes the main loop end after its current pass, and the program exit with `exitCode` after the
  // same releases as at a normal end.
  virtual void RequestEnd(int exitCode) = 0;
  // Runs `edit` on the client log's rows under the log's own lock; the list shows the result.
  // Rows are only ever appended or changed, never removed.
  virtual void EditClientLog(const std::function<void(ClientLogRows&)>& edit) = 0;
  // -------------------------------------------------------------------------------------------

  // Waits at most `timeoutMs` for the next message of the program's queue and handles it.
  [[nodiscard]] virtual UiEvent WaitEvent(int timeoutMs) = 0;
  [[nodiscard]] virtual PointerState Pointer() = 0;

  // A modal box owned by the main window (or by none while there is none). Also from a worker
  // (the update check), which then waits for the user, and on Windows for the main thread to
  // disable the window: a worker must not hold a lock the main thread takes while it asks.
  virtual MessageAnswer ShowMessage(std::string_view title, std::string_view text, MessageIcon icon,
                                    MessageButtons buttons) = 0;
};

}  // namespace tv
