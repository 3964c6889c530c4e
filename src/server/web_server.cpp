#include "server/web_server.h"

#include <mutex>
#include <string>

#include "app/main_window.h"
#include "app/program_state.h"
#include "app/texts.h"
#include "server/access_control.h"
#include "server/routes.h"

namespace tv {

namespace {

// The registry: a doubly linked list in order of registration, guarded by its own lock, which
// is never held together with another lock.
struct ActiveClient {
  ActiveClient* prev = nullptr;
  ActiveClient* next = nullptr;
  ClientId client = 0;
};

std::mutex& ActiveClientLock() {
  static std::mutex lock;
  return lock;
}
ActiveClient* ActiveClientList = nullptr;

}  // namespace

bool RegisterClient(ClientId client) {
  std::lock_guard guard(ActiveClientLock());
  ActiveClient* last = nullptr;
  for (ActiveClient* record = ActiveClientList; record; record = record->next) {
    if (record->client == client) return false;
    last = record;
  }
  auto* record = new ActiveClient{last, nullptr, client};
  if (last) last->next = record;
  if (!ActiveClientList) ActiveClientList = record;
  return true;
}

void UnregisterClient(ClientId client) {
  ActiveClient* record = nullptr;
  {
    std::lock_guard guard(ActiveClientLock());
    for (record = ActiveClientList; record && record->client != client; record = record->next) {
    }
    if (!record) return;
    if (record->prev) record->prev->next = record->next;
    if (record->next) record->next->prev = record->prev;
    if (ActiveClientList == record) ActiveClientList = record->next;
  }
  delete record;
}

void StartStopServer(ServerPorts& ports) {
  Ui& ui = ports.ui;
  if (ServerRunning == 0) {
    const int port = ui.SpinValue(kPortSpin);
    if (!ports.network.CreateServer(port)) {
      // "Es konnte kein Server auf Port: <port> erstellt werden.\nVielleicht wird der Port durch
      // ein anderes Programm blockiert?"
      ui.ShowMessage(
          texts::kErrorTitle,
          std::string(texts::kServerFailedBefore) + std::to_string(port) + std::string(texts::kServerFailedAfter),
          MessageIcon::Error, MessageButtons::Ok);
      return;
    }
    ui.SetButtonText(kServerButton, texts::kStopServer);
    ui.EnableControl(kPortSpin, false);
    ServerRunning = 1;
  } else {
    ports.network.CloseServer();
    ui.SetButtonText(kServerButton, texts::kStartServer);
    ui.EnableControl(kPortSpin, true);
    ServerRunning = 0;
  }
}

void PollServerOnce(ServerPorts& ports) {
  const ServerEvent event = ports.network.PollServer();
  if (event == ServerEvent::DataWaiting || event == ServerEvent::Marker) {
    const ClientId client = ports.network.EventClient();
    ports.startHandler([&ports, client] { RequestHandler(ports, client); });
  }
}

void RequestHandler(ServerPorts& ports, ClientId client) {
  RequestContext request;
  request.client = client;
  request.startTick = std::chrono::steady_clock::now();
  if (!RegisterClient(client)) return;
  Network& network = ports.network;
  request.peerAddress = network.PeerAddress(client);
  const HeadEnd end = ReadRequestHead(network, client, request.head, ports.headLimits);
  // A poll that sees a request before its handler takes it starts a second handler, which gets
  // the connection once the first is done and may find nothing more: no request to answer or log.
  // A connection that ended or stayed silent is closed, so that no later poll reports it again.
  if (request.head.empty()) {
    if (end == HeadEnd::TimedOut || end == HeadEnd::Failed) network.CloseClient(client);
    UnregisterClient(client);
    return;
  }
  ParseRequest(request);
  // Only the accepted connection's own address counts; nothing in the head can change it.
  request.allowed = DecideAccess(ports.ui, request.peerAddress);
  (void)RouteRequest(request, RoutePorts{network, ports.keys, network.HostName()});
  // A head cut off by its bound or its deadline is answered as it stands; such a client gets no
  // further chance on this connection.
  if (end == HeadEnd::TooLong || end == HeadEnd::TimedOut) network.CloseClient(client);
  if (ports.logRequest) ports.logRequest(request);
  UnregisterClient(client);
}

}  // namespace tv
