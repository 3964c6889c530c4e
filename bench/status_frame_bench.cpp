// What one frame of the status picture costs, beside what merely copying a canvas of the same
// size costs, measured in the same run. The animator has 10 ms a frame; the figures say how much
// of that the drawing takes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "status/status_animator.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Case {
  std::string name;
  std::function<void()> body;
  std::vector<double> samples;  // nanoseconds a call, one per round
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main() {
  using namespace tv;
  const StatusPictures pictures = DecodeStatusPictures(EmbeddedStatusPictureData());
  if (pictures.backdrop.Empty() || pictures.stopped.Empty() || pictures.serving.Empty()) {
    std::fprintf(stderr, "the embedded status pictures could not be decoded\n");
    return 1;
  }

  volatile unsigned sink = 0;
  const std::size_t canvasBytes = sizeof(Rgba) * kStatusCanvasWidth * kStatusCanvasHeight;
  std::vector<Rgba> copyTarget(kStatusCanvasWidth * kStatusCanvasHeight);
  Image drawTarget(kStatusCanvasWidth, kStatusCanvasHeight);

  // Both sprites wholly on the canvas, as in the middle of a slide: the most a frame draws.
  const StatusDraw sliding[] = {{StatusState::Stopped, 20, 100}, {StatusState::Serving, 20, 5}};
  const StatusDraw resting[] = {{StatusState::Serving, 20, 61}};
  StatusAnimation animation = StartStatusAnimation(StatusState::Stopped);
  std::size_t calls = 0;
  int frameNumber = 0;

  std::vector<Case> cases;
  cases.push_back({"reference: memcpy of a 141x212 canvas",
                   [&] {
                     std::memcpy(copyTarget.data(), pictures.backdrop.Pixels().data(), canvasBytes);
                     sink = sink + copyTarget[calls++ % copyTarget.size()].r;
                   },
                   {}});
  cases.push_back({"reference: DrawOpaque of the backdrop",
                   [&] {
                     DrawOpaque(drawTarget, pictures.backdrop, 0, 0);
                     sink = sink + drawTarget.At(static_cast<int>(calls++ % kStatusCanvasWidth), 7).g;
                   },
                   {}});
  cases.push_back({"compose, one sprite resting",
                   [&] {
                     const Image canvas = ComposeStatusCanvas(pictures, resting);
                     sink = sink + canvas.At(60, 100).b;
                   },
                   {}});
  cases.push_back({"compose, two sprites sliding",
                   [&] {
                     const Image canvas = ComposeStatusCanvas(pictures, sliding);
                     sink = sink + canvas.At(60, 100).b;
                   },
                   {}});
  cases.push_back({"whole frame: step, compose, shared image",
                   [&] {
                     // Alternating states keep the sprites sliding, so two are drawn most frames.
                     const StatusState state = (frameNumber++ / 60) % 2 ? StatusState::Serving : StatusState::Stopped;
                     StatusFrame frame = StepStatusAnimation(animation, state);
                     animation = frame.animation;
                     auto canvas = std::make_shared<const Image>(ComposeStatusCanvas(pictures, frame.draws));
                     sink = sink + canvas->At(60, 100).b;
                   },
                   {}});

  constexpr int kRounds = 21;
  constexpr int kCallsPerRound = 500;
  for (Case& c : cases) {
    for (int i = 0; i < 50; ++i) c.body();  // warm the caches and the allocator
  }
  // Rounds interleave the cases so that a disturbance of the machine touches all of them alike.
  for (int round = 0; round < kRounds; ++round) {
    for (Case& c : cases) {
      const Clock::time_point start = Clock::now();
      for (int i = 0; i < kCallsPerRound; ++i) c.body();
      const std::chrono::duration<double, std::nano> spent = Clock::now() - start;
      c.samples.push_back(spent.count() / kCallsPerRound);
    }
  }

  const double memcpyNs = Median(cases[0].samples);
  const double opaqueNs = Median(cases[1].samples);
  const double budgetNs = std::chrono::duration<double, std::nano>(kStatusFramePause).count();
  std::printf("status frame composition, 141x212, median of %d rounds of %d calls\n\n", kRounds, kCallsPerRound);
  std::printf("%-42s %12s %10s %12s %12s\n", "case", "ns a call", "x memcpy", "x DrawOpaque", "of 10 ms");
  for (const Case& c : cases) {
    const double ns = Median(c.samples);
    std::printf("%-42s %12.0f %10.1f %12.2f %11.3f%%\n", c.name.c_str(), ns, ns / memcpyNs, ns / opaqueNs,
                100.0 * ns / budgetNs);
  }
  std::printf("\n(checksum %u)\n", static_cast<unsigned>(sink));
  return 0;
}
