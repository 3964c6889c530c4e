#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "access_editor/address_row.h"
#include "app/main_window.h"
#include "app/program_state.h"
#include "fakes/fake_ui.h"
#include "status/status_animator.h"

namespace tv {
namespace {

// A backdrop whose every pixel differs from its neighbours, so that a misplaced copy shows.
Image PatternedBackdrop() {
  Image backdrop(kStatusCanvasWidth, kStatusCanvasHeight);
  for (int y = 0; y < backdrop.Height(); ++y) {
    for (int x = 0; x < backdrop.Width(); ++x) {
      backdrop.At(x, y) = {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), static_cast<std::uint8_t>(x ^ y),
                           255};
    }
  }
  return backdrop;
}

// A state picture: opaque `colour` in rows 0 to 49, transparent in rows 50 to 89, half covering
// in rows 90 to 100.
Image Shield(Rgba colour) {
  Image picture(100, 101, Rgba{});
  for (int y = 0; y < 101; ++y) {
    for (int x = 0; x < 100; ++x) {
      if (y < 50) picture.At(x, y) = colour;
      if (y >= 90) picture.At(x, y) = {colour.r, colour.g, colour.b, 128};
    }
  }
  return picture;
}

StatusPictures SyntheticPictures() {
  return {PatternedBackdrop(), Shield({200, 200, 200, 255}), Shield({220, 0, 0, 255}), Shield({0, 180, 0, 255})};
}

bool Inside(int x, int y, const StatusDraw& draw) {
  return x >= draw.x && x < draw.x + 100 && y >= draw.y && y < draw.y + 101;
}

TEST(ComposeStatusCanvasTest, BackdropWhereNoSpriteCoversAndTheSpriteBlendedWhereItDoes) {
  const StatusPictures pictures = SyntheticPictures();
  for (StatusDraw draw : {StatusDraw{StatusState::NoAccess, 20, 61}, StatusDraw{StatusState::Serving, 20, -60},
                          StatusDraw{StatusState::Stopped, 20, 180}}) {
    SCOPED_TRACE(draw.y);
    const StatusDraw draws[] = {draw};
    const Image canvas = ComposeStatusCanvas(pictures, draws);
    ASSERT_EQ(canvas.Width(), 141);
    ASSERT_EQ(canvas.Height(), 212);
    const Image& sprite = pictures.Picture(draw.picture);
    int covered = 0;
    for (int y = 0; y < canvas.Height(); ++y) {
      for (int x = 0; x < canvas.Width(); ++x) {
        const Rgba under = pictures.backdrop.At(x, y);
        const Rgba expected = Inside(x, y, draw) ? BlendOver(under, sprite.At(x - draw.x, y - draw.y)) : under;
        ASSERT_EQ(canvas.At(x, y), expected) << x << "," << y;
        covered += Inside(x, y, draw) && sprite.At(x - draw.x, y - draw.y).a != 0;
      }
    }
    EXPECT_GT(covered, 0);
  }
  const Image canvas = ComposeStatusCanvas(pictures, {});
  EXPECT_EQ(canvas, pictures.backdrop);
}

TEST(ComposeStatusCanvasTest, LaterDrawsLieOverEarlierOnes) {
  const StatusPictures pictures = SyntheticPictures();
  const StatusDraw draws[] = {{StatusState::Stopped, 20, 40}, {StatusState::Serving, 20, 80}};
  const Image canvas = ComposeStatusCanvas(pictures, draws);
  const Rgba stoppedHalf = pictures.stopped.At(30, 95), servingHalf = pictures.serving.At(30, 95);
  EXPECT_EQ(canvas.At(50, 45), pictures.stopped.At(30, 5)) << "only the first";
  EXPECT_EQ(canvas.At(50, 85), pictures.serving.At(30, 5)) << "both opaque: the second";
  EXPECT_EQ(canvas.At(50, 135), BlendOver(pictures.backdrop.At(50, 135), stoppedHalf)) << "the second transparent";
  EXPECT_EQ(canvas.At(50, 175), BlendOver(pictures.backdrop.At(50, 175), servingHalf)) << "only the second";
}

TEST(StatusPicturesTest, EmbeddedPicturesDecodeAndEveryCanvasIsOpaque) {
  const StatusPictures pictures = DecodeStatusPictures(EmbeddedStatusPictureData());
  EXPECT_EQ(pictures.backdrop.Width(), 141);
  EXPECT_EQ(pictures.backdrop.Height(), 212);
  for (StatusState state : {StatusState::Stopped, StatusState::NoAccess, StatusState::Serving}) {
    EXPECT_EQ(pictures.Picture(state).Width(), 100);
    EXPECT_EQ(pictures.Picture(state).Height(), 101);
  }
  EXPECT_NE(pictures.stopped, pictures.noAccess);
  EXPECT_NE(pictures.noAccess, pictures.serving);
  const StatusDraw draws[] = {{StatusState::Stopped, 20, 150}, {StatusState::Serving, 20, -20}};
  const Image canvas = ComposeStatusCanvas(pictures, draws);
  for (const Rgba& p : canvas.Pixels()) ASSERT_EQ(p.a, 255);
}

// The animator against FakeUi with the embedded pictures; ServerRunning and the address rows are
// restored after each test.
class StatusAnimatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ui.OpenMainWindow("t", 640, 480));
    ControlPlan view;
    view.kind = ControlKind::Picture;
    view.number = kStatusView;
    ASSERT_EQ(ui.CreateControl(kMainWindow, view), kStatusView);
    for (int box : {kAllowAllBox, kAllowListBox, kAllowRangeBox}) {
      ControlPlan plan;
      plan.kind = ControlKind::CheckBox;
      plan.number = box;
      ASSERT_EQ(ui.CreateControl(kMainWindow, plan), box);
    }
  }
  void TearDown() override {
    ServerRunning = 0;
    AddressRowList = nullptr;
  }

  // Runs `frames` frames; `afterFrame` is called in place of each sleep with the frame's number,
  // counted from 1.
  void RunFrames(int frames, const std::function<void(int)>& afterFrame = {}) {
    StatusAnimatorOptions options;
    options.frames = frames;
    options.sleep = [&](std::chrono::milliseconds pause) {
      pauses.push_back(pause);
      const std::shared_ptr<const Image> shown = ui.Control(kStatusView).picture;
      if (shown) kept.push_back(shown);
      if (afterFrame) afterFrame(static_cast<int>(pauses.size()));
    };
    RunStatusAnimator(ui, options);
  }

  // The y at which `shown` has the picture of `state` resting on the backdrop, if any. The top
  // rows are left out: the sprite waiting above the canvas may reach into them with the bob.
  [[nodiscard]] std::optional<int> RestingY(const Image& shown, StatusState state) const {
    if (shown.Width() != kStatusCanvasWidth || shown.Height() != kStatusCanvasHeight) return std::nullopt;
    const auto below = [](const Image& image) { return image.Pixels().subspan(kSkippedRows * kStatusCanvasWidth); };
    for (int y = 61 - 11; y <= 61 + 11; ++y) {
      const StatusDraw draws[] = {{state, 20, y}};
      if (std::ranges::equal(below(shown), below(ComposeStatusCanvas(pictures, draws)))) return y;
    }
    return std::nullopt;
  }
  static constexpr std::size_t kSkippedRows = 20;

  fakes::FakeUi ui;
  const StatusPictures pictures = DecodeStatusPictures(EmbeddedStatusPictureData());
  std::vector<std::chrono::milliseconds> pauses;
  std::vector<std::shared_ptr<const Image>> kept;
};

