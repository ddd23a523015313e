// Runtime services every layer uses: the fatal runtime error, the debug message
// channel and the millisecond clock.
//
// A fatal error prints its message on standard error and ends the process with
// status -1 (255). Tests install a handler that throws FatalError instead, so the
// exact message can be checked without a death test.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

// Thrown by the test handler; never thrown by the default one.
struct FatalError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Ends the program with the message, through the current fatal handler.
[[noreturn]] void RuntimeError(const std::string& message);

// The handler must not return (it throws or exits). Null restores the default.
using FatalHandler = void (*)(const std::string& message);
void SetFatalHandler(FatalHandler handler);
[[noreturn]] void ThrowFatalError(const std::string& message);  // a handler for tests

// Debug messages go to standard error unless a sink is installed (tests capture them).
void DebugLog(const std::string& message);
void SetDebugSink(std::function<void(const std::string&)> sink);

// Milliseconds since the first call; only differences mean anything.
int64_t Millisecs();
