// What the pieces of a request cost under Wine, each timed alone in this process: the socket
// calls the server makes, the thread hand-overs, the window calls of the main loop, a key press
// and a paint of a picture the size of the status view. Each line: the median and the 90th
// percentile of many calls, in microseconds. Run by bench/run.sh while nothing else of ours runs.
//
//   wine_costs.exe              the pieces
//   wine_costs.exe tick SECONDS  only a shown window and a loop that waits 3 ms at a time for a
//                                message or an event, as the program's main loop does: the idle
//                                reference
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace {

double Now() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1e6 / frequency;
}

void Report(const char* name, std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  const auto at = [&](double f) {
    return samples[std::min(samples.size() - 1, static_cast<std::size_t>(f * samples.size()))];
  };
  std::printf("%-58s median %8.1f us   p90 %8.1f us\n", name, at(0.5), at(0.9));
  std::fflush(stdout);
}

// Times `body` `count` times, after a few untimed calls.
void Time(const char* name, int count, const std::function<void()>& body) {
  for (int i = 0; i < 5; ++i) body();
  std::vector<double> samples;
  samples.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const double start = Now();
    body();
    samples.push_back(Now() - start);
  }
  Report(name, std::move(samples));
}

SOCKET Listener(WSAEVENT event) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(s, 100);
  u_long nonBlocking = 1;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  if (event) WSAEventSelect(s, event, FD_ACCEPT | FD_READ | FD_CLOSE);
  return s;
}

