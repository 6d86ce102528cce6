// SPDX-License-Identifier: GPL-3.0-or-later
// Times a whole Read pager and a whole Program pager through the real POSIX port against
// pagewright-sim at 1200 baud, and compares each with the least time the protocol allows:
//   floor       every pause the transaction takes plus ten bit times for every byte moved
//   line floor  every pause plus ten bit times for every byte the pager sends (each request
//               byte travels on the line during the pause that follows it)
// and reports the process CPU time over the wall time. The Program runs twice, without and
// with the read-back of every written block, to show what verifying costs.
#include <cstdint>
#include <cstdio>
#include <string>

#include "base/clock.h"
#include "bench/bench_support.h"
#include "codeplug/codeplug.h"
#include "link/link_protocol.h"
#include "link/serial_port_posix.h"
#include "transactions/transactions.h"

namespace {

using namespace pw::bench;

// Real time, with the pauses added up.
class CountingClock final : public pw::Clock {
public:
  void Sleep(std::uint32_t ms) override {
    slept += ms;
    real_.Sleep(ms);
  }
  std::uint64_t Ticks() override { return real_.Ticks(); }
  double slept = 0;

private:
  pw::SystemClock real_;
};

// The real port, with the bytes counted.
class CountingPort final : public pw::SerialPort {
public:
  explicit CountingPort(pw::SerialPort& port) : port_(port) {}
  bool Open(std::int32_t b, std::uint8_t p, std::uint8_t d, float s) override {
    return port_.Open(b, p, d, s);
  }
  bool Close() override { return port_.Close(); }
  bool WriteByte(std::uint8_t b) override {
    ++written;
    return port_.WriteByte(b);
  }
  bool ReadByte(std::uint8_t& b) override {
    bool ok = port_.ReadByte(b);
    read += ok ? 1 : 0;
    return ok;
  }
  bool Purge() override { return port_.Purge(); }
  bool IsOpen() const override { return port_.IsOpen(); }
  long written = 0;
  long read = 0;

private:
  pw::SerialPort& port_;
};

struct Outcome {
  bool ok = false;
  Figures figures;
  double slept = 0;
  long written = 0;
  long read = 0;
};

template <typename Transaction>
Outcome Time(pw::Codeplug& codeplug, pw::SerialPort& real, QuietHost& host, Transaction run) {
  CountingClock clock;
  CountingPort port(real);
  pw::Link link(clock, host);
  pw::TransactionContext ctx{codeplug, link, port, host, clock};
  Outcome o;
  o.figures = Measure([&] { o.ok = run(ctx); });
  o.slept = clock.slept;
  o.written = port.written;
  o.read = port.read;
  return o;
}

void Report(const char* name, const Outcome& o) {
  const double floor = o.slept + (o.written + o.read) * kByteMs;
  const double lineFloor = o.slept + o.read * kByteMs;
  std::printf("%-14s %s  wall %9.1f ms  pauses %9.1f ms  bytes %ld out / %ld in\n", name,
              o.ok ? "ok    " : "FAILED", o.figures.wall, o.slept, o.written, o.read);
  std::printf("%-14s floor %9.1f ms ratio %.4f   line floor %9.1f ms ratio %.4f   CPU %.2f%%\n",
              "", floor, o.figures.wall / floor, lineFloor, o.figures.wall / lineFloor,
              100.0 * o.figures.cpu / o.figures.wall);
}

} // namespace

int main() {
  char pattern[] = "/tmp/pagewright-bench-XXXXXX";
  const char* dir = mkdtemp(pattern);
  if (dir == nullptr) return 1;
  const std::string link = std::string(dir) + "/com";
  pid_t sim = StartSim(link);
  if (sim < 0) {
    std::fprintf(stderr, "transaction_bench: pagewright-sim did not start (PAGEWRIGHT_BIN?)\n");
    return 1;
  }

  QuietHost host;
  pw::PosixSerialPort port(link, "COM1", host);
  pw::Codeplug codeplug;
  int status = 0;
  std::printf("transaction_bench: pagewright-sim at %d baud, %.2f ms per byte on the line\n",
              kLineRate, kByteMs);
  Outcome read =
      Time(codeplug, port, host, [](pw::TransactionContext& c) { return pw::ReadPager(c).Ok(); });
  Report("Read pager", read);
  Outcome program = Time(codeplug, port, host, [](pw::TransactionContext& c) {
    return pw::ProgramPager(c, pw::ProgramOptions{false, {}}).Ok();
  });
  Report("Program pager", program);
  Outcome verified = Time(codeplug, port, host, [](pw::TransactionContext& c) {
    return pw::ProgramPager(c, pw::ProgramOptions{true, {}}).Ok();
  });
  Report("+ verify", verified);
  std::printf("%-14s verifying adds %.1f ms (%.0f%%) to a Program\n", "",
              verified.figures.wall - program.figures.wall,
              100.0 * (verified.figures.wall - program.figures.wall) / program.figures.wall);
  if (!read.ok || !program.ok || !verified.ok) status = 1;
  port.Close();
  kill(sim, SIGTERM);
  waitpid(sim, nullptr, 0);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return status;
}
