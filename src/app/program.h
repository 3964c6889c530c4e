#pragma once
// The program from start to end: start-up, the main loop and shutdown, on the main thread.
#include <functional>
#include <string>

#include "app/image_table.h"
#include "app/main_window.h"
#include "platform/digest.h"
#include "platform/keys.h"
#include "platform/network.h"
#include "platform/shell.h"
#include "platform/tcp_client.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "server/web_server.h"

namespace tv {

struct Ports {
  Ui& ui;
  TextRenderer& text;
  Network& network;
  Shell& shell;
  TcpConnector& connector;
  FileDigest& files;
  Keys& keys;
};

// Starts a background thread that is never joined; it ends by itself or with the process.
using ThreadStarter = std::function<void(std::function<void()> body)>;
void StartDetachedThread(std::function<void()> body);

struct ProgramSettings {
  // The maker's web site: scheme and host, no path, no trailing slash.
  std::string siteAddress;
  // How often start-up asks for the foreground before it goes on without it: a platform that
  // keeps refusing must not hold the program at start forever.
  int foregroundRequests = 50;
  StartUpPictures pictures = EmbeddedStartUpPictures();
  ThreadStarter startThread = StartDetachedThread;
  // Starts one request handler; the Windows program hands in the system's thread pool.
  ThreadStarter startHandler = StartDetachedThread;
};

inline constexpr int kExitClosed = 200;
inline constexpr int kExitNoMainWindow = 1;

class Program {
 public:
  Program(const Ports& ports, ProgramSettings settings);

  // Runs start-up, the main loop and shutdown; the process's exit code.
  [[nodiscard]] int Run();

  // The parts of Run, for tests that drive the loop pass by pass.
  [[nodiscard]] bool StartUp();       // false when the program cannot go on (no main window)
  [[nodiscard]] bool MainLoopPass();  // false once the main window was asked to close
  [[nodiscard]] int Shutdown();

  [[nodiscard]] const ImageTable& Images() const { return images_; }

 private:
  void ShowError(std::string_view text);
  void FollowPointerWithLogo(const UiEvent& event, const PointerState& pointer);
  // A control event, by control number.
  void Dispatch(int control);

  Ports ports_;
  ProgramSettings settings_;
  ServerPorts server_;
  ImageTable images_;
  int shownLogo_ = -1;
  int exitCode_ = kExitClosed;
};

}  // namespace tv
