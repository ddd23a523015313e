// Entry points of the windowing GL for the engine's loader. Its own file because the
// GLX header pulls in X11, whose macros (None, Status, Bool) clash with ordinary names.
#include <GL/glx.h>

void* GlxProcAddress(const char* name) {
  return reinterpret_cast<void*>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
}
