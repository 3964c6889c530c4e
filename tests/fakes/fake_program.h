#pragma once
// A program wired to fake ports, whose background threads are recorded rather than started, so
// that a test decides whether and when they run.
#include <functional>
#include <string>
#include <vector>

#include "app/program.h"
#include "fakes/fake_ports.h"
#include "fakes/fake_ui.h"
#include "fakes/fake_update_ports.h"

namespace tv::fakes {

struct ProgramHarness {
  FakeUi ui;
  FakeText text;
  FakeNetwork network;
  FakeShell shell;
  ScriptedConnector connector;
  FakeFileDigest files;
  FakeKeys keys;
  std::vector<std::function<void()>> threads;
  ProgramSettings settings{"http://site.test"};

  ProgramHarness() {
    settings.startThread = [this](std::function<void()> body) { threads.push_back(std::move(body)); };
  }
  Program Make() { return Program(Ports{ui, text, network, shell, connector, files, keys}, settings); }

  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const auto& m : ui.messages) texts.push_back(m.text);
    return texts;
  }
};

}  // namespace tv::fakes
