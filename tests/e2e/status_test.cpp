// The status picture on the device's screen: grey while stopped, red while nobody may come in,
// green once everybody may. Judged by the colour of the shield on screen, not by exact frames,
// since the picture slides and bobs.
#include <gtest/gtest.h>

#include <windows.h>

#include <array>
#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>

#include "assets/catalogue.h"
#include "e2e/e2e_support.h"

namespace tv::e2e {
namespace {

using namespace std::chrono_literals;

// The most common strongly coloured shade of a state picture, in steps of 16 per channel.
Rgba Signature(std::span<const unsigned char> png) {
  const std::optional<Image> picture = DecodePng(png);
  std::map<int, int> counts;
  for (Rgba p : picture->Pixels()) {
    if (p.a < 250 || (p.r > 200 && p.g > 200 && p.b > 200)) continue;  // skip the white band
    ++counts[(p.r / 16) << 8 | (p.g / 16) << 4 | (p.b / 16)];
  }
  int best = 0, bestCount = 0;
  for (auto [key, count] : counts) {
    if (count > bestCount) best = key, bestCount = count;
  }
  return Rgba{static_cast<std::uint8_t>((best >> 8 & 15) * 16 + 8),
              static_cast<std::uint8_t>((best >> 4 & 15) * 16 + 8), static_cast<std::uint8_t>((best & 15) * 16 + 8),
              255};
}

int Near(const Image& shot, Rgba colour) {
  int count = 0;
  for (int y = 80; y < 292; ++y) {
    for (int x = 80; x < 221; ++x) {
      const Rgba p = shot.At(x, y);
      if (std::abs(p.r - colour.r) + std::abs(p.g - colour.g) + std::abs(p.b - colour.b) < 48) ++count;
    }
  }
  return count;
}

class StatusPicture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(program_.Start());
    window_ = program_.MainWindow();
    signatures_ = {Signature(assets::kStoppedPicture), Signature(assets::kNoAccessPicture),
                   Signature(assets::kServingPicture)};
  }
  void TearDown() override {
    program_.RequestClose();
    EXPECT_EQ(program_.WaitForExit(30s), std::optional<DWORD>(200));
  }
  // Which state's shield fills most of the screen now: 0 stopped, 1 no access, 2 serving.
  int Shown(const std::string& screenshot) {
    const std::optional<Image> shot = CaptureClientArea(window_);
    if (!shot) return -1;
    SaveScreenshot(*shot, screenshot);
    std::array<int, 3> counts{};
    for (int i = 0; i < 3; ++i) counts[i] = Near(*shot, signatures_[i]);
    const int best = static_cast<int>(std::max_element(counts.begin(), counts.end()) - counts.begin());
    return counts[best] > 400 ? best : -1;
  }
  ::testing::AssertionResult Becomes(int state, const std::string& screenshot) {
    int last = -1;
    if (WaitUntil([&] { return (last = Shown(screenshot)) == state; }, 10s)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the screen shows state " << last << ", not " << state << "; "
                                         << OpenMessageBoxReport(program_.ProcessId());
  }

  WinsockSession winsock_;
  RunningProgram program_;
  HWND window_ = nullptr;
  std::array<Rgba, 3> signatures_;
};

TEST_F(StatusPicture, FollowsTheServerAndTheAccessMode) {
  EXPECT_TRUE(Becomes(0, "status_stopped"));
  // A port nobody else uses: the program's own default of 80 may be taken on a test machine.
  const std::wstring port = std::to_wstring(FreePort());
  SendMessageW(GetDlgItem(window_, 16), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(port.c_str()));
  PostMessageW(GetDlgItem(window_, 17), BM_CLICK, 0, 0);
  EXPECT_TRUE(Becomes(1, "status_no_access"));
  PostMessageW(GetDlgItem(window_, 9), BM_CLICK, 0, 0);
  EXPECT_TRUE(Becomes(2, "status_serving"));
  PostMessageW(GetDlgItem(window_, 17), BM_CLICK, 0, 0);
  EXPECT_TRUE(Becomes(0, "status_stopped_again"));
}

}  // namespace
}  // namespace tv::e2e
