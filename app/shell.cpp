// Start-up, the event loop's dispatch and HandleMenus. The engine is reached through
// its command set, except the display settings, GraphicsInit and the camera's viewport
// on a resize, which are the engine's own.
#include "app/shell.h"

#include "app/app_state.h"
#include "app/camera_control.h"
#include "app/scene.h"
#include "app/texture_slots.h"
#include "engine/commands/commands.h"
#include "engine/scene/camera.h"
#include "engine/scene/global.h"
#include "platform/event_queue.h"
#include "platform/gui.h"

const char* const kButtonUsageText =
    "Just click on a button with a filename to choose a new image to apply.  Use the Re (as in Reload) "
    "button to update the image if you are working on it while previewing.\r\r"
    "Only use TGA images. Alpha transparency may not be working right, so please report any problems.";
const char* const kCameraControlsText =
    "click and drag left-mouse to tumble\r"
    "middle-mouse or hold Shift to zoom\r"
    "right-mouse or hold Ctrl to pan";
const char* const kAboutText =
    "Velmora - 2.0b\r"
    "project started by Parvell\r"
    "8/22/2007\r"
    "\r"
    "If you find this tool useful, stop by my store Brindlewick, Or just send me some Zorins as a thank you.";

namespace {

constexpr double kTicksPerSecond = 60.0;
constexpr int kPanelStyle = kWindowTitleBar | kWindowTool;
constexpr int kMainWindowStyle = kWindowTitleBar | kWindowResizable | kWindowMenu | kWindowStatus;
constexpr int kKeyQ = 81;

// The panel: a caption above each region's rows, each row a file button, "Re" and "-".
struct PanelRow {
  const char* caption;  // shown above this row, or null
  int caption_y;
  int y;
  GadgetPtr AppState::*file;
  GadgetPtr AppState::*reload;
  GadgetPtr AppState::*clear;
};

const PanelRow kPanelRows[] = {
    {"Head", 10, 30, &AppState::bHeadBTex, &AppState::bHeadBRel, &AppState::bHeadBDel},
    {nullptr, 0, 55, &AppState::bHeadATex, &AppState::bHeadARel, &AppState::bHeadADel},
    {"Upper", 90, 110, &AppState::bUpperBTex, &AppState::bUpperBRel, &AppState::bUpperBDel},
    {nullptr, 0, 135, &AppState::bUpper1Tex, &AppState::bUpper1Rel, &AppState::bUpper1Del},
    {nullptr, 0, 160, &AppState::bUpper2Tex, &AppState::bUpper2Rel, &AppState::bUpper2Del},
    {"Lower", 195, 225, &AppState::bLowerBTex, &AppState::bLowerBRel, &AppState::bLowerBDel},
    {nullptr, 0, 250, &AppState::bLower1Tex, &AppState::bLower1Rel, &AppState::bLower1Del},
    {nullptr, 0, 275, &AppState::bLower2Tex, &AppState::bLower2Rel, &AppState::bLower2Del},
    {"Skirt", 310, 330, &AppState::bSkirtTex, &AppState::bSkirtRel, &AppState::bSkirtDel},
};

void BuildPanel() {
  app.panel = CreateWindow("", app.xres + 10, 60, 200, 380, nullptr, kPanelStyle);
  for (const PanelRow& row : kPanelRows) {
    if (row.caption) CreateLabel(row.caption, 0, row.caption_y, 115, 25, app.panel, kLabelCenter);
    app.*row.file = CreateButton("", 0, row.y, 115, 25, app.panel, kButtonPush);
    // "-" starts 5 pixels inside "Re" (160 against 165), as the panel was always laid out.
    app.*row.reload = CreateButton("Re", 115, row.y, 50, 25, app.panel, kButtonPush);
    app.*row.clear = CreateButton("-", 160, row.y, 40, 25, app.panel, kButtonPush);
  }
}

struct MenuEntry {
  const char* text;
  int tag;
  int parent;  // index of the title in this table, -1 for the menu bar
  int hotkey;
  int modifiers;
};

const MenuEntry kMenus[] = {
    {"File", kMenuFile, -1, 0, 0},
    {"New Scene", kMenuNewScene, 0, 0, 0},
    {"Quit", kMenuQuit, 0, kKeyQ, kModCommand},  // Command means Control here
    {"Scene", kMenuScene, -1, 0, 0},
    {"Background Color", kMenuBackgroundColor, 3, 0, 0},
    {"Toggle Gender", kMenuToggleGender, 3, 0, 0},
    {"Toggle Skirt", kMenuToggleSkirt, 3, 0, 0},
    {"Help", kMenuHelp, -1, 0, 0},
    {"Button Usage", kMenuButtonUsage, 7, 0, 0},
    {"Camera Controls", kMenuCameraControls, 7, 0, 0},
    {"About...", kMenuAbout, 7, 0, 0},
};

void BuildMenus() {
  std::vector<GadgetPtr> made;
  for (const MenuEntry& m : kMenus) {
    const GadgetPtr parent = m.parent < 0 ? WindowMenu(app.window) : made[size_t(m.parent)];
    made.push_back(CreateMenu(m.text, m.tag, parent, m.hotkey, m.modifiers));
  }
  UpdateWindowMenu(app.window);
}

void TakeCanvasSize() {
  TGlobal::width = ClientWidth(app.window);
  TGlobal::height = ClientHeight(app.window);
}

}  // namespace

