// SPDX-License-Identifier: GPL-3.0-or-later
// What the benchmarks share: the simulator at a real line rate, a quiet host, and the
// wall-clock and CPU measurements.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "base/host.h"

namespace pw::bench {

inline constexpr int kLineRate = 1200;
inline constexpr double kByteMs = 10.0 * 1000.0 / kLineRate;

// Answers No and Cancel, keeps the control texts, prints every message.
class QuietHost final : public pw::Host {
public:
  void Show(const pw::Message& m) override { std::fprintf(stderr, "message: %s\n", m.text.c_str()); }
  bool AskRetryCancel(const pw::Message& m) override {
    Show(m);
    return false;
  }
  bool AskYesNo(const pw::Message& m, bool) override {
    Show(m);
    return false;
  }
  void SetProgress(int percent) override { progress_ = percent; }
  int Progress() const override { return progress_; }
  void PumpMessages() override {}
  void SetText(const std::string& c, const std::string& t) override { texts_[c] = t; }
  std::string Text(const std::string& c) const override {
    auto it = texts_.find(c);
    return it == texts_.end() ? std::string() : it->second;
  }

private:
  int progress_ = 0;
  std::map<std::string, std::string> texts_;
};

inline std::filesystem::path BinaryFolder() {
  if (const char* bin = std::getenv("PAGEWRIGHT_BIN"); bin != nullptr && *bin != '\0') return bin;
  return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

// Starts the simulator; its pid, or -1.
inline pid_t StartSim(const std::string& link) {
  int out[2];
  if (pipe(out) != 0)
    return -1;
  std::string exe = (BinaryFolder() / "pagewright-sim").string();
  std::string rate = std::to_string(kLineRate);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    execl(exe.c_str(), exe.c_str(), "--link", link.c_str(), "--line-rate", rate.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::string line;
  pollfd p{out[0], POLLIN, 0};
  while (pid > 0 && line.find('\n') == std::string::npos && poll(&p, 1, 5000) > 0) {
    char buf[256];
    ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0)
      break;
    line.append(buf, static_cast<std::size_t>(n));
  }
  close(out[0]);
  if (line.find('\n') == std::string::npos) {
    if (pid > 0)
      kill(pid, SIGTERM);
    return -1;
  }
  return pid;
}

inline double CpuMs() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
         (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

inline double NowMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

struct Figures {
  double wall = 0;
  double cpu = 0;
};

template <typename Run> Figures Measure(Run run) {
  const double cpu0 = CpuMs();
  const double t0 = NowMs();
  run();
  return {NowMs() - t0, CpuMs() - cpu0};
}

} // namespace pw::bench
