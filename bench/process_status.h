// A field of this process's /proc status in KiB ("VmRSS", "VmHWM"), and the growth of
// the peak resident size over a stretch of work: how the benches that load in a child
// read what the load made it hold.
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

// Lowers the peak resident size to the present one and returns that in KiB: the start of
// the stretch whose growth PeakGrowthMiB gives.
inline long ResetPeakKiB() {
  std::ofstream("/proc/self/clear_refs") << "5";
  return StatusKiB("VmRSS");
}

inline double PeakGrowthMiB(long start_kib) { return double(StatusKiB("VmHWM") - start_kib) / 1024.0; }
