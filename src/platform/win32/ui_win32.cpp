#include "platform/win32/ui_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "platform/win32/latin1.h"

namespace tv {

namespace {

constexpr wchar_t kWindowClass[] = L"TastovolantWindow";
constexpr wchar_t kPictureClass[] = L"TastovolantPicture";
constexpr int kIconGroup = 1;
// Sent to the main window by RequestEnd from any thread.
constexpr UINT kEndMessage = WM_APP + 1;
// Posted to the main window when the client log changed and no such message is on its way yet.
constexpr UINT kLogChangedMessage = WM_APP + 2;
// The timer that shows log changes which came too soon after the last ones.
constexpr UINT_PTR kLogTimer = 1;
// The list view paints the log's changes at most this often (milliseconds): requests may come
// by the thousand a second, and under Wine each paint takes a part of a millisecond.
constexpr ULONGLONG kLogPaintInterval = 30;

BITMAPINFO DibHeader(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

std::uint32_t Bgra(Rgba p) {
  return static_cast<std::uint32_t>(p.b) | static_cast<std::uint32_t>(p.g) << 8 |
         static_cast<std::uint32_t>(p.r) << 16 | static_cast<std::uint32_t>(p.a) << 24;
}

HBITMAP DibFromImage(const Image& image) {
  BITMAPINFO info = DibHeader(image.Width(), image.Height());
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap) return nullptr;
  auto* out = static_cast<std::uint32_t*>(bits);
  for (Rgba p : image.Pixels()) *out++ = Bgra(p);
  return bitmap;
}

// An icon with the image's alpha, for image buttons.
HICON IconFromImage(const Image& image) {
  HBITMAP colour = DibFromImage(image);
  if (!colour) return nullptr;
  std::vector<std::uint8_t> maskBits(static_cast<std::size_t>((image.Width() + 15) / 16 * 2 * image.Height()), 0);
  HBITMAP mask = CreateBitmap(image.Width(), image.Height(), 1, 1, maskBits.data());
  ICONINFO info{TRUE, 0, 0, mask, colour};
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(colour);
  DeleteObject(mask);
  return icon;
}

// IPv4 fields give the first octet in the highest byte; the program keeps it in the lowest.
std::uint32_t FromFieldOrder(DWORD value) {
  return (value >> 24 & 0xFFu) | (value >> 8 & 0xFF00u) | (value << 8 & 0xFF0000u) | (value << 24 & 0xFF000000u);
}

}  // namespace

struct Win32Ui::Backdrop {
  std::shared_ptr<const Image> image;
  HBITMAP bitmap = nullptr;
  HBRUSH brush = nullptr;
};

struct Win32Ui::Control {
  ControlKind kind = ControlKind::Picture;
  HWND window = nullptr;
  HWND partner = nullptr;  // a spin field's arrows
  HWND parent = nullptr;
  Win32Ui* owner = nullptr;
  std::atomic<int> x{0}, y{0};
  std::atomic<bool> checked{false};
  std::atomic<std::uint32_t> address{0};
  std::atomic<int> scrollPosition{0};
  int scrollMinimum = 1, scrollMaximum = 1000;
  std::mutex pictureLock;  // guards `picture`, which workers swap
  std::shared_ptr<const Image> picture;
  HICON icon = nullptr;
};

Win32Ui::Win32Ui() : instance_(GetModuleHandleW(nullptr)) {}

Win32Ui::~Win32Ui() {
  for (auto& [window, backdrop] : backdrops_) {
    if (backdrop->brush) DeleteObject(backdrop->brush);
    if (backdrop->bitmap) DeleteObject(backdrop->bitmap);
  }
  for (auto& [number, control] : controls_) {
    if (control->icon) DestroyIcon(control->icon);
  }
}

void Win32Ui::Initialise() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_INTERNET_CLASSES |
                                                     ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);

  WNDCLASSEXW window{};
  window.cbSize = sizeof window;
  window.lpfnWndProc = WindowProc;
  window.hInstance = instance_;
  window.hIcon =
      static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(kIconGroup), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
  window.hIconSm = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(kIconGroup), IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  window.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window.lpszClassName = kWindowClass;
  RegisterClassExW(&window);

  WNDCLASSEXW picture{};
  picture.cbSize = sizeof picture;
  picture.lpfnWndProc = PictureProc;
  picture.hInstance = instance_;
  picture.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  picture.lpszClassName = kPictureClass;
  RegisterClassExW(&picture);

  controlFont_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

