// What the fuzz targets that draw share: the start-up on an off-screen GL context, and
// the one way a broken invariant ends the run (libFuzzer reports the abort).
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/offscreen.h"
#include "platform/runtime.h"

[[noreturn]] inline void Broken(const std::string& what) {
  std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
  std::abort();
}

// Fatal errors thrown (the targets catch them as answers), debug messages dropped, and
// a current off-screen context of side x side pixels. The context lives until the
// process ends and is never destroyed: at exit Mesa's own threads are already gone,
// and destroying a context then never returns.
inline void StartOnOffscreenContext(int side) {
  SetFatalHandler(ThrowFatalError);
  SetDebugSink([](const std::string&) {});
  static auto* context = new std::shared_ptr<TOffscreenContext>(TOffscreenContext::Create(side, side));
  if (!*context) {
    std::fprintf(stderr, "no off-screen GL context\n");
    std::abort();
  }
}
