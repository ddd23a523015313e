// The GUI layer the previewer is built on: windows, labels, push buttons, an OpenGL
// canvas, window menus with key equivalents, timers, requesters and notices, polled
// keys and mouse, and the graphics contexts. Everything reaches the program as
// events in the one queue (platform/event_queue.h).
//
// Backed by FLTK on X11, but no toolkit or X11 header is included here: X11 defines
// macros (None, Status, Bool) that break ordinary code. Handles are shared_ptrs; a
// null handle is the null object and every call accepts it and does nothing.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/event_queue.h"
#include "platform/input.h"  // the polled keys and mouse, fed by this layer

class TGadget;
class TTimer;
class TGraphics;
class TGraphicsDriver;
class Fl_Widget;  // only for tests that drive the toolkit directly (GadgetWidget)

using GadgetPtr = std::shared_ptr<TGadget>;
using TimerPtr = std::shared_ptr<TTimer>;
using GraphicsPtr = std::shared_ptr<TGraphics>;
using GraphicsDriverPtr = std::shared_ptr<TGraphicsDriver>;

// ---- Styles, flags, modifiers, key codes ---------------------------------------------

constexpr int kWindowTitleBar = 1;
constexpr int kWindowResizable = 2;
constexpr int kWindowMenu = 4;
constexpr int kWindowStatus = 8;
constexpr int kWindowTool = 16;          // accepted; looks like any other window here
constexpr int kWindowClientCoords = 32;  // the rectangle is the client area, not the frame

// Without kWindowClientCoords the rectangle is the outer frame. The window manager's
// frame cannot be known before the window is mapped, so a fixed title-bar allowance
// is taken off the top (only when there is a title bar); the sides have none.
constexpr int kFrameTitleHeight = 24;
constexpr int kMenuBarHeight = 25;
constexpr int kStatusBarHeight = 20;

constexpr int kLabelFrame = 1;
constexpr int kLabelSunkenFrame = 2;
constexpr int kLabelRight = 8;
constexpr int kLabelCenter = 16;

constexpr int kButtonPush = 1;  // every button is a push button

// SetGadgetLayout edge rules.
constexpr int kEdgeCentered = 0;
constexpr int kEdgeAligned = 1;   // keeps its distance to the parent's edge
constexpr int kEdgeRelative = 2;  // keeps its proportional place

constexpr int kGraphicsBackBuffer = 2;
constexpr int kGraphicsAlpha = 4;
constexpr int kGraphicsDepth = 8;
constexpr int kGraphicsStencil = 16;
constexpr int kGraphicsAccum = 32;

// Modifier bits. The Command key has no Linux counterpart: kModCommand means Control.
constexpr int kModShift = 1;
constexpr int kModControl = 2;
constexpr int kModOption = 4;
constexpr int kModCommand = 8;

// Key codes are virtual-key style: letters 65..90, digits 48..57, F1..F12 112..123,
// the keypad 96..111, and the left/right modifiers below; at most kMaxKeyCode.
constexpr int kKeyLeftShift = 160;
constexpr int kKeyRightShift = 161;
constexpr int kKeyLeftControl = 162;
constexpr int kKeyRightControl = 163;
constexpr int kKeyLeftAlt = 164;
constexpr int kKeyRightAlt = 165;

constexpr int kGadgetWindow = 1;
constexpr int kGadgetLabel = 2;
constexpr int kGadgetButton = 3;
constexpr int kGadgetCanvas = 4;
constexpr int kGadgetMenu = 5;

// Toolkit key <-> key code; 0 when a key has no code (and the reverse likewise).
int KeyCodeFromToolkitKey(int toolkit_key);
int ToolkitKeyFromKeyCode(int code);

// ---- Gadgets ------------------------------------------------------------------------

class TGadget : public TEventSource {
 public:
  ~TGadget() override;
  int kind = 0;
  int style = 0;

 protected:
  TGadget() = default;  // made only by the Create* functions
};

class TTimer : public TEventSource {
 public:
  ~TTimer() override;
  double hz = 0;
  int ticks = 0;
};

