// The floor of what Wine's sockets allow: a minimal single-threaded Winsock server that answers
// every request with the same bytes as the program's "/host" frame for an allowed client (built
// from the program's own head and document), and closes the connection.
//
//   winsock_reference.exe PORT [LIFETIME_SECONDS]
//
// Prints "listening port=PORT" once it accepts connections; ends by itself after its lifetime
// (default 900 s), so that a benchmark that died cannot leave it behind for long.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "assets/catalogue.h"
#include "server/routes.h"

namespace {

std::string HostFrameAnswer() {
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  std::string body(tv::assets::AsText(tv::assets::kHostFrame));
  for (std::size_t at = body.find("HOST"); at != std::string::npos; at = body.find("HOST", at + 1)) {
    body.replace(at, 4, host);
  }
  return tv::BuildResponseHead(body.size(), tv::ContentType::Html) + body;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: winsock_reference.exe PORT [LIFETIME_SECONDS]\n");
    return 2;
  }
  const int port = std::atoi(argv[1]);
  const int lifetime = argc > 2 ? std::atoi(argv[2]) : 900;
  // Not part of the server: only the bound on how long the process may live.
  std::thread([lifetime] {
    Sleep(static_cast<DWORD>(lifetime) * 1000);
    ExitProcess(3);
  }).detach();

  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
  const std::string answer = HostFrameAnswer();
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<u_short>(port));
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, SOMAXCONN) != 0) {
    std::fprintf(stderr, "winsock_reference: cannot listen on port %d\n", port);
    return 1;
  }
  std::printf("listening port=%d\n", port);
  std::fflush(stdout);

  std::string head;
  char buffer[4096];
  for (;;) {
    const SOCKET client = accept(listener, nullptr, nullptr);
    if (client == INVALID_SOCKET) continue;
    DWORD timeout = 5000;
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    // The whole head, however it is cut into segments; it is not looked at.
    head.clear();
    bool complete = false;
    while (!complete && head.size() < 16384) {
      const int got = recv(client, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      head.append(buffer, static_cast<std::size_t>(got));
      complete = head.find("\r\n\r\n") != std::string::npos;
    }
    if (complete) send(client, answer.data(), static_cast<int>(answer.size()), 0);
    closesocket(client);
  }
}