bool Win32Ui::OpenMainWindow(std::string_view title, int clientWidth, int clientHeight) {
  constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;
  RECT outer{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&outer, kStyle, FALSE, kExStyle);
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
  const int width = std::min<int>(outer.right - outer.left, screenWidth);
  const int height = std::min<int>(outer.bottom - outer.top, screenHeight);
  mainWindow_ =
      CreateWindowExW(kExStyle, kWindowClass, WideFromLatin1(title).c_str(), kStyle, (screenWidth - width) / 2,
                      (screenHeight - height) / 2, width, height, nullptr, nullptr, instance_, this);
  return mainWindow_ != nullptr;
}

bool Win32Ui::OpenPane(int window, Rect rect, std::string_view text) {
  if (window != kAddressListPane || !mainWindow_) return false;
  pane_ = CreateWindowExW(WS_EX_CONTROLPARENT, kWindowClass, WideFromLatin1(text).c_str(),
                          WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, rect.x, rect.y, rect.width,
                          rect.height, mainWindow_, nullptr, instance_, this);
  return pane_ != nullptr;
}

HWND Win32Ui::WindowFor(int window) const {
  if (window == kMainWindow) return mainWindow_;
  if (window == kAddressListPane) return pane_;
  return nullptr;
}

Win32Ui::Backdrop* Win32Ui::BackdropFor(HWND window) {
  auto found = backdrops_.find(window);
  return found == backdrops_.end() ? nullptr : found->second.get();
}

Win32Ui::Control* Win32Ui::Find(int control) {
  auto found = controls_.find(control);
  return found == controls_.end() ? nullptr : found->second.get();
}

void Win32Ui::SetWindowBackdrop(int window, std::shared_ptr<const Image> image) {
  HWND target = WindowFor(window);
  if (!target || !image || image->Empty()) return;
  auto backdrop = std::make_unique<Backdrop>();
  backdrop->bitmap = DibFromImage(*image);
  if (!backdrop->bitmap) return;
  backdrop->brush = CreatePatternBrush(backdrop->bitmap);
  backdrop->image = std::move(image);
  backdrops_[target] = std::move(backdrop);
  InvalidateRect(target, nullptr, TRUE);
}

void Win32Ui::ShowMainWindow() {
  ShowWindow(mainWindow_, SW_SHOWNORMAL);
  UpdateWindow(mainWindow_);
}

bool Win32Ui::MainWindowIsForeground() { return mainWindow_ && GetForegroundWindow() == mainWindow_; }

void Win32Ui::BringMainWindowToForeground() { SetForegroundWindow(mainWindow_); }

int Win32Ui::NextAutoNumber() {
  std::lock_guard guard(controlsLock_);
  while (controls_.count(nextAutoNumber_)) ++nextAutoNumber_;
  return nextAutoNumber_++;
}

