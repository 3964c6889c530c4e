#include <winsock2.h>

#include "e2e/e2e_support.h"

#include <png.h>

#include <cstring>
#include <vector>

namespace tv::e2e {

namespace {

// The first visible top-level window of the process whose text (or, with `byClass`, whose class
// name) is `name`.
HWND FindTopWindow(DWORD processId, const wchar_t* name, bool byClass) {
  struct Search {
    DWORD processId;
    const wchar_t* name;
    bool byClass;
    HWND found;
  } search{processId, name, byClass, nullptr};
  EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        auto* search = reinterpret_cast<Search*>(context);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t text[64] = {};
        if (search->byClass) {
          GetClassNameW(window, text, 64);
        } else {
          GetWindowTextW(window, text, 64);
        }
        if (owner != search->processId || std::wcscmp(text, search->name) != 0 || !IsWindowVisible(window)) {
          return TRUE;
        }
        search->found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

std::wstring Environment(const wchar_t* name) {
  wchar_t value[4096];
  const DWORD length = GetEnvironmentVariableW(name, value, 4096);
  return length > 0 && length < 4096 ? std::wstring(value, length) : std::wstring();
}

WinsockSession::WinsockSession() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
}

WinsockSession::~WinsockSession() { WSACleanup(); }

int FreePort() {
  static unsigned next = GetCurrentProcessId() * 7919u + static_cast<unsigned>(GetTickCount64());
  for (int attempt = 0; attempt < 500; ++attempt) {
    const int port = 20000 + static_cast<int>((next = next * 1103515245u + 12345u) >> 8) % 12000;
    const SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    BOOL exclusive = TRUE;
    setsockopt(probe, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<u_short>(port));
    const bool free = bind(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    closesocket(probe);
    if (free) return port;
  }
  return 0;
}

std::wstring ProgramDir() { return Environment(L"TASTOVOLANT_DIR"); }

std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (wchar_t c : text) narrow.push_back(static_cast<char>(c));
  return narrow;
}

RunningProgram::~RunningProgram() {
  if (process_.hProcess) {
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.hProcess, 999);
      WaitForSingleObject(process_.hProcess, 10000);
    }
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }
}

bool RunningProgram::Start(std::chrono::milliseconds timeout, std::wstring folder, const std::wstring& exe) {
  const std::wstring dir = folder.empty() ? ProgramDir() : folder;
  if (dir.empty()) return false;
  std::wstring commandLine = L"\"" + dir + L"\\" + exe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &startup,
                      &process_)) {
    return false;
  }
  return WaitUntil(
             [&] {
               window_ = FindTopWindow(process_.dwProcessId, L"Tastovolant v.2.0.0", /*byClass=*/false);
               return window_ != nullptr || WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0;
             },
             timeout) &&
         window_ != nullptr;
}

void RunningProgram::RequestClose() const { PostMessageW(window_, WM_CLOSE, 0, 0); }

std::optional<DWORD> RunningProgram::WaitForExit(std::chrono::milliseconds timeout) {
  if (!process_.hProcess ||
      WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
    return std::nullopt;
  }
  DWORD code = 0;
  if (!GetExitCodeProcess(process_.hProcess, &code)) return std::nullopt;
  return code;
}

HWND FindPane(HWND mainWindow) { return FindWindowExW(mainWindow, nullptr, nullptr, L"Tastovolant_Mode2_Wnd"); }

RECT PlacedRect(HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

void ClickAt(HWND window, int x, int y) {
  POINT point{x, y};
  ClientToScreen(window, &point);
  SetCursorPos(point.x, point.y);
  INPUT inputs[2] = {};
  inputs[0].type = inputs[1].type = INPUT_MOUSE;
  inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, inputs, sizeof(INPUT));
}

void PressKey(WORD virtualKey, bool shift) {
  std::vector<INPUT> inputs;
  const auto key = [&](WORD code, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = code;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(input);
  };
  if (shift) key(VK_SHIFT, false);
  key(virtualKey, false);
  key(virtualKey, true);
  if (shift) key(VK_SHIFT, true);
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

HWND FocusedControl(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

HWND FindMessageBox(DWORD processId) {
  return FindTopWindow(processId, L"#32770", /*byClass=*/true);
}

std::wstring MessageBoxTitle(HWND box) {
  wchar_t title[256] = {};
  GetWindowTextW(box, title, 256);
  return title;
}

std::wstring MessageBoxText(HWND box) {
  // The text is the box's static control 0xFFFF; another program's text is read by message.
  wchar_t text[1024] = {};
  SendMessageW(GetDlgItem(box, 0xFFFF), WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
  return text;
}

std::string OpenMessageBoxReport(DWORD processId) {
  const HWND box = FindMessageBox(processId);
  if (!box) return "no message box";
  const std::wstring text = L"message box \"" + MessageBoxTitle(box) + L"\": " + MessageBoxText(box);
  std::string report;
  for (wchar_t c : text) report.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return report;
}

std::optional<Image> CaptureClientArea(HWND window) {
  RECT client;
  if (!GetClientRect(window, &client)) return std::nullopt;
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  const int width = client.right, height = client.bottom;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  std::optional<Image> image;
  if (bitmap) {
    HGDIOBJ previous = SelectObject(memory, bitmap);
    if (BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY)) {
      GdiFlush();
      image.emplace(width, height);
      const auto* pixels = static_cast<const std::uint32_t*>(bits);
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          const std::uint32_t p = pixels[y * width + x];
          image->At(x, y) = Rgba{static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 8),
                                 static_cast<std::uint8_t>(p), 255};
        }
      }
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return image;
}

bool SaveScreenshot(const Image& image, const std::string& name) {
  const std::wstring dir = Environment(L"TASTOVOLANT_SCREENSHOTS");
  if (dir.empty() || image.Empty()) return false;
  const std::wstring path = dir + L"\\" + std::wstring(name.begin(), name.end()) + L".png";
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (!file) return false;
  png_image encoder;
  std::memset(&encoder, 0, sizeof encoder);
  encoder.version = PNG_IMAGE_VERSION;
  encoder.width = static_cast<png_uint_32>(image.Width());
  encoder.height = static_cast<png_uint_32>(image.Height());
  encoder.format = PNG_FORMAT_RGBA;
  const bool written = png_image_write_to_stdio(&encoder, file, 0, image.Pixels().data(), 0, nullptr) != 0;
  std::fclose(file);
  return written;
}

}  // namespace tv::e2e
