// Windows, buttons, labels, layout, menus and input on a real X server: what each
// posts to the queue, with which source and data, and how the client area and the
// gadgets follow a resize.
#include <FL/Fl.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Widget.H>
#include <FL/Fl_Window.H>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gui_fixture.h"

namespace {

int CountOf(const std::vector<TEvent>& events, EventId id) {
  return static_cast<int>(std::count_if(events.begin(), events.end(), [&](const TEvent& e) { return e.id == id; }));
}

const TEvent* FindEvent(const std::vector<TEvent>& events, EventId id) {
  for (const TEvent& e : events) {
    if (e.id == id) return &e;
  }
  return nullptr;
}

// A synthetic key event through the same entry as the X server's events.
void SendKey(int event, int toolkit_key, int state, Fl_Window* window, const char* text = "") {
  static char buffer[8];  // FLTK may rewrite the text (it retries shortcuts case-swapped)
  std::snprintf(buffer, sizeof buffer, "%s", text);
  Fl::e_keysym = toolkit_key;
  Fl::e_state = state;
  Fl::e_text = buffer;
  Fl::e_length = static_cast<int>(std::char_traits<char>::length(buffer));
  Fl::handle(event, window);
  Fl::e_state = 0;
}

Fl_Window* FlWindow(const GadgetPtr& gadget) { return static_cast<Fl_Window*>(GadgetWidget(gadget)); }

using GadgetsTest = GuiTest;

TEST_F(GadgetsTest, ClientAreaLeavesRoomForFrameAndBars) {
  struct Case {
    int style, w, h;
    int client_w, client_h;
  };
  const Case cases[] = {
      {15, 500, 500, 500, 500 - kFrameTitleHeight - kMenuBarHeight - kStatusBarHeight},  // the main window
      {17, 200, 380, 200, 380 - kFrameTitleHeight},                                       // the panel
      {kWindowTitleBar | kWindowMenu | kWindowClientCoords, 300, 200, 300, 200},
      {0, 120, 80, 120, 80},  // no title bar, no frame allowance
  };
  for (const Case& c : cases) {
    GadgetPtr w = Window(10, 10, c.w, c.h, c.style);
    EXPECT_EQ(ClientWidth(w), c.client_w) << "style " << c.style;
    EXPECT_EQ(ClientHeight(w), c.client_h) << "style " << c.style;
    EXPECT_EQ(GadgetWidth(w), c.w) << "style " << c.style;
    EXPECT_EQ(GadgetHeight(w), c.h) << "style " << c.style;
  }
}

TEST_F(GadgetsTest, ButtonPressPostsGadgetActionFromThatButton) {
  GadgetPtr panel = Window(520, 60, 200, 380, 17, "");
  GadgetPtr head = CreateButton("HEAD.JPG", 0, 30, 115, 25, panel, kButtonPush);
  GadgetPtr reload = CreateButton("Re", 115, 30, 50, 25, panel, kButtonPush);
  ASSERT_TRUE(head && reload);
  GadgetWidget(head)->do_callback();
  GadgetWidget(reload)->do_callback();
  GadgetWidget(head)->do_callback();  // merges with the first: one action per button
  std::vector<TEvent> got = TakePending();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].id, EventId::GadgetAction);
  EXPECT_EQ(got[0].source, head);
  EXPECT_EQ(got[1].source, reload);
}

TEST_F(GadgetsTest, GadgetTextKeepsWhatWasSetAndShowsItLiterally) {
  GadgetPtr panel = Window(0, 0, 200, 100, 17);
  GadgetPtr label = CreateLabel("Head", 0, 10, 115, 25, panel, kLabelCenter);
  GadgetPtr button = CreateButton("", 0, 30, 115, 25, panel);
  EXPECT_EQ(GadgetText(label), "Head");
  EXPECT_EQ(GadgetWidget(label)->align() & (FL_ALIGN_LEFT | FL_ALIGN_RIGHT), 0u) << "centred";
  SetGadgetText(button, "r&b@2x.tga");
  EXPECT_EQ(GadgetText(button), "r&b@2x.tga");
  // '&' and '@' are doubled so FLTK draws them instead of an underline or a symbol.
  EXPECT_STREQ(GadgetWidget(button)->label(), "r&&b@@2x.tga");
  SetGadgetText(button, "");
  EXPECT_EQ(GadgetText(button), "");
}

