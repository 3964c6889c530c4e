#include "platform/win32/ui_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "platform/win32/latin1.h"

namespace tv {

namespace {

constexpr wchar_t kMainClass[] = L"TastovolantMainWindow";
constexpr wchar_t kPictureClass[] = L"TastovolantPicture";
constexpr int kIconGroup = 1;

// A top-down 32-bit DIB header for an image of the given size.
BITMAPINFO DibHeader(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

std::uint32_t Bgra(Rgba p) {
  return static_cast<std::uint32_t>(p.b) | static_cast<std::uint32_t>(p.g) << 8 |
         static_cast<std::uint32_t>(p.r) << 16 | static_cast<std::uint32_t>(p.a) << 24;
}

}  // namespace

struct Win32Ui::Backdrop {
  std::shared_ptr<const Image> image;
  HBITMAP bitmap = nullptr;
  HBRUSH brush = nullptr;
};

struct Win32Ui::Picture {
  HWND window = nullptr;
  HWND parent = nullptr;
  Win32Ui* owner = nullptr;
  int x = 0, y = 0;
  std::mutex lock;  // guards `image`, which workers swap
  std::shared_ptr<const Image> image;
};

Win32Ui::Win32Ui() : instance_(GetModuleHandleW(nullptr)) {}

Win32Ui::~Win32Ui() {
  for (auto& [window, backdrop] : backdrops_) {
    if (backdrop->brush) DeleteObject(backdrop->brush);
    if (backdrop->bitmap) DeleteObject(backdrop->bitmap);
  }
}

void Win32Ui::Initialise() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_INTERNET_CLASSES |
                                                     ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS};
  InitCommonControlsEx(&controls);

  WNDCLASSEXW main{};
  main.cbSize = sizeof main;
  main.lpfnWndProc = MainWindowProc;
  main.hInstance = instance_;
  main.hIcon =
      static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(kIconGroup), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
  main.hIconSm = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(kIconGroup), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  main.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  main.lpszClassName = kMainClass;
  RegisterClassExW(&main);

  WNDCLASSEXW picture{};
  picture.cbSize = sizeof picture;
  picture.lpfnWndProc = PictureProc;
  picture.hInstance = instance_;
  picture.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  picture.lpszClassName = kPictureClass;
  RegisterClassExW(&picture);
}

bool Win32Ui::OpenMainWindow(std::string_view title, int clientWidth, int clientHeight) {
  constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;
  RECT outer{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&outer, kStyle, FALSE, kExStyle);
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
  const int width = std::min<int>(outer.right - outer.left, screenWidth);
  const int height = std::min<int>(outer.bottom - outer.top, screenHeight);
  mainWindow_ = CreateWindowExW(kExStyle, kMainClass, WideFromLatin1(title).c_str(), kStyle, (screenWidth - width) / 2,
                                (screenHeight - height) / 2, width, height, nullptr, nullptr, instance_, this);
  return mainWindow_ != nullptr;
}

HWND Win32Ui::WindowFor(int window) const { return window == kMainWindow ? mainWindow_ : nullptr; }

Win32Ui::Backdrop* Win32Ui::BackdropFor(HWND window) {
  auto found = backdrops_.find(window);
  return found == backdrops_.end() ? nullptr : found->second.get();
}

void Win32Ui::SetWindowBackdrop(int window, std::shared_ptr<const Image> image) {
  HWND target = WindowFor(window);
  if (!target || !image || image->Empty()) return;
  auto backdrop = std::make_unique<Backdrop>();
  BITMAPINFO info = DibHeader(image->Width(), image->Height());
  void* bits = nullptr;
  backdrop->bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!backdrop->bitmap) return;
  auto* out = static_cast<std::uint32_t*>(bits);
  for (Rgba p : image->Pixels()) *out++ = Bgra(p);
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

