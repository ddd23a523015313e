// Shared by the GUI layer's tests: they need a real X server (DISPLAY), run the
// toolkit for a while, and free every window they made so the next test starts clean.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <vector>

#include "platform/event_queue.h"
#include "platform/gui.h"

// Sources print as addresses (gtest would dump their bytes).
inline void PrintTo(const TEventSource& source, std::ostream* os) { *os << "source@" << &source; }

class GuiTest : public ::testing::Test {
 public:
  // Runs the toolkit until pred holds or ms pass; returns pred().
  static bool PumpUntil(const std::function<bool()>& pred, int ms = 2000);
  static void PumpFor(int ms);
  // Takes every pending event out (without running the toolkit).
  static std::vector<TEvent> TakePending();
  // Waits for the canvas's first paint, which comes once its window is mapped.
  static bool WaitForPaint(const GadgetPtr& canvas);

 protected:
  void SetUp() override;
  void TearDown() override;
  // A window that TearDown frees.
  GadgetPtr Window(int x, int y, int w, int h, int style, const std::string& title = "test");

  std::vector<GadgetPtr> windows_;
};
