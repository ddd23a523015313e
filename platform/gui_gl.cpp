// The GUI layer's side of the GL loader (platform/gl.h): which canvas context is
// current, its entry points, and the engine's own display window. platform/gl.h must come before any
// other GL header, which is why this is not in gui.cpp.
#include "platform/gl.h"

#include <FL/Fl_Gl_Window.H>

#include "platform/gui_internal.h"

void NoteCanvasCurrent(Fl_Gl_Window* gl) {
  static const void* last = nullptr;
  GlNoteContextCurrent(gl->context());
  // Entry points belong to their context; a program repaints through the same one
  // every frame, and loading them is not free.
  if (gl->context() != last) GlInitEntryPoints(GlxProcAddress);
  last = gl->context();
}

void NoteCanvasDestroyed(Fl_Gl_Window* gl) {
  if (gl->context()) GlNoteContextDestroyed(gl->context());
}

void OpenEngineDisplay(int width, int height, int depth, int rate, int flags) {
  SetGraphicsDriver(GLGraphicsDriver(), kGraphicsBackBuffer);
  Graphics(width, height, depth, rate, flags);  // made current, entry points loaded
}
