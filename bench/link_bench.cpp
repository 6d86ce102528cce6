// SPDX-License-Identifier: GPL-3.0-or-later
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

#include "bench/bench_support.h"
#include "base/clock.h"
#include "base/host.h"
#include "link/link_protocol.h"
#include "link/serial_port_posix.h"

namespace {

using namespace pw::bench;

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