TEST_F(GadgetsTest, ResizePostsWindowSizeAndGadgetsFollowTheirEdges) {
  GadgetPtr w = Window(0, 0, 200, 100, kWindowTitleBar | kWindowResizable | kWindowClientCoords);
  struct Case {
    const char* name;
    int l, r, t, b;  // -1: no SetGadgetLayout (the default)
    int x, y, width, height;
  };
  // Client 200x100 -> 300x200; every gadget starts at (10, 10, 50, 20).
  const Case cases[] = {
      {"default keeps top-left and size", -1, -1, -1, -1, 10, 10, 50, 20},
      {"all edges aligned stretch", 1, 1, 1, 1, 10, 10, 150, 120},
      {"right and bottom aligned move", 0, 1, 0, 1, 110, 110, 50, 20},
      {"centred keeps the centre offset", 0, 0, 0, 0, 60, 60, 50, 20},
      {"relative scales", 2, 2, 2, 2, 15, 20, 75, 40},
  };
  std::vector<GadgetPtr> gadgets;
  for (const Case& c : cases) {
    GadgetPtr g = CreateButton(c.name, 10, 10, 50, 20, w);
    if (c.l >= 0) SetGadgetLayout(g, c.l, c.r, c.t, c.b);
    gadgets.push_back(g);
  }
  FlushEvents();
  SetGadgetShape(w, 0, 0, 300, 200);
  EXPECT_EQ(ClientWidth(w), 300);
  EXPECT_EQ(ClientHeight(w), 200);
  std::vector<TEvent> got = TakePending();
  const TEvent* size = FindEvent(got, EventId::WindowSize);
  ASSERT_NE(size, nullptr);
  EXPECT_EQ(size->source, w);
  EXPECT_EQ(size->x, 300);
  EXPECT_EQ(size->y, 200);
  for (size_t i = 0; i < gadgets.size(); ++i) {
    const Case& c = cases[i];
    EXPECT_EQ(GadgetX(gadgets[i]), c.x) << c.name;
    EXPECT_EQ(GadgetY(gadgets[i]), c.y) << c.name;
    EXPECT_EQ(GadgetWidth(gadgets[i]), c.width) << c.name;
    EXPECT_EQ(GadgetHeight(gadgets[i]), c.height) << c.name;
  }
  // Back to the old size: the base shape is kept, so nothing drifts.
  SetGadgetShape(w, 0, 0, 200, 100);
  EXPECT_EQ(GadgetWidth(gadgets[1]), 50);
  EXPECT_EQ(GadgetHeight(gadgets[1]), 20);
}

TEST_F(GadgetsTest, CloseBoxPostsWindowCloseButEscapeDoesNot) {
  GadgetPtr w = Window(0, 0, 100, 100, 1);
  FlWindow(w)->do_callback();
  SendKey(FL_KEYDOWN, FL_Escape, 0, FlWindow(w));
  std::vector<TEvent> got = TakePending();
  EXPECT_EQ(CountOf(got, EventId::WindowClose), 1);
  EXPECT_EQ(FindEvent(got, EventId::WindowClose)->source, w);
  EXPECT_TRUE(FlWindow(w)->shown()) << "the program decides whether a window goes";
}

class MenuTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    if (IsSkipped()) return;
    window_ = Window(0, 0, 500, 500, 15, "Velmora - 2.0b");
    GadgetPtr bar = WindowMenu(window_);
    GadgetPtr file = CreateMenu("File", 0, bar);
    CreateMenu("New Scene", 1, file);
    quit_ = CreateMenu("Quit", 2, file, 81, kModCommand);
    GadgetPtr scene = CreateMenu("Scene", 3, bar);
    CreateMenu("Background Color", 4, scene);
    CreateMenu("About...", 10, scene);
    UpdateWindowMenu(window_);
    // The menu bar is the window's first child.
    menubar_ = dynamic_cast<Fl_Menu_Bar*>(FlWindow(window_)->child(0));
    ASSERT_NE(menubar_, nullptr);
  }
  GadgetPtr window_;
  GadgetPtr quit_;
  Fl_Menu_Bar* menubar_ = nullptr;
};

TEST_F(MenuTest, ChoosingAnItemPostsMenuActionWithItsTag) {
  struct Case {
    const char* path;
    int tag;
  };
  const Case cases[] = {{"File/New Scene", 1}, {"File/Quit", 2}, {"Scene/Background Color", 4}, {"Scene/About...", 10}};
  for (const Case& c : cases) {
    const Fl_Menu_Item* item = menubar_->find_item(c.path);
    ASSERT_NE(item, nullptr) << c.path;
    menubar_->picked(item);
    std::vector<TEvent> got = TakePending();
    ASSERT_EQ(got.size(), 1u) << c.path;
    EXPECT_EQ(got[0].id, EventId::MenuAction) << c.path;
    EXPECT_EQ(got[0].data, c.tag) << c.path;
  }
  EXPECT_EQ(menubar_->find_item("File/Quit")->shortcut(), FL_CTRL + 'q') << "Command maps to Control";
}

