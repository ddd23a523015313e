// The one include for OpenGL in the program: GLEW's declarations, then GL and GLU,
// plus the entry points that must come from the current context (multitexture) and
// questions about that context.
//
// GLEW is initialised but never trusted: under OSMesa glewInit() fails ("Missing GL
// version") and leaves its pointers null, so the multitexture calls go through
// pointers taken from the context's own proc-address function.
#pragma once

#include <GL/glew.h>
// glew.h has declared everything gl.h would and set its include guard.
#include <GL/gl.h>
#include <GL/glu.h>

// Answers a GL function's address for the current context, or null: a wrapper of
// OSMesaGetProcAddress off-screen, of glXGetProcAddress in a window.
using GlProcLoader = void* (*)(const char* name);

// Runs glewInit (its failure is not an error) and takes glActiveTexture and
// glClientActiveTexture from `loader` (the ARB names first, then the core ones),
// falling back to GLEW's pointers when the loader has neither. Remembers the loader.
// The context must be current. A context layer calls this when it makes its context
// current.
void GlInitEntryPoints(GlProcLoader loader);
// The same again with the loader given last; with none yet, GLEW's pointers only.
void GlInitEntryPoints();

// Mesa keeps a shader cache on disk, in the home directory of the password database
// (not $HOME) unless told otherwise, and writes it whenever it compiles a shader it
// has not seen. Told before the first context is made, it keeps compiled shaders in
// memory only. Every context layer calls this before it makes a context.
void GlKeepDriverCachesInMemory();

bool GlHasMultitexture();  // both entry points were found

// GL_TEXTURE0 + n. Without multitexture only unit 0 exists and these do nothing.
void GlActiveTexture(GLenum unit);
void GlClientActiveTexture(GLenum unit);

int GlMaxTextureUnits();  // fixed-function units of the current context (1 without multitexture)
bool GlHasAccumBuffer();  // the current context has accumulation buffer bits

// Which context is current, so that GL objects are deleted only in the context that
// made them (never in another one, nor after theirs is gone). Context layers report
// each make-current and each destruction; a context's id is given at its first
// make-current and never reused. 0: none reported current.
void GlNoteContextCurrent(const void* context);
void GlNoteContextDestroyed(const void* context);
unsigned long long GlCurrentContextId();