TEST_F(StatusAnimatorTest, HandsStatusViewAFreshCanvasEveryFrameAndPauses10Ms) {
  RunFrames(60);
  EXPECT_EQ(ui.Control(kStatusView).pictureChanges, 60);
  ASSERT_EQ(pauses.size(), 60u);
  for (auto pause : pauses) EXPECT_EQ(pause, std::chrono::milliseconds(10));
  ASSERT_EQ(kept.size(), 60u);
  for (std::size_t i = 1; i < kept.size(); ++i) ASSERT_NE(kept[i].get(), kept[i - 1].get()) << i;

  // A canvas already handed over is never drawn into again: the first frame still shows the
  // picture just below the top edge, where the first step put it.
  const StatusDraw first[] = {{StatusState::Stopped, 20, -98}};
  EXPECT_EQ(*kept.front(), ComposeStatusCanvas(pictures, first));
  EXPECT_TRUE(RestingY(*kept.back(), StatusState::Stopped).has_value());
}

TEST_F(StatusAnimatorTest, FollowsAStateChangeMadeWhileItRuns) {
  ServerRunning = 1;  // no box checked: nobody admitted
  RunFrames(250, [&](int frame) {
    if (frame == 60) ui.ClickBox(kAllowAllBox);
    if (frame == 180) ServerRunning = 0;
  });
  EXPECT_TRUE(RestingY(*kept[59], StatusState::NoAccess).has_value());
  EXPECT_FALSE(RestingY(*kept[59], StatusState::Serving).has_value());
  // Mid-slide neither picture rests.
  EXPECT_FALSE(RestingY(*kept[90], StatusState::NoAccess).has_value());
  EXPECT_FALSE(RestingY(*kept[90], StatusState::Serving).has_value());
  EXPECT_TRUE(RestingY(*kept[179], StatusState::Serving).has_value());
  EXPECT_TRUE(RestingY(*kept.back(), StatusState::Stopped).has_value());
}