// Starts the toolkit side once: the event pump and the input hooks. Every Create*
// calls it; a program calls it only to wait for events before creating anything.
void GuiStart();

// Headless: windows are never shown and canvases get no GL window (RedrawGadget on a
// canvas posts GadgetPaint at once). For in-process tests without a display.
void SetGuiHeadless(bool headless);

// group: the parent window (null for a top-level window). Top-level windows stay
// alive until FreeGadget, whether or not the program keeps the handle.
GadgetPtr CreateWindow(const std::string& title, int x, int y, int width, int height,
                       const GadgetPtr& group, int style);
GadgetPtr CreateLabel(const std::string& text, int x, int y, int width, int height,
                      const GadgetPtr& group, int style = 0);
// Posts GadgetAction with the button as source when pressed.
GadgetPtr CreateButton(const std::string& text, int x, int y, int width, int height,
                       const GadgetPtr& group, int style = kButtonPush);
// An OpenGL canvas with the buffers of the graphics driver's flags. Posts GadgetPaint
// when it must be drawn (it never draws or swaps by itself), MouseDown/MouseUp (data:
// 1 left, 2 right, 3 middle), MouseMove and MouseWheel in its own coordinates.
GadgetPtr CreateCanvas(int x, int y, int width, int height, const GadgetPtr& group, int style = 0);
// Takes the gadget (and a window's gadgets) off the screen; a freed menu item leaves
// its menu bar at once. Handles still held stay valid and do nothing.
void FreeGadget(const GadgetPtr& gadget);

// Positions are relative to the parent's client area (a window's: screen, outer frame
// unless kWindowClientCoords). Resizing a window posts WindowSize.
void SetGadgetShape(const GadgetPtr& gadget, int x, int y, int width, int height);
int GadgetX(const GadgetPtr& gadget);
int GadgetY(const GadgetPtr& gadget);
int GadgetWidth(const GadgetPtr& gadget);
int GadgetHeight(const GadgetPtr& gadget);
// How each edge follows the parent's client area when it changes size, from the
// shape the gadget has now. New gadgets keep their top-left place and size.
void SetGadgetLayout(const GadgetPtr& gadget, int left, int right, int top, int bottom);
int ClientWidth(const GadgetPtr& gadget);   // a window's client area: inside menu and status bars
int ClientHeight(const GadgetPtr& gadget);

void SetGadgetText(const GadgetPtr& gadget, const std::string& text);  // window title, label, button
std::string GadgetText(const GadgetPtr& gadget);
void SetStatusText(const GadgetPtr& window, const std::string& text);
void RedrawGadget(const GadgetPtr& gadget);  // a canvas posts GadgetPaint soon after

Fl_Widget* GadgetWidget(const GadgetPtr& gadget);  // null for menus

// ---- Menus --------------------------------------------------------------------------

// The root of a window's menu bar; titles are created on it, items on titles.
GadgetPtr WindowMenu(const GadgetPtr& window);
// Choosing a leaf item (or typing its key equivalent in any of the program's windows)
// posts MenuAction with the tag as data and the item as source. hotkey 0 means none.
// An empty text makes a divider.
GadgetPtr CreateMenu(const std::string& text, int tag, const GadgetPtr& parent, int hotkey = 0,
                     int modifiers = 0);
// Menus show their changes only after this.
void UpdateWindowMenu(const GadgetPtr& window);

// ---- Timers -------------------------------------------------------------------------

// Posts TimerTick (source: the timer, data: ticks so far) hz times a second; a tick
// posted while one is pending merges into it. Runs until StopTimer. Null if hz <= 0.
TimerPtr CreateTimer(double hz);
int TimerTicks(const TimerPtr& timer);
void StopTimer(const TimerPtr& timer);

// ---- Graphics contexts --------------------------------------------------------------

GraphicsDriverPtr GLGraphicsDriver();
// flags: kGraphicsBackBuffer, kGraphicsAlpha, kGraphicsDepth, kGraphicsStencil,
// kGraphicsAccum; read by every canvas and graphics window created afterwards.
void SetGraphicsDriver(const GraphicsDriverPtr& driver, int flags = kGraphicsBackBuffer);
int GraphicsDriverFlags();

