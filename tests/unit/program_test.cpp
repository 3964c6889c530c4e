#include <gtest/gtest.h>

#include <algorithm>

#include "app/logo.h"
#include "app/main_window.h"
#include "app/program.h"
#include "app/program_state.h"
#include "app/texts.h"
#include "fakes/fake_program.h"

namespace tv {
namespace {

const unsigned char kNotAPng[] = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'};

using Harness = fakes::ProgramHarness;

struct ProgramFixture : ::testing::Test, Harness {};

TEST_F(ProgramFixture, StartUpRunsItsStepsInOrderAndShowsNoMessageWhenAllIsWell) {
  Program program = Make();
  ASSERT_TRUE(program.StartUp());
  EXPECT_TRUE(ui.messages.empty());
  const std::vector<std::string> expected = {
      "Initialise",       "OpenMainWindow",   "SetWindowBackdrop 0", "CreateControl 7",     "CreateControl 6",
      "CreateControl 5",  "CreateControl 16", "CreateControl 17",    "CreateControl 9",     "CreateControl 1",
      "CreateControl 10", "CreateControl 2",  "OpenPane 1",          "SetWindowBackdrop 1", "CreateControl 12",
      "CreateControl 13", "CreateControl 11", "CreateControl 3",     "CreateControl 4",     "CreateControl 14",
      "CreateControl 15", "CreateControl 8",  "ShowMainWindow"};
  EXPECT_EQ(ui.calls, expected);
  EXPECT_EQ(network.starts, 1);
  EXPECT_EQ(text.loadedFonts, std::vector<std::string>{"Arial 11"});
  EXPECT_EQ(ui.mainWindowTitle, "Tastovolant v.2.0.0");
  EXPECT_EQ(ui.clientWidth, 640);
  EXPECT_EQ(ui.clientHeight, 480);
  EXPECT_FALSE(ServerRunning.load());
}

TEST_F(ProgramFixture, StartUpBuildsTheBackdropLogoAndIconsAtTheirSizes) {
  Program program = Make();
  ASSERT_TRUE(program.StartUp());
  const ImageTable& images = program.Images();
  struct Size {
    int number, width, height;
  };
  for (Size s : {Size{0, 640, 480}, Size{5, 242, 331}, Size{6, 150, 68}, Size{7, 150, 68}, Size{8, 150, 68},
                 Size{11, 16, 16}, Size{12, 16, 16}, Size{13, 16, 16}}) {
    SCOPED_TRACE(s.number);
    ASSERT_TRUE(images.Has(s.number));
    EXPECT_EQ(images.Get(s.number)->Width(), s.width);
    EXPECT_EQ(images.Get(s.number)->Height(), s.height);
  }
  EXPECT_EQ(ui.backdrops.at(kMainWindow), images.Get(0));
  const fakes::FakeControl& logo = ui.controls.at(kLogoView);
  EXPECT_FALSE(logo.enabled);
  EXPECT_EQ(logo.plan.rect.x, 75);
  EXPECT_EQ(logo.plan.rect.y, 25);
  EXPECT_EQ(logo.plan.rect.width, 150);
  EXPECT_EQ(logo.plan.rect.height, 68);
  EXPECT_EQ(logo.picture, images.Get(kLogoNormal));
}

// Each failing step shows its message, and start-up goes on with the next step.
TEST_F(ProgramFixture, EachFailingStepShowsItsMessageAndStartUpGoesOn) {
  struct Case {
    const char* name;
    void (*breakIt)(Harness&);
    std::vector<std::string> messages;
  };
  const std::string pictures(texts::kPicturesFailed), icons(texts::kIconsFailed), font(texts::kFontFailed);
  const Case cases[] = {
      {"backdrop", [](Harness& f) { f.settings.pictures.mainBackdrop = kNotAPng; }, {pictures}},
      {"logo sheet", [](Harness& f) { f.settings.pictures.logoSheet = kNotAPng; }, {pictures}},
      {"first icon", [](Harness& f) { f.settings.pictures.addIcon = kNotAPng; }, {icons}},
      {"last icon", [](Harness& f) { f.settings.pictures.infoIcon = kNotAPng; }, {icons}},
      {"font", [](Harness& f) { f.text.failLoadFont = true; }, {font}},
      {"pictures and font",
       [](Harness& f) {
         f.settings.pictures.mainBackdrop = kNotAPng;
         f.text.failLoadFont = true;
       },
       {pictures, font}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Harness f;
    c.breakIt(f);
    Program program = f.Make();
    ASSERT_TRUE(program.StartUp());
    EXPECT_EQ(f.MessageTexts(), c.messages);
    for (const auto& m : f.ui.messages) {
      EXPECT_EQ(m.title, "Fehler");
      EXPECT_EQ(m.icon, MessageIcon::Error);
      EXPECT_EQ(m.buttons, MessageButtons::Ok);
    }
    EXPECT_TRUE(f.ui.mainWindowShown);
  }
}

TEST_F(ProgramFixture, NoBackdropMeansNoBackgroundAndNoLogoSheetMeansNoLogo) {
  settings.pictures.mainBackdrop = kNotAPng;
  Program program = Make();
  ASSERT_TRUE(program.StartUp());
  EXPECT_FALSE(program.Images().Has(0));
  EXPECT_FALSE(program.Images().Has(5));  // not attempted after the backdrop failed
  EXPECT_FALSE(program.Images().Has(kLogoNormal));
  EXPECT_TRUE(ui.backdrops.empty());
  EXPECT_EQ(ui.controls.at(kLogoView).picture, nullptr);
}

TEST_F(ProgramFixture, IconsStayUnscaledWhenOneOfThemFails) {
  settings.pictures.infoIcon = kNotAPng;
  Program program = Make();
  ASSERT_TRUE(program.StartUp());
  EXPECT_EQ(program.Images().Get(kAddIconImage)->Width(), 20);
  EXPECT_EQ(program.Images().Get(kRemoveIconImage)->Width(), 20);
  EXPECT_FALSE(program.Images().Has(kInfoIconImage));
}

TEST_F(ProgramFixture, WithoutTheMainWindowTheProgramEndsAfterTheMessage) {
  ui.failOpenMainWindow = true;
  Program program = Make();
  EXPECT_EQ(program.Run(), kExitNoMainWindow);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{std::string(texts::kMainWindowFailed)});
  EXPECT_EQ(ui.calls.back(), "ShowMessage");
  EXPECT_FALSE(ui.mainWindowShown);
  EXPECT_EQ(network.cleanups, 1);
  EXPECT_TRUE(ui.waitTimeouts.empty());
}

TEST_F(ProgramFixture, ForegroundIsAskedForUntilGrantedAndNotForever) {
  {
    ui.foregroundRefusals = 3;
    Program program = Make();
    ASSERT_TRUE(program.StartUp());
    EXPECT_EQ(ui.foregroundRequests, 3);
  }
  fakes::FakeUi refusing;
  refusing.foregroundRefusals = -1;
  Program program(Ports{refusing, text, network, shell, connector, files, keys}, settings);
  ASSERT_TRUE(program.StartUp());
  EXPECT_EQ(refusing.foregroundRequests, settings.foregroundRequests);
}

TEST_F(ProgramFixture, ClosingTheMainWindowEndsWithExitCode200) {
  ui.Queue({});
  ui.Queue({EventKind::Other, 0});
  ui.QueueClose();
  ui.Queue({});  // never reached
  Program program = Make();
  EXPECT_EQ(program.Run(), 200);
  EXPECT_EQ(ui.waitTimeouts, (std::vector<int>{3, 3, 3}));
  EXPECT_TRUE(ui.InputsLeft());
  EXPECT_EQ(network.cleanups, 1);
}

TEST(LogoTest, RectangleBoundsAreInclusive) {
  struct Case {
    int x, y;
    bool on;
  };
  for (Case c : {Case{90, 40, true}, Case{200, 69, true}, Case{89, 40, false}, Case{201, 69, false},
                 Case{90, 39, false}, Case{200, 70, false}, Case{145, 55, true}, Case{-1, -1, false}}) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
    EXPECT_EQ(PointerOnLogo(c.x, c.y), c.on);
  }
}

TEST_F(ProgramFixture, LogoFollowsThePointerAndItsButton) {
  Program program = Make();
  ASSERT_TRUE(program.StartUp());
  const UiEvent none{};
  struct Step {
    PointerState pointer;
    int picture;
  };
  const Step steps[] = {
      {{10, 10, false}, kLogoNormal}, {{90, 40, false}, kLogoHover},   {{90, 40, true}, kLogoPressed},
      {{201, 60, true}, kLogoNormal}, {{200, 69, true}, kLogoPressed}, {{200, 69, false}, kLogoHover},
      {{-1, -1, false}, kLogoNormal},
  };
  for (const Step& s : steps) ui.Queue(none, s.pointer);
  int changes = ui.controls.at(kLogoView).pictureChanges;
  int shown = kLogoNormal;
  for (const Step& s : steps) {
    SCOPED_TRACE(testing::Message() << s.pointer.x << "," << s.pointer.y << " down " << s.pointer.leftButtonDown);
    ASSERT_TRUE(program.MainLoopPass());
    EXPECT_EQ(ui.controls.at(kLogoView).picture, program.Images().Get(s.picture));
    // The picture is set only when it changes.
    if (s.picture != shown) ++changes;
    shown = s.picture;
    EXPECT_EQ(ui.controls.at(kLogoView).pictureChanges, changes);
  }
  // An unchanged picture is not set again.
  ui.Queue(none, {-1, -1, false});
  ASSERT_TRUE(program.MainLoopPass());
  EXPECT_EQ(ui.controls.at(kLogoView).pictureChanges, changes);
}

TEST_F(ProgramFixture, ReleaseOnTheLogoOpensTheMakersSite) {
  Program program = Make();
  ASSERT_TRUE(program.StartUp());
  const UiEvent release{EventKind::LeftButtonUp, 0};
  for (PointerState p : {PointerState{90, 40}, PointerState{200, 69}, PointerState{89, 40}, PointerState{201, 69}}) {
    ui.Queue(release, p);
  }
  ui.Queue({EventKind::Other, 0}, {100, 50});  // not a release: nothing opens
  ui.Queue({EventKind::Control, kLogoView}, {100, 50});
  while (ui.InputsLeft()) ASSERT_TRUE(program.MainLoopPass());
  EXPECT_EQ(shell.opened, (std::vector<std::string>{"http://site.test/?ref=Tastovolant_2.0.0",
                                                    "http://site.test/?ref=Tastovolant_2.0.0"}));
}

}  // namespace
}  // namespace tv

