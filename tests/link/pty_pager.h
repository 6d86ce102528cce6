// SPDX-License-Identifier: GPL-3.0-or-later
// Runs pagewright-sim as a child process: a pager on a pseudo-terminal, reached through a
// link in a fresh temporary folder.
#pragma once

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace pw::test {

// PAGEWRIGHT_BIN when set (CTest sets it), else the folder of the running test program.
inline std::filesystem::path BinaryFolder() {
  if (const char* bin = std::getenv("PAGEWRIGHT_BIN"); bin != nullptr && *bin != '\0')
    return bin;
  return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

class PtyPager {
public:
  PtyPager() {
    char pattern[] = "/tmp/pagewright-link-XXXXXX";
    if (char* dir = ::mkdtemp(pattern))
      folder_ = dir;
  }
  ~PtyPager() {
    Stop();
    std::error_code ec;
    if (!folder_.empty())
      std::filesystem::remove_all(folder_, ec);
  }
  PtyPager(const PtyPager&) = delete;
  PtyPager& operator=(const PtyPager&) = delete;

  std::filesystem::path Folder() const { return folder_; }
  std::string Link() const { return (folder_ / "com").string(); }

  // Starts the simulator with --link Link() and the extra arguments; true once it has
  // printed its terminal's path.
  bool Start(const std::vector<std::string>& extra = {}) {
    if (folder_.empty())
      return false;
    int out[2];
    if (::pipe(out) != 0)
      return false;
    std::vector<std::string> args{(BinaryFolder() / "pagewright-sim").string(), "--link", Link()};
    args.insert(args.end(), extra.begin(), extra.end());
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::close(out[0]);
      ::close(out[1]);
      std::vector<char*> argv;
      for (std::string& a : args)
        argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    if (pid_ < 0) {
      ::close(out[0]);
      return false;
    }
    std::string line;
    pollfd p{out[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && ::poll(&p, 1, 5000) > 0) {
      char buf[256];
      ssize_t n = ::read(out[0], buf, sizeof buf);
      if (n <= 0)
        break;
      line.append(buf, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    if (line.find('\n') == std::string::npos)
      return false;
    terminal_ = line.substr(0, line.find('\n'));
    return true;
  }

  // SIGTERM and wait; the exit status, or -1 when it was not running.
  int Stop() {
    if (pid_ <= 0)
      return -1;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  const std::string& Terminal() const { return terminal_; }

private:
  std::filesystem::path folder_;
  std::string terminal_;
  pid_t pid_ = -1;
};

} // namespace pw::test
