// The OpenGL canvas on a real X server and the windowing GL: its context becomes
// current and draws, Flip presents, the buffers follow the driver flags, and it posts
// paint and mouse events in its own coordinates.
#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <GL/gl.h>

#include <cstdlib>
#include <string>

#include "gui_fixture.h"
#include "x_pixels.h"

namespace {

class CanvasTest : public GuiTest {
 protected:
  // A window whose client area the canvas fills.
  GadgetPtr MakeCanvas(int flags, int w = 64, int h = 48) {
    SetGraphicsDriver(GLGraphicsDriver(), flags);
    window_ = Window(0, 0, w, h, kWindowTitleBar | kWindowResizable | kWindowClientCoords);
    GadgetPtr canvas = CreateCanvas(0, 0, ClientWidth(window_), ClientHeight(window_), window_, 0);
    SetGadgetLayout(canvas, 1, 1, 1, 1);
    return canvas;
  }
  GadgetPtr window_;
};

void ReadPixel(int x, int y, unsigned char out[4]) {
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, out);
}

TEST_F(CanvasTest, ContextIsCurrentDrawsAndFlipPresents) {
  GadgetPtr canvas = MakeCanvas(kGraphicsBackBuffer | kGraphicsDepth);
  ASSERT_TRUE(WaitForPaint(canvas)) << "a mapped canvas asks to be painted";
  SetGraphics(CanvasGraphics(canvas));
  ASSERT_NE(glGetString(GL_VERSION), nullptr) << "no current context";
  EXPECT_EQ(GraphicsWidth(), 64);
  EXPECT_EQ(GraphicsHeight(), 48);
  GLboolean double_buffered = GL_FALSE;
  glGetBooleanv(GL_DOUBLEBUFFER, &double_buffered);
  EXPECT_TRUE(double_buffered);
  GLint depth_bits = 0;
  glGetIntegerv(GL_DEPTH_BITS, &depth_bits);
  EXPECT_GT(depth_bits, 0);

  glViewport(0, 0, 64, 48);
  glClearColor(1, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  unsigned char px[4] = {};
  glReadBuffer(GL_BACK);
  ReadPixel(32, 24, px);
  EXPECT_EQ(px[0], 255);
  EXPECT_EQ(px[1], 0);
  EXPECT_EQ(px[2], 0);
  // Mesa's software path keeps no readable front buffer: check what X shows.
  unsigned char shown[3] = {};
  auto* gl = static_cast<Fl_Window*>(GadgetWidget(canvas));
  ASSERT_TRUE(ReadShownPixel(gl, 32, 24, shown));
  EXPECT_NE(shown[0], 255) << "nothing is shown before Flip";
  Flip(-1);
  glFinish();
  ASSERT_TRUE(ReadShownPixel(gl, 32, 24, shown));
  EXPECT_EQ(shown[0], 255) << "Flip shows the frame";
  EXPECT_EQ(shown[1], 0);
  EXPECT_EQ(shown[2], 0);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  EXPECT_NE(GuiGetProcAddress("glActiveTextureARB"), nullptr);
  EXPECT_NE(GuiGetProcAddress("glClientActiveTextureARB"), nullptr);
}

// The engine's own display set-up: a window that is all GL context.
TEST_F(CanvasTest, GraphicsWindowIsCurrentAndItsCloseBoxAsksToTerminate) {
  GraphicsPtr graphics = Graphics(80, 60, 0, 60, kGraphicsBackBuffer | kGraphicsDepth | kGraphicsAccum);
  ASSERT_NE(graphics, nullptr);
  EXPECT_EQ(CurrentGraphics(), graphics);
  EXPECT_EQ(GraphicsWidth(), 80);
  EXPECT_EQ(GraphicsHeight(), 60);
  ASSERT_NE(glGetString(GL_VERSION), nullptr);
  GLint accum = 0;
  glGetIntegerv(GL_ACCUM_RED_BITS, &accum);
  EXPECT_GT(accum, 0);
  glClearColor(0, 1, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  unsigned char px[4] = {};
  ReadPixel(40, 30, px);
  EXPECT_EQ(px[1], 255);
  FlushEvents();
  auto* window = static_cast<Fl_Window*>(Fl::first_window());
  ASSERT_NE(window, nullptr);
  window->do_callback();
  std::vector<TEvent> got = TakePending();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].id, EventId::AppTerminate);
  CloseGraphics(graphics);
  EXPECT_EQ(CurrentGraphics(), nullptr);
  EXPECT_EQ(GraphicsWidth(), 0);
}

TEST_F(CanvasTest, DriverFlagsChooseTheBuffers) {
  struct Case {
    int flags;
    GLenum query;
    const char* name;
  };
  const Case cases[] = {
      {kGraphicsBackBuffer | kGraphicsDepth | kGraphicsAccum, GL_ACCUM_RED_BITS, "accumulation"},
      {kGraphicsBackBuffer | kGraphicsStencil, GL_STENCIL_BITS, "stencil"},
      {kGraphicsBackBuffer | kGraphicsAlpha, GL_ALPHA_BITS, "alpha"},
  };
  for (const Case& c : cases) {
    GadgetPtr canvas = MakeCanvas(c.flags);
    ASSERT_TRUE(WaitForPaint(canvas)) << c.name;
    SetGraphics(CanvasGraphics(canvas));
    GLint bits = 0;
    glGetIntegerv(c.query, &bits);
    EXPECT_GT(bits, 0) << c.name;
    SetGraphics(nullptr);
    FreeGadget(window_);
  }
}

