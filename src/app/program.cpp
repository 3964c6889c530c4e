#include "app/program.h"

#include <thread>

#include "access_editor/address_list.h"
#include "access_editor/address_pane.h"
#include "app/access_mode.h"
#include "app/label_pictures.h"
#include "app/logo.h"
#include "app/main_window.h"
#include "app/program_state.h"
#include "app/texts.h"
#include "server/client_log.h"
#include "status/status_animator.h"
#include "update/update_checker.h"

namespace tv {

void StartDetachedThread(std::function<void()> body) { std::thread(std::move(body)).detach(); }

Program::Program(const Ports& ports, ProgramSettings settings)
    : ports_(ports), settings_(std::move(settings)), server_{ports_.ui,   ports_.network,
                                                             ports_.keys, settings_.startHandler,
                                                             {},          {}} {
  server_.logRequest = [this](const RequestContext& request) {
    LogClientRequest(ports_.ui, ports_.network, request.peerAddress, request.userAgent, request.startTick);
  };
}

int Program::Run() {
  if (!StartUp()) return kExitNoMainWindow;
  while (MainLoopPass()) {
  }
  return Shutdown();
}

void Program::ShowError(std::string_view text) {
  ports_.ui.ShowMessage(texts::kErrorTitle, text, MessageIcon::Error, MessageButtons::Ok);
}

bool Program::StartUp() {
  Ui& ui = ports_.ui;
  ui.Initialise();
  (void)AddressListLock();
  ports_.network.StartSockets();

  if (!ui.OpenMainWindow(texts::kMainWindowTitle, kMainClientWidth, kMainClientHeight)) {
    // Without the main window no control can exist; going on could only fail.
    ShowError(texts::kMainWindowFailed);
    ports_.network.CleanupSockets();
    return false;
  }
  if (!LoadPictures(images_, settings_.pictures)) ShowError(texts::kPicturesFailed);
  if (!LoadIcons(images_, settings_.pictures)) ShowError(texts::kIconsFailed);
  if (images_.Has(kMainBackdropImage)) ui.SetWindowBackdrop(kMainWindow, images_.Get(kMainBackdropImage));
  if (!ports_.text.LoadFont("Arial", 11)) ShowError(texts::kFontFailed);

  BuildLabelPictures(images_, ports_.text);
  BuildPaneBackdrop(images_);
  BuildLogoPictures(images_);
  CreateMainWindowControls(ui, images_, [this, &ui] { settings_.startThread([&ui] { RunAddressScroller(ui); }); });
  shownLogo_ = kLogoNormal;

  ui.ShowMainWindow();
  for (int asked = 0; asked < settings_.foregroundRequests && !ui.MainWindowIsForeground(); ++asked) {
    ui.BringMainWindowToForeground();
  }

  settings_.startThread([ports = UpdatePorts{ui, ports_.shell, ports_.connector, ports_.files},
                         site = settings_.siteAddress] { UpdateChecker(ports, site); });
  settings_.startThread([&ui] { RunStatusAnimator(ui, StatusAnimatorOptions{}); });
  return true;
}

void Program::FollowPointerWithLogo(const UiEvent& event, const PointerState& pointer) {
  if (event.kind == EventKind::LeftButtonUp && PointerOnLogo(pointer.x, pointer.y)) {
    ports_.shell.OpenAddress(settings_.siteAddress + std::string(texts::kLogoLinkPath));
  }
  const int wanted = LogoPictureFor(pointer);
  if (wanted != shownLogo_) {
    ports_.ui.SetPicture(kLogoView, images_.Get(wanted));
    shownLogo_ = wanted;
  }
}

bool Program::MainLoopPass() {
  const UiEvent event = ports_.ui.WaitEvent(3);
  const PointerState pointer = ports_.ui.Pointer();
  FollowPointerWithLogo(event, pointer);
  if (ServerRunning) PollServerOnce(server_);
  switch (event.kind) {
    case EventKind::Control:
      Dispatch(event.control);
      return true;
    case EventKind::LeftButtonUp:
      ApplyLabelBands(ports_.ui, pointer.x, pointer.y);
      return true;
    case EventKind::CloseRequest:
      return false;
    case EventKind::EndRequest:
      exitCode_ = event.exitCode;
      return false;
    case EventKind::None:
    case EventKind::Other:
      return true;
  }
  return true;
}

void Program::Dispatch(int control) {
  ScanAddressRows(ports_.ui, ports_.network, control);
  switch (control) {
    case kServerButton:
      StartStopServer(server_);
      break;
    case kAllowAllBox:
    case kAllowListBox:
    case kAllowRangeBox:
      ApplyAccessModeRule(ports_.ui, control);
      break;
    case kAddAddressButton:
      AddAddressRow(ports_.ui, images_);
      break;
    default:
      break;
  }
}

int Program::Shutdown() {
  ports_.network.CleanupSockets();
  return exitCode_;
}

}  // namespace tv
