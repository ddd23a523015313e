// A field of this process's /proc status in KiB ("VmRSS", "VmHWM"): how the benches
// that load in a child read what the load made it hold.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>

inline long StatusKiB(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(in, line))
    if (line.compare(0, key.size(), key) == 0) return std::atol(line.c_str() + key.size());
  return -1;
}
