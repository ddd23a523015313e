// What the toolkit-side files of the GUI layer share: the gadget record behind every
// handle and the lookups between toolkit widgets and gadgets. Includes FLTK headers,
// so only platform/gui*.cpp and platform/app_startup.cpp may include it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/gui.h"

class Fl_Box;
class Fl_Group;
class Fl_Menu_Bar;
class Fl_Window;
class Fl_Gl_Window;

// One record for every kind; the fields a kind does not use stay empty.
struct GuiGadget : TGadget {
  GuiGadget(int gadget_kind, int gadget_style) {
    kind = gadget_kind;
    style = gadget_style;
  }
  ~GuiGadget() override;
  // Deletes the widget (and the window's bars); the record itself may outlive it.
  void DropWidget();

  GuiGadget* parent = nullptr;  // back-reference; the parent clears it before it goes
  std::vector<GadgetPtr> kids;  // window: its gadgets; menu: its items
  std::string text;
  Fl_Widget* widget = nullptr;  // owned

  // Windows.
  Fl_Group* client = nullptr;   // inside widget; the parent of the window's gadgets
  Fl_Menu_Bar* menubar = nullptr;
  Fl_Box* status = nullptr;
  std::string status_text;
  GadgetPtr menu_root;

  // Gadgets on a window: their shape and the parent's client size when the layout was
  // taken, so each resize works from these and rounding never accumulates.
  int edge_left = kEdgeAligned, edge_right = kEdgeCentered;
  int edge_top = kEdgeAligned, edge_bottom = kEdgeCentered;
  int base_x = 0, base_y = 0, base_w = 0, base_h = 0, base_parent_w = 0, base_parent_h = 0;

  // Menus.
  int tag = 0;
  int hotkey = 0;
  int modifiers = 0;
  GuiGadget* owner_window = nullptr;

  // Canvases and graphics windows.
  Fl_Gl_Window* gl = nullptr;  // the same object as widget, or null when headless
  bool top_level_graphics = false;
};

inline GuiGadget* AsGui(const GadgetPtr& gadget) { return static_cast<GuiGadget*>(gadget.get()); }
GadgetPtr HandleOf(GuiGadget* gadget);
GuiGadget* GadgetOfWidget(const Fl_Widget* widget);  // null when not one of ours
// A label as one level of an FLTK menu path: its markup characters escaped.
std::string MenuPathPart(const std::string& text);
const std::vector<GadgetPtr>& TopLevelWindows();
bool GuiHeadless();

// gui_input.cpp
void InstallInputHooks();
int ModifierBits();                    // the toolkit's current modifier state as kMod* bits
int ToolkitShortcut(int key_code, int modifiers);  // 0 when the key has no toolkit key
int MouseButtonCode(int toolkit_button);           // 1 left, 2 right, 3 middle
Fl_Window* CurrentGraphicsWindow();

// gui_glx.cpp: kept apart because the GLX header brings in X11's macros.
void* GlxProcAddress(const char* name);

// gui_gl.cpp: tells the GL layer which canvas context is current (and loads its entry
// points) or gone, so texture names are deleted only in the context that made them. Apart because the GL loader's
// header must come before every other GL header.
void NoteCanvasCurrent(Fl_Gl_Window* gl);
void NoteCanvasDestroyed(Fl_Gl_Window* gl);

// gui_dialogs.cpp: a quit request (SIGTERM, SIGINT) must reach the event loop, which
// waits while a handler sits in a modal dialog. Once set, every open requester and
// notice closes as if cancelled and none opens until it is cleared.
void SetDialogsQuitting(bool quitting);
bool DialogsQuitting();
// Runs the toolkit until the modal window closes or a quit request comes.
void RunModal(Fl_Window& window);

// gui_file_chooser.cpp: the modal chooser behind RequestFile. extensions as RequestFile
// takes them. Returns an absolute path, "" on cancel.
std::string RunFileChooser(const std::string& title, const std::string& extensions, bool save,
                           const std::string& initial_path);
