// File system queries through POSIX.
#include "platform/file.h"

#include <sys/stat.h>
#include <unistd.h>

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
