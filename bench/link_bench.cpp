// Times a page read and a page write through the real POSIX port against pagewright-sim at
// 1200 baud, and compares them with the least time the protocol allows:
//   floor       the pauses of the pacing table plus ten bit times for every byte on the line
//   line floor  the same pauses, with each byte's line time overlapping the pauses it can
// and reports the process CPU time spent while waiting.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "base/clock.h"
#include "base/host.h"
#include "link/link_protocol.h"
#include "link/serial_port_posix.h"

namespace {

constexpr int kLineRate = 1200;
constexpr double kByteMs = 10.0 * 1000.0 / kLineRate;

class QuietHost final : public pw::Host {
public:
  void Show(const pw::Message& m) override {
    std::fprintf(stderr, "message: %s\n", m.text.c_str());
  }
  bool AskRetryCancel(const pw::Message&) override { return false; }
  bool AskYesNo(const pw::Message&, bool) override { return false; }
  void SetProgress(int percent) override { progress_ = percent; }
  int Progress() const override { return progress_; }
  void PumpMessages() override {}
  void SetText(const std::string&, const std::string&) override {}
  std::string Text(const std::string&) const override { return {}; }

private:
  int progress_ = 0;
};

std::filesystem::path BinaryFolder() {
  if (const char* bin = std::getenv("PAGEWRIGHT_BIN"); bin != nullptr && *bin != '\0')
    return bin;
  return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

// Starts the simulator; its pid, or -1.
pid_t StartSim(const std::string& link) {
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

double CpuMs() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
         (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

double NowMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// An exchange as the line sees it: request bytes each followed by a pause, a pause before the
// reply, and the reply bytes.
struct Exchange {
  int requestBytes;
  double pauseAfterByte;
  double pauseBeforeReply;
  int replyBytes;

  double Floor() const {
    return requestBytes * pauseAfterByte + pauseBeforeReply + (requestBytes + replyBytes) * kByteMs;
  }
  double LineFloor() const {
    double lineFree = 0;
    for (int k = 0; k < requestBytes; ++k)
      lineFree = std::max(k * pauseAfterByte, lineFree) + kByteMs;
    const double readFrom = requestBytes * pauseAfterByte + pauseBeforeReply;
    return std::max(readFrom, lineFree + replyBytes * kByteMs);
  }
};

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

void Report(const char* name, const Exchange& e, const Figures& f) {
  std::printf("%-22s wall %8.1f ms  floor %8.1f ms  ratio %.4f  line floor %8.1f ms  ratio %.4f  "
              "CPU %.2f%%\n",
              name, f.wall, e.Floor(), f.wall / e.Floor(), e.LineFloor(), f.wall / e.LineFloor(),
              100.0 * f.cpu / f.wall);
}

} // namespace

int main() {
  char pattern[] = "/tmp/pagewright-bench-XXXXXX";
  const char* dir = mkdtemp(pattern);
  if (dir == nullptr)
    return 1;
  const std::string link = std::string(dir) + "/com";
  pid_t sim = StartSim(link);
  if (sim < 0) {
    std::fprintf(stderr, "link_bench: pagewright-sim did not start (PAGEWRIGHT_BIN?)\n");
    return 1;
  }

  QuietHost host;
  pw::SystemClock clock;
  pw::PosixSerialPort port(link, "COM1", host);
  pw::Link linkProtocol(clock, host);
  int status = 0;
  if (!port.Open(1200, 0, 8, 1.0f)) {
    status = 1;
  } else {
    linkProtocol.ProgressTotal = 511;
    int readResult = 0;
    int writeResult = 0;
    // Read page 0 (256 bytes): 5 request bytes; ACK, data and checksum back.
    const Exchange read{5, 10, 10, 1 + 256 + 2};
    const Figures readFigures = Measure(
        [&] { readResult = linkProtocol.ReadBlock(port, 0x0000, 256, pw::kProgressPage0); });
    // Write 255 bytes: a frame of 262 bytes; ACK and the completion byte back.
    for (int i = 0; i < 255; ++i)
      linkProtocol.TransmitBuffer[i] = static_cast<std::uint8_t>(i * 3);
    const Exchange write{255 + 7, 10, 500, 2};
    const Figures writeFigures = Measure(
        [&] { writeResult = linkProtocol.WriteBlock(port, 0x0600, 255, pw::kProgressPage1); });
    std::printf("link_bench: pagewright-sim at %d baud, %.2f ms per byte on the line\n", kLineRate,
                kByteMs);
    Report("read 256 bytes", read, readFigures);
    Report("write 255 bytes", write, writeFigures);
    if (readResult != pw::kLinkSuccess || writeResult != pw::kLinkSuccess) {
      std::fprintf(stderr, "link_bench: results %d (read) and %d (write)\n", readResult,
                   writeResult);
      status = 1;
    }
    port.Close();
  }
  kill(sim, SIGTERM);
  waitpid(sim, nullptr, 0);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return status;
}
