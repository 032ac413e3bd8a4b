#pragma once
// Running the real executable in tests: launching it with or without a
// display, finding the daemon it leaves behind and collecting its exit
// status.  The test process makes itself a child subreaper, so a daemon
// whose launcher has exited becomes its child: its status can be waited
// for, and every daemon is killed when the guard goes.

#include "app/testhelpers.h"
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sys/socket.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

inline std::string VelorinBinary() { return VELORIN_BINARY_DIR "/velorin"; }

struct LaunchResult {
  int status = -1; // waitpid status
  std::string errors; // standard error
  long long ms = 0;
  int ExitCode() const { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }
};

inline long long MsSince(std::chrono::steady_clock::time_point start)
{
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// Runs the program (program path, argv[0] and arguments) and waits for it.
// The environment is the test's, with DISPLAY removed or set.
inline LaunchResult RunVelorin(const std::vector<std::string>& args, bool display,
                               const std::string& program = VelorinBinary(), const std::string& argv0 = "")
{
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e)
    if (std::strncmp(*e, "DISPLAY=", 8) != 0)
      env.emplace_back(*e);
  if (display)
    env.emplace_back("DISPLAY=:97");
  std::vector<char*> envp;
  for (auto& e : env)
    envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> all{argv0.empty() ? program : argv0};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all)
    argv.push_back(a.data());
  argv.push_back(nullptr);

  int errors[2];
  LaunchResult result;
  if (pipe2(errors, O_CLOEXEC) != 0)
    return result;
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    dup2(errors[1], STDERR_FILENO);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  close(errors[1]);
  // The daemon's standard error goes to /dev/null, so the pipe ends when the
  // launcher does.
  char buffer[512];
  ssize_t n;
  while ((n = read(errors[0], buffer, sizeof buffer)) > 0)
    result.errors.append(buffer, static_cast<size_t>(n));
  close(errors[0]);
  waitpid(pid, &result.status, 0);
  result.ms = MsSince(start);
  return result;
}

// One line of /proc/<pid>/stat split after the command name.
inline std::vector<std::string> ProcStatFields(pid_t pid)
{
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(in, line);
  std::vector<std::string> fields;
  auto close_paren = line.rfind(')');
  if (close_paren == std::string::npos)
    return fields;
  fields.push_back(line.substr(0, line.find(' ')));
  fields.push_back(line.substr(line.find('(') + 1, close_paren - line.find('(') - 1));
  std::istringstream rest(line.substr(close_paren + 2));
  std::string field;
  while (rest >> field)
    fields.push_back(field);
  return fields; // [0] pid, [1] comm, [2] state, [3] ppid, [4] pgrp, [5] session, [6] tty_nr
}

class DaemonGuard {
public:
  // name: the daemons' command name ("velorind" for the installed copy).
  explicit DaemonGuard(std::string name = "velorin") : name_(std::move(name)) { prctl(PR_SET_CHILD_SUBREAPER, 1); }
  ~DaemonGuard() { KillAll(); }

  // Living children of this process with the daemons' name.
  std::vector<pid_t> Daemons() const
  {
    std::vector<pid_t> found;
    DIR* proc = opendir("/proc");
    if (proc == nullptr)
      return found;
    while (dirent* entry = readdir(proc)) {
      pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
      if (pid <= 0)
        continue;
      auto f = ProcStatFields(pid);
      if (f.size() > 3 && f[1] == name_ && f[2] != "Z" && std::atoi(f[3].c_str()) == getpid())
        found.push_back(pid);
    }
    closedir(proc);
    return found;
  }

  // The one daemon, waiting up to ms for it to appear.
  pid_t Daemon(int ms = 2000) const
  {
    auto start = std::chrono::steady_clock::now();
    do {
      auto d = Daemons();
      if (d.size() == 1)
        return d[0];
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (MsSince(start) < ms);
    return -1;
  }

  // Waits up to ms for the daemon to end; its waitpid status, or -1.
  int WaitExit(pid_t pid, int ms) const
  {
    auto start = std::chrono::steady_clock::now();
    do {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid)
        return status;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } while (MsSince(start) < ms);
    return -1;
  }

  void KillAll() const
  {
    for (pid_t pid : Daemons()) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }

private:
  std::string name_;
};

// Unix-domain socket descriptors the process holds (its TCP sockets left
// out): socket inodes matched against the namespace's Unix socket table.
inline int CountUnixSockets(pid_t pid)
{
  std::set<std::string> unix_inodes;
  std::ifstream table("/proc/" + std::to_string(pid) + "/net/unix");
  std::string line;
  std::getline(table, line);
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string field;
    for (int i = 0; i < 7 && fields >> field; ++i) {
    }
    unix_inodes.insert(field);
  }
  std::string folder = "/proc/" + std::to_string(pid) + "/fd";
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr)
    return -1;
  int count = 0;
  while (dirent* entry = readdir(dir)) {
    char target[256];
    ssize_t n = readlink((folder + "/" + entry->d_name).c_str(), target, sizeof target - 1);
    if (n > 8) {
      std::string link(target, static_cast<size_t>(n));
      if (link.rfind("socket:[", 0) == 0)
        count += unix_inodes.count(link.substr(8, link.size() - 9)) != 0;
    }
  }
  closedir(dir);
  return count;
}

// Points the web server at a free port before a daemon starts.
inline void UseFreeWebPort()
{
  LSettingSetInt("WebServer", "Port", PickFreePort());
}

// The lines of today's log files ("hh:mm:ss text"), CR LF removed.
inline std::vector<std::string> LogFileLines()
{
  std::vector<std::string> lines;
  const std::string folder = "/opt/ostrel/velorin/etc/Logs";
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr)
    return lines;
  std::vector<std::string> names;
  while (dirent* entry = readdir(dir))
    if (std::strstr(entry->d_name, "Velorin Log.txt") != nullptr)
      names.emplace_back(entry->d_name);
  closedir(dir);
  std::sort(names.begin(), names.end());
  for (const auto& name : names) {
    std::ifstream in(folder + "/" + name);
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r')
        line.pop_back();
      lines.push_back(line);
    }
  }
  return lines;
}

// The texts of the log file lines (without the time).
inline std::vector<std::string> LogFileTexts()
{
  std::vector<std::string> texts;
  for (const auto& line : LogFileLines())
    texts.push_back(line.size() > 9 ? line.substr(9) : "");
  return texts;
}
