#include "platform/win32/network_win32.h"

#include <winsock2.h>

namespace tv {

void WinsockNetwork::StartSockets() {
  WSADATA data;
  started_ = WSAStartup(MAKEWORD(1, 1), &data) == 0;
}

void WinsockNetwork::CleanupSockets() {
  if (started_) WSACleanup();
  started_ = false;
}

}  // namespace tv
