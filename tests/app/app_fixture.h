// The previewer in-process: the whole shell built headless (no display) against the
// real engine, drawing into an off-screen context of the canvas's size, run from a
// fresh working folder that holds copies of the generated models and images. The file,
// colour and notice requesters and End are answered by scripts.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "platform/event_queue.h"
#include "platform/offscreen.h"
#include "support/engine_reset.h"
#include "support/file_permissions.h"

// Sources print as addresses (gtest would dump their bytes).
inline void PrintTo(const TEventSource& source, std::ostream* os) { *os << "source@" << &source; }

class AppTest : public EngineTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs the shell's start-up in the working folder. Tests that need another folder
  // (their own models) change into it first.
  void Start();
  // Ends the running previewer and starts a fresh one on an empty engine: one case of a
  // table after another.
  void Restart();
  // Handles every pending event, as the loop would; returns how many.
  int Drain();
  // Posts the event and drains the queue.
  void Send(EventId id, EventSourcePtr source = nullptr, int data = 0, int x = 0, int y = 0);
  void Press(const GadgetPtr& button) { Send(EventId::GadgetAction, button); }
  void Menu(int tag) { Send(EventId::MenuAction, nullptr, tag); }
  // Presses a file button with the requester answering `path`.
  void Choose(const GadgetPtr& button, const std::string& path);
  // A paint event, handled: the frame is in the off-screen buffer.
  void Paint();
  // The pixel where a world point lands in the last frame (black outside).
  Rgba PixelAt(float x, float y, float z);

  std::string Folder() const { return folder_; }  // the working folder, absolute
  std::string PathIn(const std::string& name) const { return folder_ + "/" + name; }

  std::shared_ptr<TOffscreenContext> context_;
  std::deque<std::string> file_answers_;  // "" cancels; an empty queue cancels too
  std::vector<std::string> file_requests_;  // "text|extensions" of every file request
  std::vector<std::string> notices_;
  bool colour_confirm_ = true;
  int colour_answer_[3] = {0, 0, 0};
  int colour_asked_[3] = {-1, -1, -1};
  int ends_ = 0;

 private:
  std::string folder_;
  std::string saved_dir_;
};

// The asset files the fixture copies into each test's folder.
extern const char* const kAssetFiles[10];
bool CopyFile(const std::string& from, const std::string& to);

// Colour tests that hold under lighting: one channel well above the other two.
bool Reddish(const Rgba& c);
bool Greenish(const Rgba& c);
bool Bluish(const Rgba& c);
bool IsBackground(const Rgba& c, int red = 130, int green = 160, int blue = 255);
std::string Show(const Rgba& c);