int PortOf(SOCKET s) {
  sockaddr_in address{};
  int length = sizeof address;
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

SOCKET Connect(int port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  return s;
}

SOCKET AcceptWaiting(SOCKET listener) {
  for (int i = 0; i < 5000; ++i) {
    SOCKET s = accept(listener, nullptr, nullptr);
    if (s != INVALID_SOCKET) return s;
    Sleep(0);
  }
  return INVALID_SOCKET;
}

DWORD WINAPI SetGiven(void* event) {
  SetEvent(static_cast<HANDLE>(event));
  return 0;
}

LRESULT CALLBACK PaintProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NOTIFY) {
    // The client log's one row, as the program's list answers it.
    auto* display = reinterpret_cast<NMLVDISPINFOW*>(lParam);
    if (display->hdr.code == LVN_GETDISPINFOW && (display->item.mask & LVIF_TEXT) && display->item.pszText) {
      static const wchar_t* const cells[6] = {L"15:04:05", L"127.0.0.1", L"localhost", L"Linux (Mozilla/5.0)",
                                              L"12345",    L"678"};
      lstrcpynW(display->item.pszText, cells[display->item.iSubItem % 6], display->item.cchTextMax);
    }
    return 0;
  }
  if (message == WM_PAINT) {
    static std::vector<std::uint32_t> bits(141 * 212, 0x00406080);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 141;
    info.bmiHeader.biHeight = -212;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, 0, 0, 141, 212, 0, 0, 0, 212, bits.data(), &info, DIB_RGB_COLORS);
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int Tick(int seconds) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"TastovolantTick";
  RegisterClassW(&windowClass);
  CreateWindowExW(0, windowClass.lpszClassName, L"tick", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 480, nullptr,
                  nullptr, windowClass.hInstance, nullptr);
  HANDLE activity = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
  MSG message;
  while (GetTickCount64() < end) {
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      MsgWaitForMultipleObjectsEx(1, &activity, 3, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
      if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "tick") return Tick(std::max(1, std::atoi(argv[2])));
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  std::printf("pieces under Wine, each timed alone\n");

  // ---- sockets, as the server's poll and a handler use them --------------------------------
  WSAEVENT activity = WSACreateEvent();
  SOCKET listener = Listener(activity);
  const int port = PortOf(listener);
  Time("accept, nothing pending (non-blocking)", 1000, [&] { (void)accept(listener, nullptr, nullptr); });
  Time("WSAResetEvent + WSASetEvent", 1000, [&] {
    WSAResetEvent(activity);
    WSASetEvent(activity);
  });
  SOCKET client = Connect(port);
  SOCKET served = AcceptWaiting(listener);
  u_long nonBlocking = 1;
  ioctlsocket(served, FIONBIO, &nonBlocking);
  const std::string request = "GET /host?m=pp HTTP/1.1\r\nHost: x\r\n\r\n";
  send(client, request.data(), static_cast<int>(request.size()), 0);
  Sleep(50);
  char buffer[4096];
  Time("WSAPoll, one socket with data, no wait", 1000, [&] {
    WSAPOLLFD polled{served, POLLRDNORM, 0};
    WSAPoll(&polled, 1, 0);
  });
  std::vector<SOCKET> idle;
  // The poll looks at every connection the server still knows, closed ones it has not yet
  // forgotten included.
  const auto pollAll = [&](const char* name, std::size_t count) {
    while (idle.size() < 2 * (count - 1)) {
      idle.push_back(Connect(port));
      SOCKET s = AcceptWaiting(listener);
      ioctlsocket(s, FIONBIO, &nonBlocking);
      idle.push_back(s);
    }
    Time(name, 300, [&] {
      std::vector<WSAPOLLFD> polled;
      polled.push_back({served, POLLRDNORM, 0});
      for (std::size_t i = 1; i < 2 * (count - 1); i += 2) polled.push_back({idle[i], POLLRDNORM, 0});
      WSAPoll(polled.data(), static_cast<ULONG>(polled.size()), 0);
    });
  };
  pollAll("WSAPoll, 16 sockets, no wait", 16);
  pollAll("WSAPoll, 256 sockets, no wait", 256);
  pollAll("WSAPoll, 1024 sockets, no wait", 1024);
  Time("recv MSG_PEEK, 1 byte, data waiting", 1000, [&] { recv(served, buffer, 1, MSG_PEEK); });
  Time("recv MSG_PEEK, whole head, data waiting", 1000, [&] { recv(served, buffer, sizeof buffer, MSG_PEEK); });
  Time("getpeername", 1000, [&] {
    sockaddr_in peer{};
    int length = sizeof peer;
    getpeername(served, reinterpret_cast<sockaddr*>(&peer), &length);
  });
  Time("gethostname", 1000, [&] { gethostname(buffer, sizeof buffer); });
  Time("send 480 bytes, read them back", 500, [&] {
    send(served, buffer, 480, 0);
    int got = 0;
    while (got < 480) {
      const int n = recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      got += n;
    }
  });
  Time("a whole exchange: connect, send, accept, recv, send, recv, close", 300, [&] {
    SOCKET c = Connect(port);
    send(c, request.data(), static_cast<int>(request.size()), 0);
    SOCKET s = AcceptWaiting(listener);
    recv(s, buffer, sizeof buffer, 0);
    send(s, buffer, 480, 0);
    recv(c, buffer, sizeof buffer, 0);
    closesocket(s);
    closesocket(c);
  });
  for (SOCKET s : idle) closesocket(s);
  closesocket(served);
  closesocket(client);
  closesocket(listener);

  // ---- threads ----------------------------------------------------------------------------
  HANDLE done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  Time("QueueUserWorkItem, default, until it runs", 500, [&] {
    QueueUserWorkItem(SetGiven, done, WT_EXECUTEDEFAULT);
    WaitForSingleObject(done, 5000);
  });
  Time("QueueUserWorkItem, WT_EXECUTELONGFUNCTION, until it runs", 500, [&] {
    QueueUserWorkItem(SetGiven, done, WT_EXECUTELONGFUNCTION);
    WaitForSingleObject(done, 5000);
  });
  Time("CreateThread, until it runs", 100, [&] {
    HANDLE thread = CreateThread(nullptr, 0, SetGiven, done, 0, nullptr);
    WaitForSingleObject(done, 5000);
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
  });
  Time("localtime (the log's clock)", 1000, [&] {
    const std::time_t now = std::time(nullptr);
    volatile int hour = std::localtime(&now)->tm_hour;
    (void)hour;
  });

  // ---- the main loop's window calls, and a paint ----------------------------------------------
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = PaintProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"TastovolantCostProbe";
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300,
                                300, nullptr, nullptr, windowClass.hInstance, nullptr);
  MSG message;
  for (int i = 0; i < 100 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) DispatchMessageW(&message);
  Time("PeekMessage, queue empty", 1000, [&] { PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); });
  Time("MsgWaitForMultipleObjectsEx, event set, no wait", 1000, [&] {
    SetEvent(done);
    MsgWaitForMultipleObjectsEx(1, &done, 3, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  });
  Time("MsgWaitForMultipleObjectsEx, 3 ms time-out, nothing comes", 300, [&] {
    ResetEvent(done);
    MsgWaitForMultipleObjectsEx(1, &done, 3, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  });
  Time("the pointer: GetCursorPos, ScreenToClient, GetClientRect, GetAsyncKeyState", 1000, [&] {
    POINT point;
    RECT client;
    GetCursorPos(&point);
    ScreenToClient(window, &point);
    GetClientRect(window, &client);
    (void)GetSystemMetrics(SM_SWAPBUTTON);
    (void)GetAsyncKeyState(VK_LBUTTON);
  });
  Time("PostMessage to own window, then take it", 1000, [&] {
    PostMessageW(window, WM_USER + 7, 0, 0);
    PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);
  });
  Time("InvalidateRect + paint 141x212 (SetDIBitsToDevice)", 300, [&] {
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
  });
  // A key nothing listens to, pressed and released, as the program presses a media key.
  Time("SendInput, F24 down and up", 300, [&] {
    INPUT inputs[2] = {};
    inputs[0].type = inputs[1].type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = inputs[1].ki.wVk = VK_F24;
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, inputs, sizeof(INPUT));
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  });
  // The client log: a virtual report list of six columns with one row, as the program makes it.
  INITCOMMONCONTROLSEX common{sizeof common, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&common);
  HWND log = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                             WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_OWNERDATA | LVS_SHOWSELALWAYS, 0,
                             0, 620, 130, window, nullptr, windowClass.hInstance, nullptr);
  SendMessageW(log, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_DOUBLEBUFFER, LVS_EX_DOUBLEBUFFER);
  for (int i = 0; i < 6; ++i) {
    wchar_t title[] = L"Spalte";
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = title;
    column.cx = 100;
    column.iSubItem = i;
    SendMessageW(log, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
  }
  SendMessageW(log, LVM_SETITEMCOUNT, 1, 0);
  MoveWindow(window, 0, 0, 660, 200, TRUE);
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  const auto drain = [&] {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  };
  // What a handler's log entry makes the main thread do: the posted count, then the paint.
  Time("client log: posted LVM_SETITEMCOUNT (same count), handled", 200, [&] {
    PostMessageW(log, LVM_SETITEMCOUNT, 1, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    drain();
  });
  Time("client log: InvalidateRect, then its paint", 200, [&] {
    InvalidateRect(log, nullptr, FALSE);
    drain();
  });
  Time("client log: both, as after every request", 200, [&] {
    PostMessageW(log, LVM_SETITEMCOUNT, 1, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    InvalidateRect(log, nullptr, FALSE);
    drain();
  });
  RECT row{};
  row.left = LVIR_BOUNDS;
  SendMessageW(log, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
  Time("client log: InvalidateRect of its one row only, then its paint", 200, [&] {
    InvalidateRect(log, &row, FALSE);
    drain();
  });
  SendMessageW(log, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_DOUBLEBUFFER, 0);
  drain();
  Time("client log without LVS_EX_DOUBLEBUFFER: InvalidateRect, paint", 200, [&] {
    InvalidateRect(log, nullptr, FALSE);
    drain();
  });
  DestroyWindow(window);
  return 0;
}
