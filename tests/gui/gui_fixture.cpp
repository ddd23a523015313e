// The GUI tests' fixture: skips without a display, resets the queue, the hooks and
// the polled state around each test, and frees the windows a test made.
#include "gui_fixture.h"

#include <FL/Fl.H>

#include <chrono>
#include <cstdlib>

void GuiTest::SetUp() {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (DISPLAY)";
  SetGuiHeadless(false);
  GuiStart();
  SetGraphicsDriver(GLGraphicsDriver(), kGraphicsBackBuffer | kGraphicsDepth);
  PumpFor(10);
  FlushEvents();
  FlushKeys();
  FlushMouse();
}

void GuiTest::TearDown() {
  SetGraphics(nullptr);
  for (const GadgetPtr& w : windows_) FreeGadget(w);
  windows_.clear();
  SetFileRequesterHook(nullptr);
  SetColorRequesterHook(nullptr);
  SetNotifyHook(nullptr);
  SetEndHook(nullptr);
  PumpFor(10);
  FlushEvents();
}

GadgetPtr GuiTest::Window(int x, int y, int w, int h, int style, const std::string& title) {
  GadgetPtr window = CreateWindow(title, x, y, w, h, nullptr, style);
  windows_.push_back(window);
  return window;
}

bool GuiTest::PumpUntil(const std::function<bool()>& pred, int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    Fl::wait(0.01);
  }
  return true;
}

void GuiTest::PumpFor(int ms) {
  PumpUntil([] { return false; }, ms);
}

std::vector<TEvent> GuiTest::TakePending() {
  std::vector<TEvent> out;
  while (std::optional<TEvent> next = PeekEvent()) {
    WaitEvent();  // an event is pending, so this never runs the toolkit
    out.push_back(*next);
  }
  return out;
}

bool GuiTest::WaitForPaint(const GadgetPtr& canvas) {
  bool painted = false;
  bool done = PumpUntil([&] {
    for (const TEvent& e : TakePending()) {
      if (e.id == EventId::GadgetPaint && e.source == canvas) painted = true;
    }
    return painted;
  });
  return done;
}

// Under LeakSanitizer: fontconfig, which FLTK's text drawing loads, keeps its caches
// for the life of the process. Not ours, and nothing to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
