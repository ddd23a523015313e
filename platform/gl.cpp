// Multitexture entry points and context queries over whichever GL context is current.
#include "platform/gl.h"

#include <cstdlib>
#include <initializer_list>
#include <unordered_map>

namespace {

using ActiveTextureFn = void(GLAPIENTRY*)(GLenum);

GlProcLoader g_loader = nullptr;
unsigned long long g_current_context = 0;
unsigned long long g_last_context_id = 0;

// Never destroyed: textures may be released by static destructors at exit, after
// this file's statics would be gone.
std::unordered_map<const void*, unsigned long long>& ContextIds() {
  static auto* ids = new std::unordered_map<const void*, unsigned long long>();
  return *ids;
}
ActiveTextureFn g_active_texture = nullptr;
ActiveTextureFn g_client_active_texture = nullptr;

// The first of the names the loader knows, else GLEW's pointer (null when glewInit failed).
ActiveTextureFn Find(const char* arb_name, const char* core_name, ActiveTextureFn glew_pointer) {
  for (const char* name : {arb_name, core_name}) {
    if (!g_loader) break;
    if (void* p = g_loader(name)) return reinterpret_cast<ActiveTextureFn>(p);
  }
  return glew_pointer;
}

}  // namespace

void GlKeepDriverCachesInMemory() { setenv("MESA_SHADER_CACHE_DISABLE", "true", 1); }

void GlInitEntryPoints(GlProcLoader loader) {
  g_loader = loader;
  GlInitEntryPoints();
}

void GlInitEntryPoints() {
  glewInit();  // failure is expected off-screen; the pointers below do not depend on it
  g_active_texture = Find("glActiveTextureARB", "glActiveTexture",
                          __glewActiveTextureARB ? __glewActiveTextureARB : __glewActiveTexture);
  g_client_active_texture =
      Find("glClientActiveTextureARB", "glClientActiveTexture",
           __glewClientActiveTextureARB ? __glewClientActiveTextureARB : __glewClientActiveTexture);
}

bool GlHasMultitexture() { return g_active_texture && g_client_active_texture; }

void GlActiveTexture(GLenum unit) {
  if (g_active_texture) g_active_texture(unit);
}

void GlClientActiveTexture(GLenum unit) {
  if (g_client_active_texture) g_client_active_texture(unit);
}

int GlMaxTextureUnits() {
  if (!GlHasMultitexture()) return 1;
  GLint units = 1;
  glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
  return units > 0 ? units : 1;
}

bool GlHasAccumBuffer() {
  GLint red = 0;
  glGetIntegerv(GL_ACCUM_RED_BITS, &red);
  return red > 0;
}

void GlNoteContextCurrent(const void* context) {
  if (!context) {
    g_current_context = 0;
    return;
  }
  auto [at, added] = ContextIds().try_emplace(context, 0);
  if (added) at->second = ++g_last_context_id;
  g_current_context = at->second;
}

void GlNoteContextDestroyed(const void* context) {
  auto at = ContextIds().find(context);
  if (at == ContextIds().end()) return;
  if (g_current_context == at->second) g_current_context = 0;
  ContextIds().erase(at);  // a later context at the same address gets a new id
}

unsigned long long GlCurrentContextId() { return g_current_context; }
