// The headless previewer fixture: folder, hooks, start-up, event draining, pixels.
#include "app_fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "app/shell.h"
#include "engine/commands/commands.h"
#include "engine/scene/global.h"
#include "platform/file.h"
#include "platform/gui.h"
#include "tools/b3d_writer.h"

const char* const kAssetFiles[10] = {"Tavren_Female.b3d", "Tavren_Male.b3d", "Tavren_Skirt.b3d", "HEAD.JPG",
                                     "UPPER.JPG",         "LOWER.JPG",       "SKIRT.JPG",        "tavren_head.jpg",
                                     "tavren_upper.jpg",  "tavren_lower.jpg"};

bool CopyFile(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  out << in.rdbuf();
  return bool(in) && bool(out);
}

void AppTest::SetUp() {
  EngineTest::SetUp();
  SetGuiHeadless(true);
  FlushEvents();
  ResetAppState();
  saved_dir_ = CurrentDir();
  // Numbered, not named after the test: the previewer finds regions by "head", "upper"
  // and "lower" anywhere in a texture's path, and a folder name may not hold them.
  static int folders = 0;
  folder_ = TestTempDir("work" + std::to_string(++folders));
  if (folder_[0] != '/') folder_ = saved_dir_ + "/" + folder_;
  for (const char* name : kAssetFiles) {
    ASSERT_TRUE(CopyFile(std::string(VELMORA_ASSET_DIR) + "/" + name, PathIn(name))) << name;
  }
  ASSERT_TRUE(ChangeDir(folder_));
  // The main window's client area: 500 x (500 - title 24 - menu 25 - status 20).
  context_ = TOffscreenContext::Create(500, 431);
  ASSERT_NE(context_, nullptr);

  SetFileRequesterHook([this](const std::string& text, const std::string& extensions, bool, const std::string&) {
    file_requests_.push_back(text + "|" + extensions);
    if (file_answers_.empty()) return std::string();
    std::string answer = file_answers_.front();
    file_answers_.pop_front();
    return answer;
  });
  SetColorRequesterHook([this](int& r, int& g, int& b) {
    colour_asked_[0] = r, colour_asked_[1] = g, colour_asked_[2] = b;
    r = colour_answer_[0], g = colour_answer_[1], b = colour_answer_[2];
    return colour_confirm_;
  });
  SetNotifyHook([this](const std::string& text, bool) { notices_.push_back(text); });
  SetEndHook([this] { ++ends_; });
}

void AppTest::TearDown() {
  StopTimer(app.timer);
  FreeGadget(app.window);
  FreeGadget(app.panel);
  FlushEvents();
  ResetAppState();
  SetFileRequesterHook(nullptr);
  SetColorRequesterHook(nullptr);
  SetNotifyHook(nullptr);
  SetEndHook(nullptr);
  ChangeDir(saved_dir_);
  EngineTest::TearDown();  // textures go while their context is still current
  context_.reset();
  SetGuiHeadless(false);
}

void AppTest::Restart() {
  ResetEngine();
  StopTimer(app.timer);
  FreeGadget(app.window);
  FreeGadget(app.panel);
  ResetAppState();
  Start();
}

void AppTest::Start() {
  StartUp();
  // Ticks would interleave with what a test sends; tests that want them make a timer.
  StopTimer(app.timer);
  FlushEvents();
}

int AppTest::Drain() {
  int n = 0;
  while (PendingEventCount() > 0) {
    WaitEvent();
    HandleEvent();
    ++n;
  }
  return n;
}

void AppTest::Send(EventId id, EventSourcePtr source, int data, int x, int y) {
  PostEvent(id, std::move(source), data, x, y);
  Drain();
}

void AppTest::Choose(const GadgetPtr& button, const std::string& path) {
  file_answers_.push_back(path);
  Press(button);
}

void AppTest::Paint() { Send(EventId::GadgetPaint, app.canvas); }

Rgba AppTest::PixelAt(float x, float y, float z) {
  velmora::CameraProject(app.camera, x, y, z);
  const int px = int(velmora::ProjectedX());
  const int py = TGlobal::height - 1 - int(velmora::ProjectedY());
  return context_->ReadPixel(px, py);
}

bool Reddish(const Rgba& c) { return c[0] > 80 && c[0] > 2 * c[1] && c[0] > 2 * c[2]; }
bool Greenish(const Rgba& c) { return c[1] > 80 && c[1] > 2 * c[0] && c[1] > 2 * c[2]; }
bool Bluish(const Rgba& c) { return c[2] > 80 && c[2] > 2 * c[0] && c[2] > 2 * c[1]; }
bool IsBackground(const Rgba& c, int red, int green, int blue) { return c[0] == red && c[1] == green && c[2] == blue; }

std::string Show(const Rgba& c) {
  return "(" + std::to_string(c[0]) + ", " + std::to_string(c[1]) + ", " + std::to_string(c[2]) + ")";
}