TEST_F(MenuTest, KeyEquivalentWorksFromAnyWindowAndFiresTheHotKey) {
  SetHotKeyEvent(81, kModCommand);
  GadgetPtr panel = Window(510, 60, 200, 380, 17, "");
  for (const GadgetPtr& target : {window_, panel}) {
    FlushEvents();
    SendKey(FL_KEYDOWN, 'q', FL_CTRL, FlWindow(target), "\x11");
    std::vector<TEvent> got = TakePending();
    const TEvent* menu = FindEvent(got, EventId::MenuAction);
    ASSERT_NE(menu, nullptr) << (target == panel ? "panel" : "main window");
    EXPECT_EQ(menu->data, 2);
    EXPECT_EQ(menu->source, quit_);
    const TEvent* hot = FindEvent(got, EventId::HotKeyHit);
    ASSERT_NE(hot, nullptr);
    EXPECT_EQ(hot->data, 81);
  }
  FlushEvents();
  SendKey(FL_KEYDOWN, 'q', 0, FlWindow(window_), "q");
  std::vector<TEvent> got = TakePending();
  EXPECT_EQ(CountOf(got, EventId::MenuAction), 0) << "plain Q is no key equivalent";
  EXPECT_EQ(CountOf(got, EventId::HotKeyHit), 0);
}

// The X server's own keys, as a user sends them: with no window manager the key goes to
// the window under the pointer, here a panel without a menu whose button was just
// clicked and holds the focus. The main window's key equivalent still fires.
TEST_F(MenuTest, RealKeyEquivalentFromAWindowWithoutAMenu) {
  if (std::system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "needs xdotool";
  GadgetPtr panel = Window(510, 60, 200, 380, kWindowTitleBar | kWindowTool, "");
  GadgetPtr reload = CreateButton("Re", 115, 30, 50, 25, panel);
  ASSERT_TRUE(PumpUntil([&] { return FlWindow(panel)->visible() && FlWindow(window_)->visible(); }));
  PumpFor(200);
  const Fl_Widget* button = GadgetWidget(reload);
  int x = FlWindow(panel)->x_root() + button->x() + button->w() / 2;
  int y = FlWindow(panel)->y_root() + button->y() + button->h() / 2;
  std::string command = "xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  ASSERT_TRUE(PumpUntil([&] {
    const std::vector<TEvent> clicked = TakePending();
    const TEvent* action = FindEvent(clicked, EventId::GadgetAction);
    return action && action->source == reload;
  }));
  ASSERT_EQ(std::system("xdotool key ctrl+q"), 0);
  std::vector<TEvent> got;
  PumpUntil([&] {
    for (const TEvent& e : TakePending()) got.push_back(e);
    return FindEvent(got, EventId::MenuAction) != nullptr;
  });
  const TEvent* menu = FindEvent(got, EventId::MenuAction);
  ASSERT_NE(menu, nullptr) << "Ctrl-Q over the panel did nothing";
  EXPECT_EQ(menu->source, quit_);
}

TEST_F(MenuTest, FreedItemLeavesTheMenuBar) {
  FreeGadget(quit_);
  EXPECT_EQ(menubar_->find_item("File/Quit"), nullptr);
  EXPECT_NE(menubar_->find_item("File/New Scene"), nullptr);
  SendKey(FL_KEYDOWN, 'q', FL_CTRL, FlWindow(window_), "\x11");
  EXPECT_EQ(CountOf(TakePending(), EventId::MenuAction), 0);
}

TEST(KeyCodes, ToolkitKeysMapToVirtualKeyCodesAndBack) {
  struct Case {
    int toolkit, code;
  };
  const Case cases[] = {
      {'a', 65},           {'q', 81},           {'z', 90},           {'0', 48},          {'9', 57},
      {FL_Shift_L, 160},   {FL_Shift_R, 161},   {FL_Control_L, 162}, {FL_Control_R, 163},
      {FL_Alt_L, 164},     {FL_F + 1, 112},     {FL_F + 12, 123},    {',', 188},         {'.', 190},
      {FL_Escape, 27},     {FL_Enter, 13},      {' ', 32},           {FL_Left, 37},      {FL_Down, 40},
      {FL_KP + '0', 96},   {FL_Delete, 46},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(KeyCodeFromToolkitKey(c.toolkit), c.code) << "toolkit key " << c.toolkit;
    EXPECT_EQ(ToolkitKeyFromKeyCode(c.code), c.toolkit) << "code " << c.code;
  }
  EXPECT_EQ(KeyCodeFromToolkitKey('Q'), 81);
  EXPECT_EQ(KeyCodeFromToolkitKey(0x1234), 0);
  EXPECT_EQ(ToolkitKeyFromKeyCode(250), 0);
}

