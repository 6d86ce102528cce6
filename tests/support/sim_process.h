// SPDX-License-Identifier: GPL-3.0-or-later
// Runs pagewright-sim on a pseudo-terminal for integration tests and stops it afterwards.
#pragma once

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace pw::test {

// The folder of the project's executables: $PAGEWRIGHT_BIN (set by CTest), else ./bin.
inline std::string BinDir() {
  if (const char* bin = std::getenv("PAGEWRIGHT_BIN"); bin && *bin) return bin;
  return "bin";
}

class SimProcess {
public:
  // Starts the simulator with a link at linkPath and the extra arguments; waits until the
  // link exists (up to five seconds).
  SimProcess(const std::string& linkPath, std::vector<std::string> args = {}) : link_(linkPath) {
    std::filesystem::remove(linkPath);
    std::vector<std::string> argv = {BinDir() + "/pagewright-sim", "--link", linkPath};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_ = fork();
    if (pid_ == 0) {
      std::vector<char*> cargv;
      for (std::string& a : argv) cargv.push_back(a.data());
      cargv.push_back(nullptr);
      execv(cargv[0], cargv.data());
      _exit(127);
    }
    for (int i = 0; i < 500 && !std::filesystem::exists(linkPath); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;
  ~SimProcess() { Stop(); }

  bool Ready() const { return pid_ > 0 && std::filesystem::exists(link_); }
  // For SIGUSR1, which takes the units on the lines off.
  pid_t Pid() const { return pid_; }

  // Stops the simulator (it saves its EEPROM when asked to with --save) and waits for it.
  int Stop() {
    if (pid_ <= 0) return status_;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return status_;
  }

private:
  std::string link_;
  pid_t pid_ = -1;
  int status_ = -1;
};

// Runs a command line through the shell; returns its exit status and captures stderr.
struct CommandResult {
  int status = -1;
  std::string out;
  std::string err;
};

inline CommandResult RunCommand(const std::string& command, const std::string& tmpDir) {
  std::string outPath = tmpDir + "/cmd.out", errPath = tmpDir + "/cmd.err";
  std::string full = command + " >" + outPath + " 2>" + errPath;
  int rc = std::system(full.c_str());
  CommandResult r;
  r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  auto slurp = [](const std::string& p) {
    std::string s;
    if (FILE* f = std::fopen(p.c_str(), "rb")) {
      char buf[4096];
      size_t n;
      while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
      std::fclose(f);
    }
    return s;
  };
  r.out = slurp(outPath);
  r.err = slurp(errPath);
  return r;
}

} // namespace pw::test