GraphicsPtr CanvasGraphics(const GadgetPtr& canvas);
// A top-level window that is all OpenGL context, made current. depth is accepted but
// the window is always windowed; closing it posts AppTerminate.
GraphicsPtr Graphics(int width, int height, int depth = 0, int hz = 60, int flags = kGraphicsBackBuffer);
void CloseGraphics(const GraphicsPtr& graphics);  // closes a Graphics window; a canvas stays
// Makes its context current and loads the GL entry points from it (platform/gl.h).
void SetGraphics(const GraphicsPtr& graphics);
GraphicsPtr CurrentGraphics();
int GraphicsWidth();
int GraphicsHeight();
// Presents the back buffer of the current context. sync is accepted; the swap never
// waits for the vertical blank here.
void Flip(int sync = -1);
// Entry points of the windowing GL, for the engine's GL loader.
void* GuiGetProcAddress(const char* name);
// The engine's own display set-up (installed as TGlobal::display_opener): the OpenGL
// driver with its default flags, then a Graphics window of the size with `flags`,
// made current.
void OpenEngineDisplay(int width, int height, int depth, int rate, int flags);

// ---- Requesters and notices ---------------------------------------------------------

// A modal colour chooser starting at r, g, b (0..255). 1 when a colour was confirmed,
// then RequestedRed/Green/Blue give it; 0 on cancel, and they keep their old values.
int RequestColor(int red, int green, int blue);
int RequestedRed();
int RequestedGreen();
int RequestedBlue();
// A modal file chooser. extensions: "tga" (shown as "TGA images (*.tga)") or
// "Images:png,jpg;Text:txt", matched in any case; only folders and regular files are
// offered. Without an initial path it opens in the folder of the last file chosen (the
// working folder at first). Returns the chosen absolute path, or "" on cancel and once
// a quit signal came; the chooser is off the screen when it returns.
std::string RequestFile(const std::string& text, const std::string& extensions = "", bool save = false,
                        const std::string& initial_path = "");
// A modal alert headed with AppTitle(), one "OK" button. Carriage returns (13)
// separate lines; longer lines wrap to a readable width. A quit signal closes it.
void Notify(const std::string& text, bool serious = false);

// While one lives, the program's windows show the busy pointer: for work that holds
// up the event loop, such as loading a large image.
class BusyPointer {
 public:
  BusyPointer();
  ~BusyPointer();
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;
};

// Seams for in-process tests: while a hook is set it answers instead of a dialog.
// The colour hook gets the start colour, sets the chosen one and returns true to confirm.
using FileRequesterHook =
    std::function<std::string(const std::string& text, const std::string& extensions, bool save,
                              const std::string& initial_path)>;
using ColorRequesterHook = std::function<bool(int& red, int& green, int& blue)>;
using NotifyHook = std::function<void(const std::string& text, bool serious)>;
void SetFileRequesterHook(FileRequesterHook hook);
void SetColorRequesterHook(ColorRequesterHook hook);
void SetNotifyHook(NotifyHook hook);

// ---- Polled input and hot keys ------------------------------------------------------

// Typing key with exactly these modifiers in any of the program's windows posts the
// event (or, with none, HotKeyHit with data key, extra modifiers, source owner). The
// key still reaches the windows, so a menu's key equivalent still works.
void SetHotKeyEvent(int key, int modifiers, std::optional<TEvent> event = std::nullopt,
                    EventSourcePtr owner = nullptr);
// FlushKeys, FlushMouse, KeyHit, KeyDown, MouseHit, MouseDown, MouseX and MouseY are in
// platform/input.h; this layer feeds them, measuring the pointer from the current
// graphics context.

// ---- Process ------------------------------------------------------------------------

// Ends the process with exit status 0. With a hook set (tests), calls it and returns.
void End();
void SetEndHook(std::function<void()> hook);
