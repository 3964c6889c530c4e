#pragma once
// An in-memory windowing port: it records what the program asks of it, keeps the state of every
// control, and plays back the events and pointer states that a test queues. Thread-safe, so that
// tests can drive it from worker threads as the program does.
#include <algorithm>
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
  ControlPlan plan;  // as created
  int x = 0, y = 0;  // as last placed
  bool enabled = true;
  bool shown = true;
  bool checked = false;
  std::uint32_t address = 0;
  int spinValue = 0;
  int scrollPage = 0, scrollPosition = 0;
  std::string text;
  std::shared_ptr<const Image> picture;
  int pictureChanges = 0;
  int moves = 0;
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
  bool failOpenPane = false;
  int foregroundRefusals = 0;  // how many foreground checks report another window; -1: always
  // The answer to the next Yes/No boxes, in order; No once they run out.
  std::deque<MessageAnswer> answers;

  // What happened, in order of the calls that matter to start-up.
  std::vector<std::string> calls;
  std::vector<ShownMessage> messages;
  std::map<int, std::shared_ptr<const Image>> backdrops;
  std::map<int, FakeControl> controls;
  std::vector<int> creationOrder;
  std::vector<int> waitTimeouts;
  bool mainWindowOpen = false;
  bool mainWindowShown = false;
  std::string mainWindowTitle;
  int clientWidth = 0, clientHeight = 0;
  bool paneOpen = false;
  Rect paneRect;
  std::string paneText;
  int foregroundRequests = 0;
  ClientLogRows log;

  // ---- test side ------------------------------------------------------------------------
  void Queue(UiEvent event, PointerState pointer = {}) {
    std::lock_guard guard(lock_);
    inputs_.push_back({event, pointer});
  }
  void QueueClose() { Queue({EventKind::CloseRequest, 0}); }
  [[nodiscard]] bool InputsLeft() {
    std::lock_guard guard(lock_);
    return !inputs_.empty();
  }
  // A click by the user: the box toggles itself, then its control event follows.
  void ClickBox(int control) {
    {
      std::lock_guard guard(lock_);
      FakeControl& box = controls.at(control);
      box.checked = !box.checked;
    }
    Queue({EventKind::Control, control});
  }
  // The user types into an address field or the spin field.
  void TypeAddress(int control, std::uint32_t value) {
    std::lock_guard guard(lock_);
    controls.at(control).address = value;
  }
  void TypeSpin(int control, int value) {
    std::lock_guard guard(lock_);
    controls.at(control).spinValue = value;
  }
  // The user moves a scroll bar.
  void Scroll(int control, int position) {
    std::lock_guard guard(lock_);
    FakeControl& bar = controls.at(control);
    bar.scrollPosition = ClampScroll(bar, position);
  }
  [[nodiscard]] FakeControl Control(int control) {
    std::lock_guard guard(lock_);
    return controls.at(control);
  }
  [[nodiscard]] bool Has(int control) {
    std::lock_guard guard(lock_);
    return controls.count(control) != 0;
  }
  [[nodiscard]] ClientLogRows Log() {
    std::lock_guard guard(lock_);
    return log;
  }

  // ---- Ui -------------------------------------------------------------------------------
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
    calls.push_back("SetWindowBackdrop " + std::to_string(window));
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

  bool OpenPane(int window, Rect rect, std::string_view text) override {
    calls.push_back("OpenPane " + std::to_string(window));
    if (failOpenPane || !mainWindowOpen) return false;
    paneOpen = true;
    paneRect = rect;
    paneText = text;
    return true;
  }

  int CreateControl(int window, const ControlPlan& plan) override {
    std::lock_guard guard(lock_);
    const bool windowExists = window == kMainWindow ? mainWindowOpen : window == kAddressListPane && paneOpen;
    int number = plan.number == kAutoNumber ? nextAutoNumber_++ : plan.number;
    calls.push_back("CreateControl " + std::to_string(plan.number == kAutoNumber ? 0 : number));
    if (!windowExists || controls.count(number)) return 0;
    FakeControl control;
    control.window = window;
    control.plan = plan;
    control.x = plan.rect.x;
    control.y = plan.rect.y;
    control.enabled = !plan.disabled;
    control.text = plan.text;
    control.picture = plan.picture;
    control.spinValue = plan.value;
    control.scrollPage = plan.page;
    control.scrollPosition = plan.value;
    controls[number] = control;
    creationOrder.push_back(number);
    return number;
  }
  void DestroyControl(int control) override {
    std::lock_guard guard(lock_);
    controls.erase(control);
    destroyed_.push_back(control);
  }
  void EnableControl(int control, bool enabled) override { Change(control, [&](FakeControl& c) { c.enabled = enabled; }); }
  void SetButtonText(int control, std::string_view text) override {
    Change(control, [&](FakeControl& c) { c.text = text; });
  }
  int SpinValue(int control) override { return Read(control, &FakeControl::spinValue); }
  void SetChecked(int control, bool checked) override { Change(control, [&](FakeControl& c) { c.checked = checked; }); }
  void SetScrollPage(int control, int page) override {
    Change(control, [&](FakeControl& c) {
      c.scrollPage = std::min(page, 999);
      c.scrollPosition = ClampScroll(c, c.scrollPosition);
    });
  }
  void SetScrollPosition(int control, int position) override {
    Change(control, [&](FakeControl& c) { c.scrollPosition = ClampScroll(c, position); });
  }

  void SetPicture(int control, std::shared_ptr<const Image> picture) override {
    Change(control, [&](FakeControl& c) {
      c.picture = std::move(picture);
      ++c.pictureChanges;
    });
  }
  bool IsChecked(int control) override { return Read(control, &FakeControl::checked); }
  std::uint32_t AddressValue(int control) override { return Read(control, &FakeControl::address); }
  int ScrollPosition(int control) override { return Read(control, &FakeControl::scrollPosition); }
  void MoveControl(int control, int x, int y) override {
    Change(control, [&](FakeControl& c) {
      c.x = x;
      c.y = y;
      ++c.moves;
    });
  }
  int ControlTop(int control) override { return Read(control, &FakeControl::y); }
  void ShowControl(int control, bool shown) override { Change(control, [&](FakeControl& c) { c.shown = shown; }); }
  void RequestEnd(int exitCode) override { Queue({EventKind::EndRequest, 0, exitCode}); }
  void EditClientLog(const std::function<void(ClientLogRows&)>& edit) override {
    std::lock_guard guard(logLock_);
    std::lock_guard stateGuard(lock_);
    edit(log);
  }

  UiEvent WaitEvent(int timeoutMs) override {
    std::lock_guard guard(lock_);
    waitTimeouts.push_back(timeoutMs);
    if (inputs_.empty()) {
      current_ = {};
      return {};
    }
    current_ = inputs_.front();
    inputs_.pop_front();
    return current_.event;
  }
  PointerState Pointer() override {
    std::lock_guard guard(lock_);
    return current_.pointer;
  }

  MessageAnswer ShowMessage(std::string_view title, std::string_view text, MessageIcon icon,
                            MessageButtons buttons) override {
    std::lock_guard guard(lock_);
    calls.push_back("ShowMessage");
    messages.push_back({std::string(title), std::string(text), icon, buttons});
    if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
    if (answers.empty()) return MessageAnswer::No;
    const MessageAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }

 private:
  static int ClampScroll(const FakeControl& bar, int position) {
    const int last = std::max(1, 1000 - bar.scrollPage);
    return std::clamp(position, 1, last);
  }
  template <typename Edit>
  void Change(int control, Edit edit) {
    std::lock_guard guard(lock_);
    auto found = controls.find(control);
    if (found != controls.end()) edit(found->second);
  }
  template <typename Field>
  Field Read(int control, Field FakeControl::*field) {
    std::lock_guard guard(lock_);
    auto found = controls.find(control);
    return found == controls.end() ? Field{} : found->second.*field;
  }

  std::recursive_mutex lock_;
  std::mutex logLock_;
  std::deque<Input> inputs_;
  Input current_;
  int nextAutoNumber_ = 1000;
  std::vector<int> destroyed_;
};

}  // namespace tv::fakes
