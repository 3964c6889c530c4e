#pragma once
// An in-memory windowing port: it records what the program asks of it and plays back the events
// and pointer states that a test queues.
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace tv::fakes {

struct ShownMessage {
  std::string title;
  std::string text;
  MessageIcon icon;
  MessageButtons buttons;
};

struct FakeControl {
  int window = 0;
  Rect rect;
  bool disabled = false;
  std::shared_ptr<const Image> picture;
  int pictureChanges = 0;
};

// One loop pass's input: the event the wait returns and the pointer read after it.
struct Input {
  UiEvent event;
  PointerState pointer;
};

class FakeUi final : public Ui {
 public:
  // What the fake refuses, to test failure paths.
  bool failOpenMainWindow = false;
  int foregroundRefusals = 0;  // how many foreground checks report another window; -1: always

  // What happened, in order of the calls that matter to start-up.
  std::vector<std::string> calls;
  std::vector<ShownMessage> messages;
  std::map<int, std::shared_ptr<const Image>> backdrops;
  std::map<int, FakeControl> controls;
  std::vector<int> waitTimeouts;
  bool mainWindowOpen = false;
  bool mainWindowShown = false;
  std::string mainWindowTitle;
  int clientWidth = 0, clientHeight = 0;
  int foregroundRequests = 0;

  void Queue(UiEvent event, PointerState pointer = {}) { inputs_.push_back({event, pointer}); }
  void QueueClose() { Queue({EventKind::CloseRequest, 0}); }
  [[nodiscard]] bool InputsLeft() const { return !inputs_.empty(); }

  void Initialise() override { calls.push_back("Initialise"); }

  bool OpenMainWindow(std::string_view title, int width, int height) override {
    calls.push_back("OpenMainWindow");
    if (failOpenMainWindow) return false;
    mainWindowOpen = true;
    mainWindowTitle = title;
    clientWidth = width;
    clientHeight = height;
    return true;
  }
  void SetWindowBackdrop(int window, std::shared_ptr<const Image> image) override {
    calls.push_back("SetWindowBackdrop");
    backdrops[window] = std::move(image);
  }
  void ShowMainWindow() override {
    calls.push_back("ShowMainWindow");
    mainWindowShown = true;
  }
  bool MainWindowIsForeground() override {
    if (foregroundRefusals < 0) return false;
    if (foregroundRefusals > 0) {
      --foregroundRefusals;
      return false;
    }
    return true;
  }
  void BringMainWindowToForeground() override { ++foregroundRequests; }

  bool CreatePicture(int window, int control, Rect rect, bool disabled) override {
    calls.push_back("CreatePicture " + std::to_string(control));
    if (window == kMainWindow && !mainWindowOpen) return false;
    controls[control] = FakeControl{window, rect, disabled, nullptr, 0};
    return true;
  }
  void SetPicture(int control, std::shared_ptr<const Image> picture) override {
    std::lock_guard guard(lock_);
    auto found = controls.find(control);
    if (found == controls.end()) return;
    found->second.picture = std::move(picture);
    ++found->second.pictureChanges;
  }

  UiEvent WaitEvent(int timeoutMs) override {
    waitTimeouts.push_back(timeoutMs);
    if (inputs_.empty()) return {};
    current_ = inputs_.front();
    inputs_.pop_front();
    return current_.event;
  }
  PointerState Pointer() override { return current_.pointer; }

  MessageAnswer ShowMessage(std::string_view title, std::string_view text, MessageIcon icon,
                            MessageButtons buttons) override {
    calls.push_back("ShowMessage");
    messages.push_back({std::string(title), std::string(text), icon, buttons});
    return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
  }

 private:
  std::mutex lock_;
  std::deque<Input> inputs_;
  Input current_;
};

}  // namespace tv::fakes
