#pragma once
// Small file helpers for the settings tests.
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>

inline std::string ReadWhole(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteWhole(const std::string& path, const std::string& text)
{
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

inline bool Exists(const std::string& path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}