bool Win32Ui::CreatePicture(int window, int control, Rect rect, bool disabled) {
  HWND parent = WindowFor(window);
  if (!parent) return false;
  auto picture = std::make_unique<Picture>();
  picture->owner = this;
  picture->parent = parent;
  picture->x = rect.x;
  picture->y = rect.y;
  DWORD style = WS_CHILD | WS_VISIBLE | (disabled ? WS_DISABLED : 0);
  picture->window = CreateWindowExW(0, kPictureClass, L"", style, rect.x, rect.y, rect.width, rect.height, parent,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(control)), instance_, picture.get());
  if (!picture->window) return false;
  std::lock_guard guard(picturesLock_);
  pictures_[control] = std::move(picture);
  return true;
}

void Win32Ui::SetPicture(int control, std::shared_ptr<const Image> image) {
  HWND window = nullptr;
  {
    std::lock_guard guard(picturesLock_);
    auto found = pictures_.find(control);
    if (found == pictures_.end()) return;
    Picture& picture = *found->second;
    std::lock_guard pictureGuard(picture.lock);
    picture.image = std::move(image);
    window = picture.window;
  }
  // Posts a paint; it never waits for the thread that owns the control.
  InvalidateRect(window, nullptr, FALSE);
}

UiEvent Win32Ui::WaitEvent(int timeoutMs) {
  MSG message;
  if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(timeoutMs), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return {};
  }
  if (message.message == WM_QUIT) return {EventKind::CloseRequest, 0};
  pendingControl_ = 0;
  pendingClose_ = false;
  if (!mainWindow_ || !IsDialogMessageW(mainWindow_, &message)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (pendingControl_ != 0) return {EventKind::Control, pendingControl_};
  if (pendingClose_) return {EventKind::CloseRequest, 0};
  if (message.message == WM_LBUTTONUP) return {EventKind::LeftButtonUp, 0};
  return {EventKind::Other, 0};
}

PointerState Win32Ui::Pointer() {
  PointerState state;
  POINT point;
  RECT client;
  if (mainWindow_ && GetCursorPos(&point) && ScreenToClient(mainWindow_, &point) &&
      GetClientRect(mainWindow_, &client) && point.x >= 0 && point.y >= 0 && point.x < client.right &&
      point.y < client.bottom) {
    state.x = point.x;
    state.y = point.y;
  }
  const int button = GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
  state.leftButtonDown = (GetAsyncKeyState(button) & 0x8000) != 0;
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

LRESULT CALLBACK Win32Ui::MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32Ui*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case WM_COMMAND:
      // Buttons and check boxes report a click; that is what the program calls a control event.
      if (lParam != 0 && HIWORD(wParam) == BN_CLICKED) self->pendingControl_ = LOWORD(wParam);
      return 0;
    case WM_CLOSE:
      // The main loop decides when the program ends; the window stays until then.
      self->pendingClose_ = true;
      return 0;
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

LRESULT CALLBACK Win32Ui::PictureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* picture = reinterpret_cast<Picture*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_NCHITTEST:
      // Pictures take no mouse input of their own: presses and releases go to the window behind,
      // where the program sees them as releases over its background.
      return HTTRANSPARENT;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT area;
      GetClientRect(window, &area);
      const int width = area.right, height = area.bottom;
      if (picture && width > 0 && height > 0) {
        // Compose the window background under the control and the picture over it, then show
        // the result in one copy: no flicker, and alpha is honoured.
        Image canvas(width, height);
        if (Backdrop* backdrop = picture->owner->BackdropFor(picture->parent); backdrop && backdrop->image) {
          const Image& tile = *backdrop->image;
          for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
              canvas.At(x, y) = tile.At((picture->x + x) % tile.Width(), (picture->y + y) % tile.Height());
            }
          }
        }
        std::shared_ptr<const Image> image;
        {
          std::lock_guard guard(picture->lock);
          image = picture->image;
        }
        if (image) DrawBlended(canvas, *image, 0, 0);
        std::vector<std::uint32_t> bits;
        bits.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        for (Rgba p : canvas.Pixels()) bits.push_back(Bgra(p));
        BITMAPINFO info = DibHeader(width, height);
        SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0, 0, 0,
                          static_cast<UINT>(height), bits.data(), &info, DIB_RGB_COLORS);
      }
      EndPaint(window, &paint);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace tv
