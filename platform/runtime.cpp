// Fatal errors, debug messages and the clock.
#include "platform/runtime.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {
FatalHandler g_fatal_handler = nullptr;
std::function<void(const std::string&)> g_debug_sink;
}  // namespace

void RuntimeError(const std::string& message) {
  if (g_fatal_handler) g_fatal_handler(message);
  std::fprintf(stderr, "%s\n", message.c_str());
  std::fflush(stderr);
  std::exit(-1);
}

void SetFatalHandler(FatalHandler handler) { g_fatal_handler = handler; }

void ThrowFatalError(const std::string& message) { throw FatalError(message); }

void DebugLog(const std::string& message) {
  if (g_debug_sink) {
    g_debug_sink(message);
    return;
  }
  std::fprintf(stderr, "%s\n", message.c_str());
}

void SetDebugSink(std::function<void(const std::string&)> sink) { g_debug_sink = std::move(sink); }

int64_t Millisecs() {
  static const auto start = std::chrono::steady_clock::now();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}
