// Keyboard and mouse for the GUI layer: toolkit keys to key codes, feeding the polled
// key, button and pointer state (platform/input.h), hot keys, key events for every
// window, and menu key equivalents that work from any of the program's windows (as a
// global menu bar would).
//
// All of it hangs on FLTK's event dispatch hook, which sees every event before the
// widgets do, synthetic ones from Fl::handle included.
#include <FL/Enumerations.H>
#include <FL/Fl.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Window.H>
#include <FL/fl_utf8.h>

#include <vector>

#include "platform/gui_internal.h"
#include "platform/input.h"

// ---- Key codes ------------------------------------------------------------------------

namespace {

struct KeyPair {
  int toolkit;
  int code;
};

// Letters and digits are computed; everything else with a code is listed here.
constexpr KeyPair kKeyTable[] = {
    {FL_BackSpace, 8},      {FL_Tab, 9},           {FL_Enter, 13},         {FL_Pause, 19},
    {FL_Caps_Lock, 20},     {FL_Escape, 27},       {' ', 32},              {FL_Page_Up, 33},
    {FL_Page_Down, 34},     {FL_End, 35},          {FL_Home, 36},          {FL_Left, 37},
    {FL_Up, 38},            {FL_Right, 39},        {FL_Down, 40},          {FL_Print, 44},
    {FL_Insert, 45},        {FL_Delete, 46},       {FL_Meta_L, 91},        {FL_Meta_R, 92},
    {FL_Menu, 93},          {FL_KP + '*', 106},    {FL_KP + '+', 107},     {FL_KP + '-', 109},
    {FL_KP + '.', 110},     {FL_KP + '/', 111},    {FL_Num_Lock, 144},     {FL_Scroll_Lock, 145},
    {FL_Shift_L, kKeyLeftShift},     {FL_Shift_R, kKeyRightShift},
    {FL_Control_L, kKeyLeftControl}, {FL_Control_R, kKeyRightControl},
    {FL_Alt_L, kKeyLeftAlt},         {FL_Alt_R, kKeyRightAlt},
    {';', 186},             {'=', 187},            {',', 188},             {'-', 189},
    {'.', 190},             {'/', 191},            {'`', 192},             {'[', 219},
    {'\\', 220},            {']', 221},            {'\'', 222},
};

}  // namespace

int KeyCodeFromToolkitKey(int key) {
  if (key >= 'a' && key <= 'z') return key - 'a' + 'A';
  if (key >= 'A' && key <= 'Z') return key;
  if (key >= '0' && key <= '9') return key;
  if (key >= FL_KP + '0' && key <= FL_KP + '9') return 96 + (key - FL_KP - '0');
  if (key > FL_F && key <= FL_F + 12) return 111 + (key - FL_F);
  if (key == FL_KP_Enter) return 13;
  for (const KeyPair& pair : kKeyTable) {
    if (pair.toolkit == key) return pair.code;
  }
  return 0;
}

int ToolkitKeyFromKeyCode(int code) {
  if (code >= 'A' && code <= 'Z') return code - 'A' + 'a';  // FLTK reports unshifted letters
  if (code >= '0' && code <= '9') return code;
  if (code >= 96 && code <= 105) return FL_KP + '0' + (code - 96);
  if (code >= 112 && code <= 123) return FL_F + (code - 111);
  for (const KeyPair& pair : kKeyTable) {
    if (pair.code == code) return pair.toolkit;
  }
  return 0;
}

int ToolkitShortcut(int key_code, int modifiers) {
  int key = key_code ? ToolkitKeyFromKeyCode(key_code) : 0;
  if (!key) return 0;
  if (modifiers & kModShift) key |= FL_SHIFT;
  if (modifiers & (kModControl | kModCommand)) key |= FL_CTRL;
  if (modifiers & kModOption) key |= FL_ALT;
  return key;
}

int ModifierBits() {
  int bits = 0;
  if (Fl::event_state(FL_SHIFT)) bits |= kModShift;
  if (Fl::event_state(FL_CTRL)) bits |= kModControl;
  if (Fl::event_state(FL_ALT)) bits |= kModOption;
  if (Fl::event_state(FL_META)) bits |= kModCommand;
  return bits;
}

int MouseButtonCode(int toolkit_button) {
  switch (toolkit_button) {
    case FL_LEFT_MOUSE: return 1;
    case FL_RIGHT_MOUSE: return 2;
    case FL_MIDDLE_MOUSE: return 3;
    default: return 0;
  }
}

// ---- Feeding the polled state, hot keys ------------------------------------------------