void PaintCanvas() {
  SetGraphics(CanvasGraphics(app.canvas));
  velmora::RenderWorld();
  Flip(-1);
}

void StartUp() {
  TGlobal::display_opener = OpenEngineDisplay;  // the engine's own Graphics3D window
  app.timer = CreateTimer(kTicksPerSecond);
  BuildPanel();

  SetGraphicsDriver(GLGraphicsDriver(), kGraphicsBackBuffer | kGraphicsDepth);
  app.window = CreateWindow(kWindowTitle, 0, 0, app.xres, app.yres, nullptr, kMainWindowStyle);
  app.canvas = CreateCanvas(0, 0, ClientWidth(app.window), ClientHeight(app.window), app.window, 0);
  SetGadgetLayout(app.canvas, kEdgeAligned, kEdgeAligned, kEdgeAligned, kEdgeAligned);
  BuildMenus();

  // The canvas owns the GL context: the engine is told its size instead of opening
  // a display of its own.
  TakeCanvasSize();
  TGlobal::depth = 32;
  TGlobal::mode = 0;
  TGlobal::rate = 60;
  SetGraphics(CanvasGraphics(app.canvas));
  TGlobal::GraphicsInit();

  Setup3D();
  SetHotKeyEvent(kKeyQ, kModCommand, std::nullopt, nullptr);
  FlushKeys();
  FlushMouse();
}

void HandleEvent() {
  switch (EventID()) {
    case EventId::MouseDown: OnMouseDown(EventData()); break;
    case EventId::MouseUp: OnMouseUp(); break;
    case EventId::MouseMove: OnMouseMove(EventX(), EventY()); break;
    case EventId::KeyDown: OnKeyDown(EventData()); break;
    case EventId::KeyUp: OnKeyUp(EventData()); break;
    case EventId::WindowClose:
      if (EventSource() == app.window) End();  // the panel's close box does nothing
      break;
    case EventId::WindowSize:
      // From any window: the main window's client size is read again.
      TakeCanvasSize();
      if (app.camera) app.camera->CameraViewport(0, 0, ClientWidth(app.window), ClientHeight(app.window));
      break;
    case EventId::AppTerminate: End(); break;
    case EventId::MenuAction: HandleMenus(EventData()); break;
    case EventId::GadgetAction: HandleButtons(std::dynamic_pointer_cast<TGadget>(EventSource())); break;
    case EventId::TimerTick:
      UpdateState();
      RedrawGadget(app.canvas);  // drawing waits for the canvas's paint event
      break;
    case EventId::GadgetPaint: PaintCanvas(); break;
    default: break;  // WindowMove, HotKeyHit, key characters, the wheel
  }
}

void RunEventLoop() {
  for (;;) {
    WaitEvent();
    HandleEvent();
  }
}

int HandleMenus(int tag) {
  switch (tag) {
    case kMenuNewScene: Setup3D(); break;
    case kMenuQuit: End(); break;
    case kMenuBackgroundColor: ChooseBackgroundColor(); break;
    case kMenuToggleGender: ToggleGender(); break;
    case kMenuToggleSkirt: ToggleSkirt(); break;
    case kMenuButtonUsage: Notify(kButtonUsageText, false); break;
    case kMenuCameraControls: Notify(kCameraControlsText, false); break;
    case kMenuAbout: Notify(kAboutText, false); break;
    default: break;  // the titles and unknown tags
  }
  return 0;
}