TEST_F(StatusAnimatorTest, StartsFromTheStateItFindsAndSeesTheAddressRows) {
  AddressRow row;
  ServerRunning = 1;
  ui.SetChecked(kAllowListBox, true);
  AddressRowList = &row;
  RunFrames(54);
  EXPECT_TRUE(RestingY(*kept.back(), StatusState::Serving).has_value());
}

TEST_F(StatusAnimatorTest, APictureThatCannotBeDecodedIsLeftOut) {
  const unsigned char notAPng[] = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'};
  StatusPictureData data = EmbeddedStatusPictureData();
  data.stopped = notAPng;
  StatusAnimatorOptions options;
  options.pictures = data;
  options.frames = 60;
  options.sleep = [](std::chrono::milliseconds) {};
  RunStatusAnimator(ui, options);
  const std::shared_ptr<const Image> shown = ui.Control(kStatusView).picture;
  ASSERT_TRUE(shown);
  EXPECT_EQ(*shown, pictures.backdrop);
}

// The product's thread: started once and never stopped, so it gets a windowing port that is never
// destroyed either.
TEST(StartStatusAnimatorTest, RunsOnItsOwnThreadAndKeepsTheViewChanging) {
  static fakes::FakeUi* const ui = [] {
    auto* fake = new fakes::FakeUi;
    (void)fake->OpenMainWindow("t", 640, 480);
    ControlPlan view;
    view.kind = ControlKind::Picture;
    view.number = kStatusView;
    (void)fake->CreateControl(kMainWindow, view);
    return fake;
  }();
  ASSERT_TRUE(ui->Has(kStatusView));
  ASSERT_TRUE(StartStatusAnimator(*ui));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (ui->Control(kStatusView).pictureChanges < 3 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const fakes::FakeControl view = ui->Control(kStatusView);
  EXPECT_GE(view.pictureChanges, 3);
  ASSERT_TRUE(view.picture);
  EXPECT_EQ(view.picture->Width(), kStatusCanvasWidth);
  EXPECT_EQ(view.picture->Height(), kStatusCanvasHeight);
}

}  // namespace
}  // namespace tv