TEST_F(GadgetsTest, KeysPostEventsAndFeedThePolledState) {
  GadgetPtr w = Window(0, 0, 200, 200, 1);
  SendKey(FL_KEYDOWN, FL_Shift_L, 0, FlWindow(w));
  SendKey(FL_KEYDOWN, FL_Control_R, FL_SHIFT, FlWindow(w));
  std::vector<TEvent> got = TakePending();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].id, EventId::KeyDown);
  EXPECT_EQ(got[0].data, kKeyLeftShift);
  EXPECT_EQ(got[0].source, w);
  EXPECT_EQ(got[1].data, kKeyRightControl);
  EXPECT_EQ(got[1].extra, kModShift);
  EXPECT_EQ(KeyDown(kKeyLeftShift), 1);
  EXPECT_EQ(KeyHit(kKeyLeftShift), 1);
  EXPECT_EQ(KeyHit(kKeyLeftShift), 0) << "a hit is counted once";
  SendKey(FL_KEYUP, FL_Shift_L, FL_SHIFT, FlWindow(w));
  got = TakePending();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].id, EventId::KeyUp);
  EXPECT_EQ(got[0].data, kKeyLeftShift);
  EXPECT_EQ(KeyDown(kKeyLeftShift), 0);
  // Three presses between two queries count three.
  for (int i = 0; i < 3; ++i) SendKey(FL_KEYDOWN, '.', 0, FlWindow(w), ".");
  EXPECT_EQ(KeyHit(190), 3);
  FlushKeys();
  EXPECT_EQ(KeyDown(kKeyRightControl), 0);
  EXPECT_EQ(KeyHit(kKeyRightControl), 0);
  EXPECT_EQ(KeyHit(-1), 0);
  EXPECT_EQ(KeyDown(100000), 0);
}

// Real X events, start to end: the pointer and keyboard of the X server, the
// toolkit's wait, our dispatch, the button's callback and the queue.
TEST_F(GadgetsTest, RealClickAndKeyThroughTheXServer) {
  if (std::system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "needs xdotool";
  GadgetPtr w = Window(300, 300, 200, 100, kWindowClientCoords);
  GadgetPtr button = CreateButton("press", 20, 20, 100, 30, w);
  ASSERT_TRUE(PumpUntil([&] { return FlWindow(w)->visible() && FlWindow(w)->x_root() >= 0; }));
  PumpFor(200);
  FlushEvents();
  int x = FlWindow(w)->x_root() + 70, y = FlWindow(w)->y_root() + 35;
  std::string command = "xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1 key shift";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::vector<TEvent> got;
  ASSERT_TRUE(PumpUntil([&] {
    for (const TEvent& e : TakePending()) got.push_back(e);
    return FindEvent(got, EventId::GadgetAction) && FindEvent(got, EventId::KeyUp);
  }));
  EXPECT_EQ(FindEvent(got, EventId::GadgetAction)->source, button);
  EXPECT_EQ(FindEvent(got, EventId::KeyDown)->data, kKeyLeftShift);
  EXPECT_EQ(MouseHit(1), 1);
}

// In-process application tests build the whole GUI without a display.
TEST(HeadlessGui, GadgetsWorkWithoutShowingAnything) {
  SetGuiHeadless(true);
  FlushEvents();
  GadgetPtr window = CreateWindow("Velmora - 2.0b", 0, 0, 500, 500, nullptr, 15);
  GadgetPtr button = CreateButton("", 0, 30, 115, 25, window);
  GadgetPtr canvas = CreateCanvas(0, 0, ClientWidth(window), ClientHeight(window), window, 0);
  SetGadgetLayout(canvas, 1, 1, 1, 1);
  EXPECT_FALSE(FlWindow(window)->shown());
  SetGadgetText(button, "HEAD.JPG");
  EXPECT_EQ(GadgetText(button), "HEAD.JPG");
  GadgetWidget(button)->do_callback();
  RedrawGadget(canvas);
  SetGadgetShape(window, 0, 0, 600, 500);
  std::vector<TEvent> got = GuiTest::TakePending();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].id, EventId::GadgetAction);
  EXPECT_EQ(got[1].id, EventId::GadgetPaint) << "posted at once: there is no window to expose";
  EXPECT_EQ(got[1].source, canvas);
  EXPECT_EQ(got[2].id, EventId::WindowSize);
  EXPECT_EQ(GadgetWidth(canvas), 600);
  SetGraphics(CanvasGraphics(canvas));  // nothing to make current; must not fail
  Flip(-1);
  SetGraphics(nullptr);
  FreeGadget(window);
  SetGuiHeadless(false);
}

}  // namespace