namespace {

struct HotKey {
  int key;
  int modifiers;  // kMod* bits with Command folded into Control
  std::optional<TEvent> event;
  EventSourcePtr owner;
};
std::vector<HotKey> g_hot_keys;

int FoldCommand(int modifiers) {
  return (modifiers & (kModShift | kModControl | kModOption)) | ((modifiers & kModCommand) ? kModControl : 0);
}

bool ValidKey(int code) { return code > 0 && code <= kMaxKeyCode; }

void FireHotKeys(int code) {
  int mods = FoldCommand(ModifierBits());
  for (const HotKey& hot : g_hot_keys) {
    if (hot.key != code || hot.modifiers != mods) continue;
    if (hot.event) {
      PostEvent(*hot.event);
    } else {
      PostEvent(EventId::HotKeyHit, hot.owner, hot.key, 0, 0, hot.modifiers);
    }
  }
}

// Key events go to the canvas that has the focus, else to the window: the program
// should see Shift go down whichever of its windows was last clicked.
GadgetPtr KeySource(GuiGadget* top) {
  GuiGadget* focus = GadgetOfWidget(Fl::focus());
  if (focus && focus->kind == kGadgetCanvas) return HandleOf(focus);
  return HandleOf(top);
}

void NoteKey(int event, GuiGadget* top) {
  int code = KeyCodeFromToolkitKey(Fl::event_key());
  if (event == FL_KEYDOWN) {
    if (ValidKey(code)) {
      InputKeyDown(code);
      PostEvent(EventId::KeyDown, KeySource(top), code, 0, 0, ModifierBits());
      FireHotKeys(code);
    }
    if (Fl::event_length() > 0) {
      int length = 0;
      unsigned int ch = fl_utf8decode(Fl::event_text(), Fl::event_text() + Fl::event_length(), &length);
      PostEvent(EventId::KeyChar, KeySource(top), static_cast<int>(ch), 0, 0, ModifierBits());
    }
  } else if (ValidKey(code)) {
    InputKeyUp(code);
    PostEvent(EventId::KeyUp, KeySource(top), code, 0, 0, ModifierBits());
  }
}

void NoteMouse(int event) {
  InputPointerAt(Fl::event_x_root(), Fl::event_y_root());
  if (event == FL_PUSH || event == FL_RELEASE) {
    InputMouseButton(MouseButtonCode(Fl::event_button()), event == FL_PUSH);
  }
}

// The polled pointer is read in the current graphics context's coordinates.
bool CurrentContextOrigin(int& x, int& y) {
  Fl_Window* window = CurrentGraphicsWindow();
  if (!window) return false;
  x = window->x_root();
  y = window->y_root();
  return true;
}

// A key no widget took is tried against every window's menu key equivalents.
bool TryMenuKeys() {
  for (const GadgetPtr& window : TopLevelWindows()) {
    Fl_Menu_Bar* bar = AsGui(window)->menubar;
    if (!bar || !bar->menu()) continue;
    if (const Fl_Menu_Item* item = bar->menu()->test_shortcut()) {
      bar->picked(item);
      return true;
    }
  }
  return false;
}

int Dispatch(int event, Fl_Window* window) {
  // Only the program's own windows count; while a modal dialog is up, input is its own.
  GuiGadget* top = window && !Fl::modal() ? GadgetOfWidget(window->top_window()) : nullptr;
  if (top) {
    switch (event) {
      case FL_KEYDOWN:
      case FL_KEYUP:
        NoteKey(event, top);
        break;
      case FL_PUSH:
      case FL_RELEASE:
      case FL_MOVE:
      case FL_DRAG:
      case FL_ENTER:
        NoteMouse(event);
        break;
      default:
        break;
    }
  }
  int handled = Fl::handle_(event, window);
  if (!handled && top && event == FL_KEYDOWN) handled = TryMenuKeys() ? 1 : 0;
  return handled;
}

}  // namespace

void InstallInputHooks() {
  Fl::event_dispatch(Dispatch);
  SetPointerOriginHook(CurrentContextOrigin);
}

void SetHotKeyEvent(int key, int modifiers, std::optional<TEvent> event, EventSourcePtr owner) {
  GuiStart();
  int mods = FoldCommand(modifiers);
  for (HotKey& hot : g_hot_keys) {
    if (hot.key == key && hot.modifiers == mods) {
      hot.event = std::move(event);
      hot.owner = std::move(owner);
      return;
    }
  }
  g_hot_keys.push_back(HotKey{key, mods, std::move(event), std::move(owner)});
}
