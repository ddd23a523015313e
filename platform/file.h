// File system queries: what a path is, and the current directory.
#pragma once

#include <string>

enum FileKind { kFileNone = 0, kFileRegular = 1, kFileDirectory = 2 };

int FileType(const std::string& path);  // FileKind
// One text for every path that names the same file (its device and node), so aliases
// such as "a.png" and "./a.png" are known as one; empty when there is no such file.
std::string FileIdentity(const std::string& path);
std::string CurrentDir();               // absolute, without a trailing "/"
bool ChangeDir(const std::string& path);
