#pragma once
// The web server's life: started and stopped by the server button, polled by the main loop, one
// handler per request.
#include <functional>

#include "platform/keys.h"
#include "platform/network.h"
#include "platform/ui.h"
#include "server/request_context.h"
#include "server/request_intake.h"

namespace tv {

struct ServerPorts {
  Ui& ui;
  Network& network;
  Keys& keys;
  // Starts one request handler; on Windows a pooled thread, because a new thread there costs
  // milliseconds.
  std::function<void(std::function<void()>)> startHandler;
  // Records a served request in the client log; left empty, nothing is recorded.
  std::function<void(const RequestContext&)> logRequest;
  HeadLimits headLimits;
};

// The server button: starts the server on the port field's value, or stops it.
void StartStopServer(ServerPorts& ports);

// One poll while the server runs; data waiting on a connection starts a handler for it.
void PollServerOnce(ServerPorts& ports);

// Serves one request on `client`, unless another handler is serving that connection already.
void RequestHandler(ServerPorts& ports, ClientId client);

// The connections being served right now, so that no connection is served by two handlers at
// once. False when `client` is already being served.
[[nodiscard]] bool RegisterClient(ClientId client);
void UnregisterClient(ClientId client);

}  // namespace tv
