#pragma once
// A fresh folder under /tmp (the isolated tmpfs) and whole-file helpers,
// independent of the classes under test.
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

class TempFolder {
public:
  TempFolder()
  {
    char name[] = "/tmp/filetest.XXXXXX";
    path_ = mkdtemp(name) != nullptr ? name : "";
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder()
  {
    std::error_code ignored;
    if (!path_.empty())
      std::filesystem::remove_all(path_, ignored);
  }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& Path() const { return path_; }

private:
  std::string path_;
};

inline bool WriteWhole(const std::string& path, const std::string& data)
{
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  return out.write(data.data(), static_cast<std::streamsize>(data.size())) && (out.close(), !out.fail());
}

inline std::string ReadWhole(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
}

inline bool Exists(const std::string& path)
{
  std::error_code ignored;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

// What a shell command writes to its standard output, whatever its exit status.
inline std::string CommandOutput(const std::string& command)
{
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[8192];
  for (size_t n; pipe != nullptr && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    out.append(buffer, n);
  if (pipe != nullptr)
    pclose(pipe);
  return out;
}
