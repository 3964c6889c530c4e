#include <gtest/gtest.h>

#include "assets/catalogue.h"
#include "e2e/e2e_support.h"

namespace tv::e2e {
namespace {

using namespace std::chrono_literals;

TEST(MainWindowTest, OpensCentredWithItsFrameAndClosesWithExitCode200) {
  RunningProgram program;
  ASSERT_TRUE(program.Start()) << "no window titled \"Tastovolant v.2.0.0\" appeared";
  HWND window = program.MainWindow();

  RECT client;
  ASSERT_TRUE(GetClientRect(window, &client));
  EXPECT_EQ(client.right, 640);
  EXPECT_EQ(client.bottom, 480);

  const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_FALSE(style & WS_THICKFRAME) << "the frame must be fixed";
  EXPECT_FALSE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);

  RECT outer;
  ASSERT_TRUE(GetWindowRect(window, &outer));
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
  EXPECT_NEAR(outer.left, (screenWidth - (outer.right - outer.left)) / 2, 1);
  EXPECT_NEAR(outer.top, (screenHeight - (outer.bottom - outer.top)) / 2, 1);

  // The window paints its backdrop, and the logo over it.
  const std::optional<Image> backdrop = DecodePng(assets::kMainBackdrop);
  ASSERT_TRUE(backdrop.has_value());
  std::optional<Image> shot;
  const bool painted = WaitUntil(
      [&] {
        shot = CaptureClientArea(window);
        return shot && shot->Width() == 640 && shot->At(10, 200) == backdrop->At(10, 200) &&
               shot->At(600, 20) == backdrop->At(600, 20);
      },
      10s);
  ASSERT_TRUE(shot.has_value());
  EXPECT_TRUE(SaveScreenshot(*shot, "main_window"));
  ASSERT_TRUE(painted) << "the window does not show its backdrop (see build/windows/screenshots)";
  int matching = 0, logoDiffers = 0;
  for (int y = 100; y < 140; ++y) {
    for (int x = 10; x < 60; ++x) matching += shot->At(x, y) == backdrop->At(x, y);
  }
  EXPECT_EQ(matching, 40 * 50);
  for (int y = 25; y < 93; ++y) {
    for (int x = 75; x < 225; ++x) logoDiffers += !(shot->At(x, y) == backdrop->At(x, y));
  }
  EXPECT_GT(logoDiffers, 500) << "the logo is not drawn";

  program.RequestClose();
  EXPECT_EQ(program.WaitForExit(30s), std::optional<DWORD>(200));
}

}  // namespace
}  // namespace tv::e2e
