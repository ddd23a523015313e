// Tests that need a file to be unreadable: a root test run reads any file unless its
// capabilities to override permission bits are off.
#pragma once

// While one lives, the calling thread is held to files' permission bits even as root
// (its capabilities to override them are off), so a file made unreadable is.
class HonourFilePermissions {
 public:
  HonourFilePermissions();
  ~HonourFilePermissions();
  HonourFilePermissions(const HonourFilePermissions&) = delete;
  HonourFilePermissions& operator=(const HonourFilePermissions&) = delete;

 private:
  unsigned saved_effective_ = 0;
  bool changed_ = false;
};
