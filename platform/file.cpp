// File system queries through POSIX.
#include "platform/file.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

int FileType(const std::string& path) {
  struct stat st {};
  if (path.empty() || stat(path.c_str(), &st) != 0) return kFileNone;
  if (S_ISDIR(st.st_mode)) return kFileDirectory;
  if (S_ISREG(st.st_mode)) return kFileRegular;
  return kFileNone;
}

std::string FileIdentity(const std::string& path) {
  struct stat st {};
  if (path.empty() || stat(path.c_str(), &st) != 0) return "";
  return std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
         std::to_string(static_cast<unsigned long long>(st.st_ino));
}

std::string CurrentDir() {
  std::vector<char> buf(4096);
  while (!getcwd(buf.data(), buf.size())) {
    if (buf.size() > (1u << 20)) return ".";
    buf.resize(buf.size() * 2);
  }
  std::string dir(buf.data());
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

bool ChangeDir(const std::string& path) { return !path.empty() && chdir(path.c_str()) == 0; }

namespace {

std::string ErrnoWords(int error) {
  switch (error) {
    case ENOENT: return "there is no such file";
    case EACCES:
    case EPERM: return "reading it is not permitted";
    case ENOTDIR: return "a folder on its path is a file";
    default: {
      std::string words = std::strerror(error);
      if (!words.empty()) words[0] = char(std::tolower(static_cast<unsigned char>(words[0])));
      return words;
    }
  }
}

}  // namespace

std::string FileReadProblem(const std::string& path) {
  struct stat st {};
  if (path.empty()) return "no file was named";
  if (stat(path.c_str(), &st) != 0) return ErrnoWords(errno);
  if (S_ISDIR(st.st_mode)) return "it is a folder";
  if (!S_ISREG(st.st_mode)) return "it is not a regular file";
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return ErrnoWords(errno);
  close(fd);
  if (st.st_size == 0) return "the file is empty";
  return "";
}

std::string CanonicalPath(const std::string& path) {
  if (path.empty()) return path;
  if (char* resolved = realpath(path.c_str(), nullptr)) {
    std::string out(resolved);
    free(resolved);
    return out;
  }
  return path[0] == '/' ? path : CurrentDir() + "/" + path;
}