namespace tv {
namespace {

TEST_F(ProgramFixture, BackgroundThreadsStartOnceTheWindowIsInFront) {
  ui.foregroundRefusals = 2;
  Program program = Make();
  ASSERT_TRUE(program.StartUp());
  EXPECT_EQ(threads.size(), 3u) << "the address scroller, the update check, then the status animation";
  EXPECT_EQ(ui.foregroundRequests, 2);
}

TEST_F(ProgramFixture, ChoosingTheDownloadPageEndsTheProgramWithExitCode0) {
  const std::string manifest = "ok|2.1.0|missing.dll|1|0123456789abcdef0123456789abcdef||";
  connector.scripts.push_back(fakes::Answering("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(manifest.size()) +
                                               "\r\n\r\n" + manifest));
  ui.answers.push_back(MessageAnswer::Yes);
  Program program = Make();
  ASSERT_TRUE(program.StartUp());
  ASSERT_EQ(threads.size(), 3u);
  threads[1]();  // the update check, run here to its end
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Wollen Sie Tastovolant Version 2.1.0 downloaden?");
  EXPECT_EQ(shell.opened, std::vector<std::string>{"http://site.test/software.php?name=Tastovolant"});
  while (program.MainLoopPass()) {
  }
  EXPECT_EQ(program.Shutdown(), 0);
  EXPECT_EQ(network.cleanups, 1);
}

}  // namespace
}  // namespace tv