TEST_F(CanvasTest, RedrawAndResizeAskForPaintAndTheCanvasFollows) {
  GadgetPtr canvas = MakeCanvas(kGraphicsBackBuffer | kGraphicsDepth);
  ASSERT_TRUE(WaitForPaint(canvas));
  RedrawGadget(canvas);
  EXPECT_TRUE(WaitForPaint(canvas)) << "RedrawGadget posts GadgetPaint soon after";
  SetGadgetShape(window_, 0, 0, 120, 90);
  EXPECT_EQ(GadgetWidth(canvas), 120);
  EXPECT_EQ(GadgetHeight(canvas), 90);
  EXPECT_TRUE(WaitForPaint(canvas)) << "a resized canvas is painted again";
}

// Real pointer events from the X server (xdotool buttons: 1 left, 2 middle, 3 right).
TEST_F(CanvasTest, MousePostsInCanvasCoordinatesWithButtonCodes) {
  if (std::system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "needs xdotool";
  GadgetPtr canvas = MakeCanvas(kGraphicsBackBuffer | kGraphicsDepth, 100, 80);
  ASSERT_TRUE(WaitForPaint(canvas));
  auto* gl = static_cast<Fl_Window*>(GadgetWidget(canvas));
  struct Case {
    int xdotool_button, code;
  };
  const Case cases[] = {{1, 1}, {3, 2}, {2, 3}};
  for (const Case& c : cases) {
    // One xdotool step at a time with the toolkit running between: FLTK folds the
    // motion of one batch of X events into a single move sent after the batch.
    std::vector<TEvent> got;
    // Waits for the event the step causes (a loaded machine may deliver it late), then
    // a little longer for any that come with it.
    auto step = [&](const std::string& args, EventId want, int x = -1, int y = -1) {
      ASSERT_EQ(std::system(("xdotool " + args).c_str()), 0) << args;
      PumpUntil([&] {
        for (const TEvent& e : TakePending()) got.push_back(e);
        for (const TEvent& e : got)
          if (e.id == want && (x < 0 || (e.x == x && e.y == y))) return true;
        return false;
      });
      PumpUntil([&] {
        for (const TEvent& e : TakePending()) got.push_back(e);
        return false;
      }, 60);
    };
    auto at = [&](int x, int y) {
      return "mousemove " + std::to_string(gl->x_root() + x) + " " + std::to_string(gl->y_root() + y);
    };
    std::string b = std::to_string(c.xdotool_button);
    step(at(12, 7), EventId::MouseMove, 12, 7);
    got.clear();
    step("mousedown " + b, EventId::MouseDown);
    step(at(40, 30), EventId::MouseMove, 40, 30);
    step("mouseup " + b, EventId::MouseUp);
    const TEvent* down = nullptr;
    const TEvent* up = nullptr;
    const TEvent* last_move = nullptr;  // while held: FLTK may send a move after the release too
    for (const TEvent& e : got) {
      if (e.id == EventId::MouseDown && !down) down = &e;
      if (e.id == EventId::MouseMove && !up) last_move = &e;
      if (e.id == EventId::MouseUp) up = &e;
    }
    ASSERT_NE(down, nullptr) << c.code;
    EXPECT_EQ(down->data, c.code);
    EXPECT_EQ(down->x, 12);
    EXPECT_EQ(down->y, 7);
    EXPECT_EQ(down->source, canvas);
    ASSERT_NE(last_move, nullptr) << c.code;
    EXPECT_EQ(last_move->x, 40);
    EXPECT_EQ(last_move->y, 30);
    ASSERT_NE(up, nullptr) << c.code;
    EXPECT_EQ(up->data, c.code);
    EXPECT_EQ(MouseHit(c.code), 1) << c.code;
    EXPECT_EQ(MouseDown(c.code), 0) << c.code;
  }
  SetGraphics(CanvasGraphics(canvas));
  EXPECT_EQ(MouseX(), 40) << "polled position is in the current context's coordinates";
  EXPECT_EQ(MouseY(), 30);
  // A press gives the canvas the keyboard: keys now come from it.
  FlushEvents();
  ASSERT_EQ(std::system("xdotool key shift"), 0);
  std::vector<TEvent> got;
  ASSERT_TRUE(PumpUntil([&] {
    for (const TEvent& e : TakePending()) got.push_back(e);
    return !got.empty() && got.back().id == EventId::KeyUp;
  }));
  EXPECT_EQ(got.back().data, kKeyLeftShift);
  EXPECT_EQ(got.back().source, canvas);
}

}  // namespace
