#pragma once
// In-memory text, network and shell ports.
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/keys.h"
#include "platform/network.h"
#include "platform/shell.h"
#include "platform/text.h"

namespace tv::fakes {

// A deterministic rasteriser: every character is a 6x11 cell whose left five columns are fully
// covered, so widths and coverage are easy to predict.
class FakeText final : public TextRenderer {
 public:
  bool failLoadFont = false;
  std::vector<std::string> loadedFonts;

  bool LoadFont(std::string_view face, int points) override {
    loadedFonts.push_back(std::string(face) + " " + std::to_string(points));
    return !failLoadFont;
  }
  TextSize Measure(std::string_view text) override { return {static_cast<int>(text.size()) * 6, 11}; }
  TextMask Rasterise(std::string_view text) override {
    const TextSize size = Measure(text);
    TextMask mask{
        size.width, size.height,
        std::vector<std::uint8_t>(static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height))};
    for (int y = 0; y < size.height; ++y) {
      for (int x = 0; x < size.width; ++x) {
        mask.coverage[static_cast<std::size_t>(y * size.width + x)] = x % 6 == 5 ? 0 : 255;
      }
    }
    return mask;
  }
};

// A network with no server: a test that needs one uses the real posix adapter on loopback.
class FakeNetwork : public Network {
 public:
  int starts = 0;
  int cleanups = 0;
  std::string hostName = "fakehost";
  std::map<std::uint32_t, std::string> names;  // reverse lookups that find an answer

  void StartSockets() override { ++starts; }
  void CleanupSockets() override { ++cleanups; }
  bool CreateServer(int) override { return false; }
  void CloseServer() override {}
  int ServerPort() override { return 0; }
  ServerEvent PollServer() override { return ServerEvent::Nothing; }
  ClientId EventClient() override { return 0; }
  void CloseClient(ClientId) override {}
  int Receive(ClientId, std::span<unsigned char>) override { return -1; }
  int Peek(ClientId, std::span<unsigned char>) override { return -1; }
  void WaitReadable(ClientId, int) override {}
  int Send(ClientId, std::span<const unsigned char>) override { return -1; }
  std::uint32_t PeerAddress(ClientId) override { return 0; }
  std::string HostName() override { return hostName; }
  std::optional<std::string> ReverseLookup(std::uint32_t address) override {
    std::lock_guard guard(lock_);
    ++lookups;
    auto found = names.find(address);
    if (found == names.end()) return std::nullopt;
    return found->second;
  }
  int lookups = 0;

 private:
  std::mutex lock_;
};

class FakeKeys final : public Keys {
 public:
  void SendMediaKey(std::uint16_t virtualKey) override {
    std::lock_guard guard(lock_);
    pressed.push_back(virtualKey);
  }
  std::vector<std::uint16_t> Pressed() {
    std::lock_guard guard(lock_);
    return pressed;
  }

 private:
  std::mutex lock_;
  std::vector<std::uint16_t> pressed;
};

class FakeShell final : public Shell {
 public:
  std::vector<std::string> opened;
  std::vector<std::string> started;  // "file parameters"
  bool failStart = false;
  void OpenAddress(std::string_view address) override { opened.emplace_back(address); }
  bool StartProgram(std::string_view file, std::string_view parameters) override {
    started.push_back(std::string(file) + " " + std::string(parameters));
    return !failStart;
  }
};

}  // namespace tv::fakes
