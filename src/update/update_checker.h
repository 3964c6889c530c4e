#pragma once
// The update check: once at every start, on its own thread, it compares the files the update
// server lists with those beside the program and offers an update when any differs.
#include <string>
#include <string_view>

#include "platform/digest.h"
#include "platform/shell.h"
#include "platform/tcp_client.h"
#include "platform/ui.h"
#include "update/fetch_client.h"

namespace tv {

struct UpdatePorts {
  Ui& ui;
  Shell& shell;
  TcpConnector& connector;
  FileDigest& files;
};

// The whole check; `siteAddress` is "http://" and the maker's host. Every failure ends it without
// a message. Blocks the calling thread until the check and its prompt are over.
void CheckForUpdates(const UpdatePorts& ports, std::string_view siteAddress, const FetchOptions& options = {});

// The entry of the UpdateChecker thread, which start-up runs detached; the ports must outlive it.
void UpdateChecker(UpdatePorts ports, std::string siteAddress);

}  // namespace tv
