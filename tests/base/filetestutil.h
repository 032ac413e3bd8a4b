#pragma once
// A fresh folder under /tmp (the isolated tmpfs) and whole-file helpers in
// plain POSIX calls, independent of the classes under test.
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

class TempFolder {
public:
  TempFolder() {
    char name[] = "/tmp/filetest.XXXXXX";
    path_ = mkdtemp(name) != nullptr ? name : "";
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder() {
    if (!path_.empty())
      (void)!std::system(("rm -rf '" + path_ + "'").c_str());
  }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& Path() const { return path_; }

private:
  std::string path_;
};

inline bool WriteWhole(const std::string& path, const std::string& data) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  bool ok = fd >= 0 && write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
  if (fd >= 0)
    close(fd);
  return ok;
}

inline std::string ReadWhole(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return "<missing>";
  std::string data;
  char block[4096];
  for (ssize_t n; (n = read(fd, block, sizeof block)) > 0;)
    data.append(block, static_cast<std::size_t>(n));
  close(fd);
  return data;
}

inline bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}
