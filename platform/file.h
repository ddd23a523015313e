// File system queries: what a path is, why a file cannot be read, where a path leads,
// and the current directory.
#pragma once

#include <string>

enum FileKind { kFileNone = 0, kFileRegular = 1, kFileDirectory = 2 };

int FileType(const std::string& path);  // FileKind; kFileNone also for FIFOs, devices, sockets
// One text for every path that names the same file (its device and node), so aliases
// such as "a.png" and "./a.png" are known as one; empty when there is no such file.
std::string FileIdentity(const std::string& path);
std::string CurrentDir();               // absolute, without a trailing "/"
bool ChangeDir(const std::string& path);

// Why the path cannot be read as a file, in words for a person ("there is no such
// file", "the file is empty", ...); "" for a regular, readable, non-empty file. Opens
// nothing that could block: a FIFO is reported, not opened.
std::string FileReadProblem(const std::string& path);
// The path absolute, with ".", ".." and symbolic links resolved, so that two names of
// one file compare equal; a path that leads nowhere comes back absolute as written.
std::string CanonicalPath(const std::string& path);
