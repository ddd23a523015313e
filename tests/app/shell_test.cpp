// The shell's event loop and menus: the three ways to end, the ignored events and
// titles, the notices' exact texts, the background colour, resizing, the tick and paint,
// and a modal notice held open with the timer running.
#include "platform/gl.h"  // first: before any other GL header

#include <FL/Fl.H>
#include <gtest/gtest.h>

#include <chrono>

#include "app/shell.h"
#include "app_fixture.h"
#include "engine/commands/commands.h"
#include "engine/scene/camera.h"
#include "engine/scene/global.h"
#include "platform/gui.h"

using namespace velmora;

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines(1);
  for (char c : text) {
    if (c == '\r') {
      lines.emplace_back();
    } else {
      lines.back() += c;
    }
  }
  return lines;
}

using ShellTest = AppTest;

TEST_F(ShellTest, MainWindowCloseQuitAndTerminateEndThePanelsCloseDoesNot) {
  Start();
  Send(EventId::WindowClose, app.panel);
  Send(EventId::HotKeyHit, nullptr, 81, 0, 0);
  EXPECT_EQ(ends_, 0);
  Send(EventId::WindowClose, app.window);
  EXPECT_EQ(ends_, 1);
  Send(EventId::AppTerminate);
  EXPECT_EQ(ends_, 2);
  Menu(kMenuQuit);
  EXPECT_EQ(ends_, 3);
}

TEST_F(ShellTest, TitlesAndUnknownTagsDoNothing) {
  Start();
  const CameraPtr camera = app.camera;
  const MeshPtr figure = app.figureB;
  for (int tag : {int(kMenuFile), int(kMenuScene), int(kMenuHelp), 11, -1, 99}) Menu(tag);
  EXPECT_EQ(app.camera, camera);
  EXPECT_EQ(app.figureB, figure);
  EXPECT_TRUE(notices_.empty());
  EXPECT_EQ(ends_, 0);
  EXPECT_EQ(colour_asked_[0], -1);
  EXPECT_TRUE(file_requests_.empty());
}

TEST_F(ShellTest, HelpNoticesHaveTheirExactTexts) {
  Start();
  Menu(kMenuButtonUsage);
  Menu(kMenuCameraControls);
  Menu(kMenuAbout);
  ASSERT_EQ(notices_.size(), 3u);
  EXPECT_EQ(notices_[0],
            "Just click on a button with a filename to choose a new image to apply.  Use the Re (as in Reload) "
            "button to update the image if you are working on it while previewing.\r\rOnly use TGA images. "
            "Alpha transparency may not be working right, so please report any problems.");
  EXPECT_EQ(Lines(notices_[1]), (std::vector<std::string>{"click and drag left-mouse to tumble",
                                                          "middle-mouse or hold Shift to zoom",
                                                          "right-mouse or hold Ctrl to pan"}));
  const std::vector<std::string> about = Lines(notices_[2]);
  ASSERT_EQ(about.size(), 5u);
  EXPECT_EQ(about[0], "Velmora - 2.0b");
  EXPECT_EQ(about[1], "project started by Parvell");
  EXPECT_EQ(about[2], "8/22/2007");
  EXPECT_EQ(about[3], "");
  EXPECT_EQ(about[4],
            "If you find this tool useful, stop by my store Brindlewick, Or just send me some Zorins as a thank you.");
}

TEST_F(ShellTest, BackgroundColourStartsAtTheCurrentOneAndACancelKeepsIt) {
  Start();
  colour_answer_[0] = 20, colour_answer_[1] = 200, colour_answer_[2] = 40;
  Menu(kMenuBackgroundColor);
  EXPECT_EQ((std::vector<int>{colour_asked_[0], colour_asked_[1], colour_asked_[2]}),
            (std::vector<int>{130, 160, 255}));
  Paint();
  EXPECT_TRUE(IsBackground(context_->ReadPixel(5, 5), 20, 200, 40)) << Show(context_->ReadPixel(5, 5));

  colour_confirm_ = false;
  colour_answer_[0] = 1, colour_answer_[1] = 2, colour_answer_[2] = 3;
  Menu(kMenuBackgroundColor);
  EXPECT_EQ(colour_asked_[1], 200) << "starts at the current colour";
  EXPECT_EQ(app.color_G, 200);
  Paint();
  EXPECT_TRUE(IsBackground(context_->ReadPixel(5, 5), 20, 200, 40));
}

TEST_F(ShellTest, ResizeGivesTheEngineAndTheViewTheNewClientSize) {
  Start();
  SetGadgetShape(app.window, 0, 0, 640, 524);  // client 640 x (524 - 24 - 25 - 20)
  Drain();
  EXPECT_EQ(TGlobal::width, 640);
  EXPECT_EQ(TGlobal::height, 455);
  EXPECT_EQ(GadgetWidth(app.canvas), 640) << "the canvas follows all four edges";
  EXPECT_EQ(GadgetHeight(app.canvas), 455);
  EXPECT_EQ(app.camera->view_w, 640);
  EXPECT_EQ(app.camera->view_h, 455);
  ASSERT_TRUE(context_->Resize(640, 455));
  Paint();
  EXPECT_TRUE(IsBackground(context_->ReadPixel(630, 5))) << "the view covers the new width";
  EXPECT_FALSE(IsBackground(PixelAt(0, 1.07f, 0))) << "the figure stays in view";

  // A size event from the panel reads the main window's size again.
  SetGadgetShape(app.window, 0, 0, 300, 300);
  FlushEvents();
  EXPECT_EQ(TGlobal::width, 640);
  Send(EventId::WindowSize, app.panel, 0, 200, 356);
  EXPECT_EQ(TGlobal::width, 300);
  EXPECT_EQ(app.camera->view_w, 300);
}

TEST_F(ShellTest, TickMovesThenAsksForOnePaintWhichDraws) {
  Start();
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  PostEvent(EventId::TimerTick, app.timer);
  EXPECT_EQ(Drain(), 2) << "the tick, then the paint it asked for";
  EXPECT_TRUE(IsBackground(context_->ReadPixel(5, 5)));
}

TEST_F(ShellTest, NoticeHeldOpenLeavesOneTickBehind) {
  Start();
  app.timer = CreateTimer(60.0);
  Send(EventId::MouseMove, app.canvas, 0, 10, 0);
  Send(EventId::MouseDown, app.canvas, 1);
  // Where one tick of that drag puts the pivot.
  const EntityPtr once = CreatePivot(nullptr);
  RotateEntity(once, 10, 0, 0, 0);
  TurnEntity(once, 0, -9, 0, 0);
  // The notice's own loop runs the toolkit, as a real modal dialog does, for 0.5 s.
  SetNotifyHook([](const std::string&, bool) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (std::chrono::steady_clock::now() < until) Fl::wait(0.005);
  });
  Menu(kMenuAbout);  // drains what the notice left behind
  StopTimer(app.timer);
  EXPECT_GE(TimerTicks(app.timer), 15) << "the timer ran inside the notice";
  // One tick was handled after the notice: the pivot turned by one step.
  EXPECT_NEAR(EntityYaw(app.camPivot, 1), EntityYaw(once, 1), 1e-3);
  EXPECT_NEAR(EntityPitch(app.camPivot, 1), EntityPitch(once, 1), 1e-3);
}

}  // namespace
