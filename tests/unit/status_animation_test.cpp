#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

#include "status/status_animation.h"

namespace tv {

void PrintTo(const StatusSprite& sprite, std::ostream* out) {
  *out << "{picture " << (sprite.picture ? static_cast<int>(*sprite.picture) : -1) << ", y " << sprite.y << "}";
}

namespace {

// Steps `animation` `frames` times in one state; the last frame.
StatusFrame Advance(StatusAnimation& animation, StatusState state, int frames) {
  StatusFrame frame;
  for (int i = 0; i < frames; ++i) {
    frame = StepStatusAnimation(animation, state);
    animation = frame.animation;
  }
  return frame;
}

// Started in Stopped and come to rest.
StatusAnimation RestingOnStopped() {
  StatusAnimation animation = StartStatusAnimation(StatusState::Stopped);
  Advance(animation, StatusState::Stopped, 54);
  return animation;
}

TEST(StatusAnimationTest, StartsWithTheCurrentPictureJustAboveTheCanvas) {
  const StatusAnimation animation = StartStatusAnimation(StatusState::Serving);
  EXPECT_EQ(animation.sprites[0], (StatusSprite{StatusState::Serving, -101}));
  EXPECT_EQ(animation.sprites[1], (StatusSprite{std::nullopt, 0}));
  EXPECT_EQ(animation.incoming, 0);
  EXPECT_TRUE(animation.moving);
  EXPECT_EQ(animation.shown, StatusState::Serving);
  EXPECT_EQ(animation.bob, 0.0f);
  EXPECT_EQ(animation.bobStep, 0.2f);
}

TEST(StatusAnimationTest, FirstPictureSlidesInAndRestsAt61After54Frames) {
  StatusAnimation animation = StartStatusAnimation(StatusState::Stopped);
  for (int frame = 1; frame <= 53; ++frame) {
    const StatusFrame f = Advance(animation, StatusState::Stopped, 1);
    ASSERT_TRUE(animation.moving) << frame;
    EXPECT_EQ(animation.sprites[0].y, -101.0f + 3.0f * static_cast<float>(frame));
    ASSERT_EQ(f.draws.size(), 1u) << "sprite 1 has no picture yet";
    EXPECT_EQ(f.draws[0].picture, StatusState::Stopped);
    EXPECT_EQ(f.draws[0].x, 20);
  }
  EXPECT_EQ(StepStatusAnimation(StartStatusAnimation(StatusState::Stopped), StatusState::Stopped).draws[0].y, -98);

  Advance(animation, StatusState::Stopped, 1);
  EXPECT_FALSE(animation.moving);
  EXPECT_EQ(animation.sprites[0].y, 61.0f);
  EXPECT_EQ(animation.incoming, 1);
  EXPECT_EQ(animation.sprites[1].y, -110.0f);

  // At rest only the bob moves it.
  for (int frame = 0; frame < 300; ++frame) {
    const StatusFrame f = Advance(animation, StatusState::Stopped, 1);
    ASSERT_EQ(animation.sprites[0].y, 61.0f);
    ASSERT_EQ(f.draws.size(), 1u);
    EXPECT_LE(std::abs(f.draws[0].y - 61), 10);
  }
}

TEST(StatusAnimationTest, ArrivalNeedsTheTopEdgeStrictlyBetween60And70) {
  struct Case {
    float startY;
    int framesToArrive;  // 0: never arrives
  };
  for (Case c : {Case{54, 3}, Case{57, 2}, Case{58, 1}, Case{66, 1}, Case{67, 0}, Case{-110, 57}}) {
    SCOPED_TRACE(c.startY);
    StatusAnimation animation;
    animation.sprites[0] = {StatusState::Serving, c.startY};
    animation.sprites[1] = {StatusState::Stopped, 100};
    animation.shown = StatusState::Serving;
    int arrived = 0;
    for (int frame = 1; frame <= 100 && arrived == 0; ++frame) {
      Advance(animation, StatusState::Serving, 1);
      if (!animation.moving) arrived = frame;
    }
    EXPECT_EQ(arrived, c.framesToArrive);
    if (arrived != 0) {
      EXPECT_EQ(animation.sprites[0].y, c.startY + 3.0f * static_cast<float>(arrived));
    }
  }
}

TEST(StatusAnimationTest, ChangeSlidesTheNewPictureInFromAboveAndTheOldOneOutAtTheBottom) {
  StatusAnimation animation = RestingOnStopped();
  StatusFrame f = Advance(animation, StatusState::NoAccess, 1);
  EXPECT_TRUE(animation.moving);
  EXPECT_EQ(animation.shown, StatusState::NoAccess);
  EXPECT_EQ(animation.sprites[1], (StatusSprite{StatusState::NoAccess, -110}));
  EXPECT_EQ(animation.sprites[0], (StatusSprite{StatusState::Stopped, 61}));
  ASSERT_EQ(f.draws.size(), 2u);
  EXPECT_EQ(f.draws[0].picture, StatusState::Stopped);
  EXPECT_EQ(f.draws[1].picture, StatusState::NoAccess);

  f = Advance(animation, StatusState::NoAccess, 56);
  EXPECT_TRUE(animation.moving);
  EXPECT_EQ(animation.sprites[1].y, 58.0f);
  EXPECT_EQ(animation.sprites[0].y, 229.0f);
  ASSERT_EQ(f.draws.size(), 2u);
  EXPECT_GE(f.draws[0].y, kStatusCanvasHeight) << "the old picture has left the canvas";

  f = Advance(animation, StatusState::NoAccess, 1);
  EXPECT_FALSE(animation.moving);
  EXPECT_EQ(animation.sprites[1], (StatusSprite{StatusState::NoAccess, 61}));
  EXPECT_EQ(animation.incoming, 0);
  EXPECT_EQ(animation.sprites[0].y, -110.0f);
  ASSERT_EQ(f.draws.size(), 2u);
  EXPECT_LE(f.draws[0].y + 101, 1) << "the next incoming sprite waits above the canvas";

  // And back again: the roles swap.
  Advance(animation, StatusState::Stopped, 1);
  EXPECT_EQ(animation.sprites[0], (StatusSprite{StatusState::Stopped, -110}));
  Advance(animation, StatusState::Stopped, 57);
  EXPECT_FALSE(animation.moving);
  EXPECT_EQ(animation.sprites[0].y, 61.0f);
  EXPECT_EQ(animation.incoming, 1);
}

TEST(StatusAnimationTest, ChangesDuringOneSlideEndOnTheLaterPictureWithoutRestartingTheSlide) {
  for (StatusState second : {StatusState::Serving, StatusState::Stopped}) {
    SCOPED_TRACE(static_cast<int>(second));
    StatusAnimation animation = RestingOnStopped();
    Advance(animation, StatusState::NoAccess, 10);
    Advance(animation, second, 48);
    EXPECT_FALSE(animation.moving) << "arrives 57 frames after the first change, as without the second";
    EXPECT_EQ(animation.sprites[1], (StatusSprite{second, 61}));
    EXPECT_EQ(animation.sprites[0].picture, StatusState::Stopped) << "the leaving sprite keeps its picture";
    EXPECT_EQ(animation.shown, second);
  }

  // During the very first slide the incoming sprite is sprite 0.
  StatusAnimation animation = StartStatusAnimation(StatusState::Stopped);
  Advance(animation, StatusState::Stopped, 20);
  Advance(animation, StatusState::Serving, 34);
  EXPECT_FALSE(animation.moving);
  EXPECT_EQ(animation.sprites[0], (StatusSprite{StatusState::Serving, 61}));
  EXPECT_FALSE(animation.sprites[1].picture.has_value());
}

TEST(StatusAnimationTest, ChangeOnTheFrameOfArrivalGoesToTheNextIncomingSprite) {
  StatusAnimation animation = StartStatusAnimation(StatusState::Stopped);
  Advance(animation, StatusState::Stopped, 53);
  Advance(animation, StatusState::Serving, 1);
  EXPECT_TRUE(animation.moving);
  EXPECT_EQ(animation.sprites[0], (StatusSprite{StatusState::Stopped, 61}));
  EXPECT_EQ(animation.sprites[1], (StatusSprite{StatusState::Serving, -110}));
}

TEST(StatusAnimationTest, BobSwingsAbout10Point2EitherWayIn204Frames) {
  StatusAnimation resting = StartStatusAnimation(StatusState::Stopped);
  StatusAnimation changing = resting;
  std::vector<float> bobs;
  std::vector<int> flips;
  std::set<int> restingYs;
  for (int frame = 1; frame <= 1000; ++frame) {
    const float stepBefore = resting.bobStep;
    const StatusFrame f = Advance(resting, StatusState::Stopped, 1);
    if (!resting.moving) restingYs.insert(f.draws[0].y);
    bobs.push_back(resting.bob);
    if (resting.bobStep != stepBefore) flips.push_back(frame);
    // The bob goes on whatever the sprites do.
    Advance(changing, frame % 150 < 75 ? StatusState::Serving : StatusState::NoAccess, 1);
    ASSERT_EQ(changing.bob, resting.bob) << frame;
  }
  const auto [low, high] = std::minmax_element(bobs.begin(), bobs.end());
  EXPECT_NEAR(*high, 10.2f, 1e-3f);
  EXPECT_NEAR(*low, -10.2f, 1e-3f);
  for (std::size_t i = 1; i < bobs.size(); ++i) ASSERT_NEAR(std::abs(bobs[i] - bobs[i - 1]), 0.2f, 1e-4f);

  ASSERT_GE(flips.size(), 4u);
  EXPECT_EQ(flips[0], 51);  // 0 up to 10.2
  for (std::size_t i = 1; i < flips.size(); ++i) EXPECT_EQ(flips[i] - flips[i - 1], 102) << i;
  for (std::size_t i = 100; i + 204 < bobs.size(); ++i) ASSERT_NEAR(bobs[i + 204], bobs[i], 1e-3f) << i;

  std::set<int> expectedYs;
  for (int y = 51; y <= 71; ++y) expectedYs.insert(y);
  EXPECT_EQ(restingYs, expectedYs);
}

TEST(RoundHalfEvenTest, HalvesGoToTheEvenNeighbour) {
  struct Case {
    float value;
    int expected;
  };
  for (Case c : {Case{0.5f, 0}, Case{1.5f, 2}, Case{2.5f, 2}, Case{60.5f, 60}, Case{61.5f, 62}, Case{-0.5f, 0},
                 Case{-1.5f, -2}, Case{-2.5f, -2}, Case{-109.5f, -110}, Case{60.4f, 60}, Case{60.6f, 61},
                 Case{-98.2f, -98}, Case{-98.6f, -99}, Case{71.2f, 71}, Case{-0.2f, 0}, Case{3.0f, 3}}) {
    EXPECT_EQ(RoundHalfEven(c.value), c.expected) << c.value;
  }
}

TEST(StatusAnimationTest, DrawnPositionRoundsSpriteYPlusBobHalvesToEven) {
  struct Case {
    float y, bob;
    int expected;
  };
  for (Case c : {Case{60, 0.5f, 60}, Case{61, 0.5f, 62}, Case{61, -0.5f, 60}, Case{61, 0.6f, 62}, Case{-2, 0.5f, -2}}) {
    StatusAnimation animation;
    animation.sprites[0] = {StatusState::Serving, c.y};
    animation.moving = false;
    animation.shown = StatusState::Serving;
    animation.bob = c.bob;
    const StatusFrame f = StepStatusAnimation(animation, StatusState::Serving);
    ASSERT_EQ(f.draws.size(), 1u);
    EXPECT_EQ(f.draws[0].y, c.expected) << c.y << " + " << c.bob;
  }
}

}  // namespace
}  // namespace tv