int Win32Ui::CreateControl(int window, const ControlPlan& plan) {
  HWND parent = WindowFor(window);
  if (!parent) return 0;
  const int number = plan.number == kAutoNumber ? NextAutoNumber() : plan.number;
  {
    std::lock_guard guard(controlsLock_);
    if (controls_.count(number)) return 0;
  }
  auto control = std::make_unique<Control>();
  control->kind = plan.kind;
  control->parent = parent;
  control->owner = this;
  control->x = plan.rect.x;
  control->y = plan.rect.y;
  Rect rect = plan.rect;
  const auto id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(number));
  const DWORD disabled = plan.disabled ? WS_DISABLED : 0;
  constexpr DWORD kChild = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
  const auto make = [&](DWORD exStyle, const wchar_t* className, const wchar_t* text, DWORD style, Rect r, HMENU menu,
                        void* param = nullptr) {
    return CreateWindowExW(exStyle, className, text, kChild | disabled | style, r.x, r.y, r.width, r.height, parent,
                           menu, instance_, param);
  };

  switch (plan.kind) {
    case ControlKind::Picture:
      // A picture control has the size of its picture.
      if (plan.picture && !plan.picture->Empty()) {
        rect.width = plan.picture->Width();
        rect.height = plan.picture->Height();
      }
      control->picture = plan.picture;
      control->window = make(0, kPictureClass, L"", 0, rect, id, control.get());
      break;
    case ControlKind::Spin: {
      // The text part, then arrows on the right that are half as wide as the field is high.
      const int arrows = rect.height / 2;
      control->window = make(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_TABSTOP | ES_RIGHT | ES_AUTOHSCROLL,
                             Rect{rect.x, rect.y, rect.width - arrows, rect.height}, id);
      if (!control->window) break;
      control->partner = make(0, UPDOWN_CLASSW, L"", UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS,
                              Rect{rect.x + rect.width - arrows, rect.y, arrows, rect.height}, nullptr);
      if (control->partner) {
        SendMessageW(control->partner, UDM_SETBUDDY, reinterpret_cast<WPARAM>(control->window), 0);
        SendMessageW(control->partner, UDM_SETRANGE32, static_cast<WPARAM>(plan.minimum), plan.maximum);
        SendMessageW(control->partner, UDM_SETPOS32, 0, plan.value);
      }
      SetWindowTextW(control->window, std::to_wstring(plan.value).c_str());
      break;
    }
    case ControlKind::PushButton:
      control->window = make(0, L"BUTTON", WideFromLatin1(plan.text).c_str(), WS_TABSTOP | BS_PUSHBUTTON, rect, id);
      break;
    case ControlKind::CheckBox:
      control->window = make(0, L"BUTTON", L"", WS_TABSTOP | BS_AUTOCHECKBOX, rect, id);
      break;
    case ControlKind::AddressField:
      control->window = make(WS_EX_CLIENTEDGE, WC_IPADDRESSW, L"", WS_TABSTOP, rect, id);
      break;
    case ControlKind::ColumnList: {
      control->window = make(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                             WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_OWNERDATA | LVS_SHOWSELALWAYS, rect, id);
      if (!control->window) break;
      ListView_SetExtendedListViewStyle(control->window, LVS_EX_DOUBLEBUFFER);
      int index = 0;
      for (const ListColumn& column : plan.columns) {
        std::wstring title = WideFromLatin1(column.title);
        LVCOLUMNW item{};
        item.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        item.pszText = title.data();
        item.cx = column.width;
        item.iSubItem = index;
        SendMessageW(control->window, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index++), reinterpret_cast<LPARAM>(&item));
      }
      clientLog_ = control->window;
      break;
    }
    case ControlKind::VerticalScrollBar: {
      control->window = make(0, L"SCROLLBAR", L"", SBS_VERT, rect, id);
      if (!control->window) break;
      // The program's scroll range is min..max with positions up to max - page; Win32 allows
      // positions up to nMax - nPage + 1, hence the range is handed over one short.
      control->scrollMinimum = plan.minimum;
      control->scrollMaximum = plan.maximum;
      SCROLLINFO info{sizeof info,
                      SIF_RANGE | SIF_PAGE | SIF_POS,
                      plan.minimum,
                      plan.maximum - 1,
                      static_cast<UINT>(plan.page),
                      plan.value,
                      0};
      SetScrollInfo(control->window, SB_CTL, &info, TRUE);
      control->scrollPosition = GetScrollPos(control->window, SB_CTL);
      break;
    }
    case ControlKind::ImageButton:
      control->window = make(0, L"BUTTON", L"", WS_TABSTOP | BS_PUSHBUTTON | BS_ICON, rect, id);
      if (control->window && plan.picture && !plan.picture->Empty()) {
        control->icon = IconFromImage(*plan.picture);
        SendMessageW(control->window, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(control->icon));
      }
      break;
  }
  if (!control->window) return 0;
  SendMessageW(control->window, WM_SETFONT, reinterpret_cast<WPARAM>(controlFont_), FALSE);
  if (control->partner) SendMessageW(control->partner, WM_SETFONT, reinterpret_cast<WPARAM>(controlFont_), FALSE);
  std::lock_guard guard(controlsLock_);
  controls_[number] = std::move(control);
  // A new control joins the bottom of its siblings (which keeps the tab order the creation
  // order); pictures go back below it, so that fields overlapping a label's lower edge stay whole.
  // Pictures take no focus, so this leaves the tab order alone.
  for (auto& [other, record] : controls_) {
    if (record->kind == ControlKind::Picture && record->parent == parent) {
      SetWindowPos(record->window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
  return number;
}

void Win32Ui::DestroyControl(int control) {
  std::unique_ptr<Control> record;
  {
    std::lock_guard guard(controlsLock_);
    auto found = controls_.find(control);
    if (found == controls_.end()) return;
    record = std::move(found->second);
    controls_.erase(found);
  }
  DestroyWindow(record->window);
  if (record->partner) DestroyWindow(record->partner);
  if (record->icon) DestroyIcon(record->icon);
}

void Win32Ui::EnableControl(int control, bool enabled) {
  HWND window = nullptr, partner = nullptr;
  {
    std::lock_guard guard(controlsLock_);
    Control* record = Find(control);
    if (!record) return;
    window = record->window;
    partner = record->partner;
  }
  EnableWindow(window, enabled);
  if (partner) EnableWindow(partner, enabled);
}

void Win32Ui::SetButtonText(int control, std::string_view text) {
  HWND window = nullptr;
  {
    std::lock_guard guard(controlsLock_);
    if (Control* record = Find(control)) window = record->window;
  }
  if (window) SetWindowTextW(window, WideFromLatin1(text).c_str());
}

int Win32Ui::SpinValue(int control) {
  HWND field = nullptr;
  {
    std::lock_guard guard(controlsLock_);
    if (Control* record = Find(control); record && record->kind == ControlKind::Spin) field = record->window;
  }
  if (!field) return 0;
  // The value is what the field shows, arrows or typing alike: its leading digits, 0 for none.
  wchar_t text[32] = {};
  GetWindowTextW(field, text, 32);
  long value = 0;
  for (const wchar_t* c = text; *c >= L'0' && *c <= L'9' && value < 100000000; ++c) value = value * 10 + (*c - L'0');
  return static_cast<int>(value);
}

void Win32Ui::SetChecked(int control, bool checked) {
  HWND window = nullptr;
  {
    std::lock_guard guard(controlsLock_);
    Control* record = Find(control);
    if (!record) return;
    record->checked = checked;
    window = record->window;
  }
  SendMessageW(window, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Win32Ui::SetScrollPage(int control, int page) {
  std::lock_guard guard(controlsLock_);
  Control* record = Find(control);
  if (!record) return;
  SCROLLINFO info{sizeof info, SIF_PAGE, 0, 0, static_cast<UINT>(std::max(page, 0)), 0, 0};
  SetScrollInfo(record->window, SB_CTL, &info, TRUE);
  record->scrollPosition = GetScrollPos(record->window, SB_CTL);
}

void Win32Ui::SetScrollPosition(int control, int position) {
  std::lock_guard guard(controlsLock_);
  Control* record = Find(control);
  if (!record) return;
  SCROLLINFO info{sizeof info, SIF_POS, 0, 0, 0, position, 0};
  SetScrollInfo(record->window, SB_CTL, &info, TRUE);
  record->scrollPosition = GetScrollPos(record->window, SB_CTL);
}

void Win32Ui::SetPicture(int control, std::shared_ptr<const Image> image) {
  HWND window = nullptr;
  {
    std::lock_guard guard(controlsLock_);
    Control* record = Find(control);
    if (!record || record->kind != ControlKind::Picture) return;
    std::lock_guard pictureGuard(record->pictureLock);
    record->picture = std::move(image);
    window = record->window;
  }
  // Posts a paint; it never waits for the thread that owns the control.
  InvalidateRect(window, nullptr, FALSE);
}

bool Win32Ui::IsChecked(int control) {
  std::lock_guard guard(controlsLock_);
  Control* record = Find(control);
  return record && record->checked;
}

std::uint32_t Win32Ui::AddressValue(int control) {
  std::lock_guard guard(controlsLock_);
  Control* record = Find(control);
  return record ? record->address.load() : 0;
}

int Win32Ui::ScrollPosition(int control) {
  std::lock_guard guard(controlsLock_);
  Control* record = Find(control);
  return record ? record->scrollPosition.load() : 0;
}

void Win32Ui::MoveControl(int control, int x, int y) {
  std::lock_guard guard(controlsLock_);
  Control* record = Find(control);
  if (!record || (record->x == x && record->y == y)) return;
  record->x = x;
  record->y = y;
  // Asynchronous: a worker's move is carried out by the owner thread when it gets to it.
  constexpr UINT kFlags = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS;
  SetWindowPos(record->window, nullptr, x, y, 0, 0, kFlags);
}

int Win32Ui::ControlTop(int control) {
  std::lock_guard guard(controlsLock_);
  Control* record = Find(control);
  return record ? record->y.load() : 0;
}

void Win32Ui::ShowControl(int control, bool shown) {
  std::lock_guard guard(controlsLock_);
  Control* record = Find(control);
  if (!record) return;
  ShowWindowAsync(record->window, shown ? SW_SHOWNA : SW_HIDE);
  if (record->partner) ShowWindowAsync(record->partner, shown ? SW_SHOWNA : SW_HIDE);
}

void Win32Ui::RequestEnd(int exitCode) {
  endExitCode_ = exitCode;
  endRequested_ = true;
  if (mainWindow_) PostMessageW(mainWindow_, kEndMessage, 0, 0);
}

void Win32Ui::EditClientLog(const std::function<void(ClientLogRows&)>& edit) {
  bool post = false;
  {
    std::lock_guard guard(logLock_);
    const ClientLogRows before = logRows_;
    edit(logRows_);
    // The rows to paint again: those changed now, joined to those not shown yet.
    bool haveRows = logChangesPosted_ && logFirstChanged_ <= logLastChanged_;
    if (!haveRows) {
      logFirstChanged_ = 1;
      logLastChanged_ = 0;
    }
    bool changed = before.size() != logRows_.size();
    for (std::size_t i = 0; i < logRows_.size(); ++i) {
      if (i < before.size() && logRows_[i] == before[i]) continue;
      logFirstChanged_ = haveRows ? std::min(logFirstChanged_, i) : i;
      logLastChanged_ = haveRows ? std::max(logLastChanged_, i) : i;
      haveRows = changed = true;
    }
    post = changed && !logChangesPosted_ && clientLog_;
    if (post) logChangesPosted_ = true;
  }
  // Posted, not sent: a worker never waits for the main thread. Changes that come while one
  // message is on its way join it, so the list view paints them together.
  if (post) PostMessageW(mainWindow_, kLogChangedMessage, 0, 0);
}

void Win32Ui::ShowLogChanges() {
  const ULONGLONG now = GetTickCount64();
  if (now - logShownAt_ < kLogPaintInterval) {
    SetTimer(mainWindow_, kLogTimer, static_cast<UINT>(kLogPaintInterval - (now - logShownAt_)), nullptr);
    return;
  }
  KillTimer(mainWindow_, kLogTimer);
  std::size_t rows = 0, first = 0, last = 0;
  {
    std::lock_guard guard(logLock_);
    if (!logChangesPosted_) return;
    logChangesPosted_ = false;
    rows = logRows_.size();
    first = logFirstChanged_;
    last = logLastChanged_;
  }
  logShownAt_ = now;
  // Only the changed rows are painted again: under Wine a paint of the whole list takes
  // milliseconds, one row a tenth of one.
  if (rows != logRowsShown_) {
    SendMessageW(clientLog_, LVM_SETITEMCOUNT, rows, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    logRowsShown_ = rows;
  }
  if (first <= last && first < rows) SendMessageW(clientLog_, LVM_REDRAWITEMS, first, std::min(last, rows - 1));
}

UiEvent Win32Ui::WaitEvent(int timeoutMs) {
  if (endRequested_) return {EventKind::EndRequest, 0, endExitCode_};
  // Events raised by messages that other threads or programs sent (they are handled inside the
  // peek itself) wait here for their turn, as do further events of one dispatch.
  if (!pendingEvents_.empty()) return TakePendingEvent();
  // Network activity ends the wait too, so the server is polled at once rather than on the next
  // tick. Each call here is a round trip through the Wine server, so a pass makes as few as it
  // can: a wait that ends by its time costs that one call; while the network has found work
  // already there is nothing to wait for; and when the network ended the wait, or nothing was
  // waited for, the queue is looked at only if a millisecond has passed since the last look.
  const DWORD count = activity_ ? 1 : 0;
  const DWORD input = WAIT_OBJECT_0 + count;
  DWORD waited = WAIT_OBJECT_0;
  if (!workFound_ || !workFound_()) {
    waited = MsgWaitForMultipleObjectsEx(count, activity_ ? &activity_ : nullptr, static_cast<DWORD>(timeoutMs),
                                         QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    // The event comes before the queue, so a wait that ended for input or by its time saw it unsignalled.
    if (activitySeen_ && waited != WAIT_TIMEOUT && waited != input) activitySeen_();
  }
  const auto now = std::chrono::steady_clock::now();
  const bool lookAtQueue =
      waited == input || (waited != WAIT_TIMEOUT && now - queueLookedAt_ >= std::chrono::milliseconds(1));
  MSG message;
  if (lookAtQueue) queueLookedAt_ = now;
  if (!lookAtQueue || !PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    return pendingEvents_.empty() ? UiEvent{} : TakePendingEvent();
  }
  NoteMessageForPointer(message);
  if (message.message == WM_QUIT) return {EventKind::CloseRequest, 0};
  if (message.message == kEndMessage || endRequested_) return {EventKind::EndRequest, 0, endExitCode_};
  if (!mainWindow_ || !IsDialogMessageW(mainWindow_, &message)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (!pendingEvents_.empty()) return TakePendingEvent();
  if (message.message == WM_LBUTTONUP) return {EventKind::LeftButtonUp, 0};
  return {EventKind::Other, 0};
}

UiEvent Win32Ui::TakePendingEvent() {
  const UiEvent event = pendingEvents_.front();
  pendingEvents_.pop_front();
  return event;
}

// The pointer and the button change only with mouse input, which comes as messages to the window
// under the pointer; leaving the main window brings WM_MOUSELEAVE. Until such a message (or a
// move of the window, or a tenth of a second: a safety net) the last reading holds, and a pass
// makes no call for it.
void Win32Ui::NoteMessageForPointer(const MSG& message) {
  const UINT m = message.message;
  const bool mouse = (m >= WM_MOUSEFIRST && m <= WM_MOUSELAST) || (m >= WM_NCMOUSEMOVE && m <= WM_NCXBUTTONDBLCLK) ||
                     m == WM_MOUSELEAVE || m == WM_NCMOUSELEAVE;
  if (!mouse && m != WM_WINDOWPOSCHANGED && m != WM_MOVE && m != WM_CAPTURECHANGED) return;
  pointerStale_ = true;
  if (m == WM_MOUSEMOVE && message.hwnd == mainWindow_) {
    TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, mainWindow_, 0};
    TrackMouseEvent(&track);
  }
}

PointerState Win32Ui::Pointer() {
  const ULONGLONG now = GetTickCount64();
  if (!pointerStale_ && now - pointerReadAt_ < 100) return pointer_;
  pointerStale_ = false;
  pointerReadAt_ = now;
  PointerState state;
  POINT point;
  RECT client;
  if (mainWindow_ && GetCursorPos(&point) && ScreenToClient(mainWindow_, &point) &&
      GetClientRect(mainWindow_, &client) && point.x >= 0 && point.y >= 0 && point.x < client.right &&
      point.y < client.bottom) {
    state.x = point.x;
    state.y = point.y;
  }
  // The button matters only over the window; asking for it is a call the quiet passes save.
  if (state.x >= 0) {
    const int button = GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
    state.leftButtonDown = (GetAsyncKeyState(button) & 0x8000) != 0;
  }
  pointer_ = state;
  return state;
}

MessageAnswer Win32Ui::ShowMessage(std::string_view title, std::string_view text, MessageIcon icon,
                                   MessageButtons buttons) {
  UINT flags = buttons == MessageButtons::YesNo ? MB_YESNO : MB_OK;
  switch (icon) {
    case MessageIcon::Error:
      flags |= MB_ICONERROR;
      break;
    case MessageIcon::Information:
      flags |= MB_ICONINFORMATION;
      break;
    case MessageIcon::Question:
      flags |= MB_ICONQUESTION;
      break;
    case MessageIcon::None:
      break;
  }
  const int answer = MessageBoxW(mainWindow_, WideFromLatin1(text).c_str(), WideFromLatin1(title).c_str(), flags);
  if (answer == IDYES) return MessageAnswer::Yes;
  if (answer == IDNO) return MessageAnswer::No;
  return MessageAnswer::Ok;
}

LRESULT Win32Ui::HandleCommand(HWND, WPARAM wParam, LPARAM lParam) {
  const int number = LOWORD(wParam);
  const int code = HIWORD(wParam);
  if (lParam == 0) return 0;
  if (code == BN_CLICKED) {
    // A click on a button or box is what the program calls a control event. A box has already
    // toggled itself; its mirror follows here, before anyone hears of the event.
    std::lock_guard guard(controlsLock_);
    if (Control* record = Find(number); record && record->kind == ControlKind::CheckBox) {
      record->checked = SendMessageW(record->window, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    pendingEvents_.push_back({EventKind::Control, number});
  } else if (code == EN_CHANGE) {
    std::lock_guard guard(controlsLock_);
    if (Control* record = Find(number); record && record->kind == ControlKind::AddressField) {
      DWORD value = 0;
      SendMessageW(record->window, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&value));
      record->address = FromFieldOrder(value);
    }
  }
  return 0;
}

LRESULT Win32Ui::HandleScroll(WPARAM wParam, LPARAM lParam) {
  HWND bar = reinterpret_cast<HWND>(lParam);
  if (!bar) return 0;
  std::lock_guard guard(controlsLock_);
  Control* record = Find(GetDlgCtrlID(bar));
  if (!record || record->window != bar) return 0;
  SCROLLINFO info{sizeof info, SIF_ALL, 0, 0, 0, 0, 0};
  GetScrollInfo(bar, SB_CTL, &info);
  int position = info.nPos;
  const int page = static_cast<int>(info.nPage);
  switch (LOWORD(wParam)) {
    case SB_LINEUP:
      position -= 1;
      break;
    case SB_LINEDOWN:
      position += 1;
      break;
    case SB_PAGEUP:
      position -= page;
      break;
    case SB_PAGEDOWN:
      position += page;
      break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
      position = info.nTrackPos;
      break;
    case SB_TOP:
      position = info.nMin;
      break;
    case SB_BOTTOM:
      position = info.nMax;
      break;
    default:
      return 0;
  }
  SCROLLINFO set{sizeof set, SIF_POS, 0, 0, 0, position, 0};
  SetScrollInfo(bar, SB_CTL, &set, TRUE);
  record->scrollPosition = GetScrollPos(bar, SB_CTL);
  return 0;
}

LRESULT Win32Ui::HandleNotify(LPARAM lParam) {
  auto* header = reinterpret_cast<NMHDR*>(lParam);
  if (header->hwndFrom != clientLog_ || header->code != LVN_GETDISPINFOW) return 0;
  auto* display = reinterpret_cast<NMLVDISPINFOW*>(lParam);
  LVITEMW& item = display->item;
  if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return 0;
  item.pszText[0] = L'\0';
  std::lock_guard guard(logLock_);
  if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= logRows_.size() || item.iSubItem < 0 ||
      item.iSubItem >= 6) {
    return 0;
  }
  const std::string& cell = logRows_[static_cast<std::size_t>(item.iItem)][static_cast<std::size_t>(item.iSubItem)];
  const std::size_t length = std::min(cell.size(), static_cast<std::size_t>(item.cchTextMax - 1));
  for (std::size_t i = 0; i < length; ++i) item.pszText[i] = static_cast<wchar_t>(static_cast<unsigned char>(cell[i]));
  item.pszText[length] = L'\0';
  return 0;
}

HBRUSH Win32Ui::BackgroundBrush(HWND parent, HWND control, HDC dc) {
  Backdrop* backdrop = BackdropFor(parent);
  if (!backdrop || !backdrop->brush) return nullptr;
  // The pattern starts at the parent's corner, so the box's background joins the window's.
  RECT placed;
  GetWindowRect(control, &placed);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&placed), 2);
  SetBrushOrgEx(dc, -placed.left, -placed.top, nullptr);
  SetBkMode(dc, TRANSPARENT);
  return backdrop->brush;
}

LRESULT CALLBACK Win32Ui::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32Ui*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case WM_COMMAND:
      return self->HandleCommand(window, wParam, lParam);
    case WM_VSCROLL:
      return self->HandleScroll(wParam, lParam);
    case WM_NOTIFY:
      return self->HandleNotify(lParam);
    case kLogChangedMessage:
      if (window == self->mainWindow_) self->ShowLogChanges();
      return 0;
    case WM_TIMER:
      if (window == self->mainWindow_ && wParam == kLogTimer) {
        self->ShowLogChanges();
        return 0;
      }
      break;
    case WM_CLOSE:
      // The main loop decides when the program ends; the window stays until then.
      if (window == self->mainWindow_) self->pendingEvents_.push_back({EventKind::CloseRequest, 0});
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      if (HBRUSH brush = self->BackgroundBrush(window, reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam))) {
        return reinterpret_cast<LRESULT>(brush);
      }
      break;
    case WM_ERASEBKGND:
      if (Backdrop* backdrop = self->BackdropFor(window); backdrop && backdrop->brush) {
        RECT area;
        GetClientRect(window, &area);
        FillRect(reinterpret_cast<HDC>(wParam), &area, backdrop->brush);
        return 1;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void Win32Ui::PaintPicture(Control& picture, HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT area;
  GetClientRect(window, &area);
  const int width = area.right, height = area.bottom;
  std::shared_ptr<const Image> image;
  {
    std::lock_guard guard(picture.pictureLock);
    image = picture.picture;
  }
  std::vector<std::uint32_t> bits;
  // An opaque picture that fills the control is shown as it is (the status view, a hundred
  // times a second): nothing of the background would show through it.
  if (image && image->Width() == width && image->Height() == height) {
    bits.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (Rgba p : image->Pixels()) {
      if (p.a != 255) break;
      bits.push_back(Bgra(p));
    }
    if (bits.size() != image->Pixels().size()) bits.clear();
  }
  if (width > 0 && height > 0 && bits.empty()) {
    // The window background under the control, then the picture over it, shown in one copy: no
    // flicker, and the picture's alpha is honoured.
    Image canvas(width, height);
    if (Backdrop* backdrop = BackdropFor(picture.parent); backdrop && backdrop->image) {
      const Image& tile = *backdrop->image;
      const int left = picture.x, top = picture.y;
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          canvas.At(x, y) = tile.At(((left + x) % tile.Width() + tile.Width()) % tile.Width(),
                                    ((top + y) % tile.Height() + tile.Height()) % tile.Height());
        }
      }
    }
    if (image) DrawBlended(canvas, *image, 0, 0);
    bits.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (Rgba p : canvas.Pixels()) bits.push_back(Bgra(p));
  }
  if (!bits.empty()) {
    BITMAPINFO info = DibHeader(width, height);
    SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0, 0, 0,
                      static_cast<UINT>(height), bits.data(), &info, DIB_RGB_COLORS);
  }
  EndPaint(window, &paint);
}

LRESULT CALLBACK Win32Ui::PictureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* picture = reinterpret_cast<Control*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_NCHITTEST:
      // Pictures take no mouse input of their own: presses and releases go to the window behind,
      // where the program sees them as releases over its background.
      return HTTRANSPARENT;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      if (picture) {
        picture->owner->PaintPicture(*picture, window);
        return 0;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace tv
