// The previewer's shell: the start-up that builds the panel of slot buttons, the main
// window with its OpenGL canvas and menus, hands the canvas to the engine and builds
// the scene; the event loop that dispatches every event; and the menu items.
#pragma once

inline constexpr const char* kWindowTitle = "Velmora - 2.0b";

// Menu tags.
enum MenuTag : int {
  kMenuFile = 0,
  kMenuNewScene = 1,
  kMenuQuit = 2,
  kMenuScene = 3,
  kMenuBackgroundColor = 4,
  kMenuToggleGender = 5,
  kMenuToggleSkirt = 6,
  kMenuHelp = 7,
  kMenuButtonUsage = 8,
  kMenuCameraControls = 9,
  kMenuAbout = 10,
};

// The help notices; a carriage return separates lines.
extern const char* const kButtonUsageText;
extern const char* const kCameraControlsText;
extern const char* const kAboutText;

// Everything up to the loop: timer, panel, graphics driver, main window, canvas, menus,
// the engine's display settings and GL state, the scene, the Quit hot key.
void StartUp();
// Handles the current event (the one WaitEvent made current).
void HandleEvent();
// Waits for and handles events for the rest of the process; ends through End().
[[noreturn]] void RunEventLoop();

int HandleMenus(int tag);  // returns 0
// What a paint event does: renders the world into the canvas and shows it.
void PaintCanvas();
