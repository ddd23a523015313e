// File system queries: what a path is, and the current directory.
#pragma once

#include <string>

enum FileKind { kFileNone = 0, kFileRegular = 1, kFileDirectory = 2 };

int FileType(const std::string& path);  // FileKind
std::string CurrentDir();               // absolute, without a trailing "/"
bool ChangeDir(const std::string& path);
