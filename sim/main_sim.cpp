// pagewright-sim: serves a simulated pager on a pseudo-terminal, so that the programs and the
// integration tests can talk to "a pager" through a real tty device.
//
//   pagewright-sim --link PATH [--firmware 010209] [--eeprom FILE] [--save FILE]
//                  [--line-rate BAUD] [--fault NAME]... [--verbose]
//                  [--units N [--unit-stay MS] [--unit-gap MS]]
//
// PATH becomes a symbolic link to the terminal's device; the device's own path is printed on
// standard output. The pager serves until SIGINT or SIGTERM, then its EEPROM is written to
// the --save file and the link is removed.
//
// With --units, N pagers take turns on the line as on a production bench, each with its own
// serial number (the EEPROM's, counted on by one per unit): each stays --unit-stay ms (until
// SIGUSR1 takes it off, without it), and the line stays silent --unit-gap ms before the next.
// Unit k's EEPROM is saved to FILE.k.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "sim/pager_cradle.h"
#include "sim/pager_firmware.h"

namespace {

using pw::sim::PagerFaults;
using pw::sim::PagerFirmware;

volatile std::sig_atomic_t gStop = 0;
volatile std::sig_atomic_t gTakeOff = 0;
void OnStopSignal(int) {
  gStop = 1;
}
void OnTakeOffSignal(int) {
  gTakeOff = 1;
}

struct Options {
  std::string link;
  std::string firmware = std::string(pw::sim::kDefaultFirmwareDigits);
  std::string eepromFile;
  std::string saveFile;
  long lineRate = 0; // 0: as fast as the terminal takes bytes
  PagerFaults faults;
  bool verbose = false;
  int units = 1;
  pw::sim::CradleSchedule schedule;
};

void Usage() {
  std::fprintf(stderr, "usage: pagewright-sim --link PATH [--firmware DIGITS] [--eeprom FILE] "
                       "[--save FILE] [--line-rate BAUD]\n"
                       "                      [--fault nak|silent|swap-checksum|wrong-checksum|"
                       "no-completion|no-store]... [--verbose]\n"
                       "                      [--units N [--unit-stay MS] [--unit-gap MS]]\n"
                       "no-store: writes are acknowledged as usual but the EEPROM keeps its "
                       "bytes\n");
}

bool ApplyFault(const std::string& name, PagerFaults& f) {
  if (name == "nak")
    f.nak = true;
  else if (name == "silent")
    f.silent = true;
  else if (name == "swap-checksum")
    f.swapChecksum = true;
  else if (name == "wrong-checksum")
    f.wrongChecksum = true;
  else if (name == "no-completion")
    f.noCompletion = true;
  else if (name == "no-store")
    f.ignoreWrite = true;
  else
    return false;
  return true;
}

bool ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc)
        return false;
      out = argv[++i];
      return true;
    };
    std::string v;
    if (arg == "--link") {
      if (!value(o.link))
        return false;
    } else if (arg == "--firmware") {
      if (!value(o.firmware))
        return false;
    } else if (arg == "--eeprom") {
      if (!value(o.eepromFile))
        return false;
    } else if (arg == "--save") {
      if (!value(o.saveFile))
        return false;
    } else if (arg == "--line-rate") {
      if (!value(v))
        return false;
      char* end = nullptr;
      o.lineRate = std::strtol(v.c_str(), &end, 10);
      if (end == v.c_str() || *end != '\0' || o.lineRate <= 0)
        return false;
    } else if (arg == "--fault") {
      if (!value(v) || !ApplyFault(v, o.faults))
        return false;
    } else if (arg == "--units" || arg == "--unit-stay" || arg == "--unit-gap") {
      if (!value(v))
        return false;
      char* end = nullptr;
      const long n = std::strtol(v.c_str(), &end, 10);
      if (end == v.c_str() || *end != '\0' || n < (arg == "--units" ? 1 : 0))
        return false;
      if (arg == "--units")
        o.units = static_cast<int>(n);
      else if (arg == "--unit-stay")
        o.schedule.stayMs = static_cast<std::uint64_t>(n);
      else
        o.schedule.gapMs = static_cast<std::uint64_t>(n);
    } else if (arg == "--verbose") {
      o.verbose = true;
    } else {
      return false;
    }
  }
  return !o.link.empty();
}

bool LoadEeprom(const std::string& path, pw::Image& image) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return false;
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() != image.size())
    return false;
  std::copy(bytes.begin(), bytes.end(), image.begin());
  return true;
}

// Written beside the target and renamed over it, so a stop never leaves half a file.
bool SaveEeprom(const std::string& path, const pw::Image& image) {
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out)
      return false;
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size()));
    if (!out.flush())
      return false;
  }
  return std::rename(temp.c_str(), path.c_str()) == 0;
}

std::int64_t NowUs() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void MakeRaw(int fd) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0)
    return;
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tcsetattr(fd, TCSANOW, &tio);
}

// Replaces an earlier link of ours; refuses to clobber anything that is not a symbolic link.
bool PlaceLink(const std::string& link, const char* target) {
  struct stat st {};
  if (lstat(link.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode))
      return false;
    if (unlink(link.c_str()) != 0)
      return false;
  }
  return symlink(target, link.c_str()) == 0;
}

void RemoveLinkIfOurs(const std::string& link, const std::string& target) {
  char buf[4096];
  ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
  if (n < 0)
    return;
  buf[n] = '\0';
  if (target == buf)
    unlink(link.c_str());
}

const char* KindName(pw::sim::FrameKind kind) {
  switch (kind) {
  case pw::sim::FrameKind::Command:
    return "command";
  case pw::sim::FrameKind::VersionQuery:
    return "version query";
  case pw::sim::FrameKind::Read:
    return "read";
  case pw::sim::FrameKind::Write:
    return "write";
  case pw::sim::FrameKind::Reset:
    return "reset";
  }
  return "?";
}

struct Outgoing {
  std::uint8_t value;
  std::int64_t dueUs;
};

// Moves bytes between the terminal and the firmware until a stop signal arrives.
void Serve(int master, pw::sim::PagerCradle& cradle, const Options& o, const sigset_t& waitMask) {
  // At line rate a byte takes ten bit times (start, eight data, stop) in either direction.
  const std::int64_t byteUs = o.lineRate > 0 ? (10'000'000 + o.lineRate / 2) / o.lineRate : 0;
  const std::int64_t originUs = NowUs();
  std::int64_t rxLineFree = 0;
  std::int64_t txLineFree = 0;
  std::deque<Outgoing> outgoing;
  std::vector<std::size_t> framesLogged(cradle.Units.size(), 0);
  std::size_t eventsLogged = 0;
  auto nowMs = [&](std::int64_t us) { return static_cast<std::uint64_t>((us - originUs) / 1000); };
  int lastUnit = -1;
  // The unit on the line; an answer still on its way leaves with the unit that gave it.
  auto onLine = [&](std::int64_t us) {
    PagerFirmware* unit = cradle.OnLine(nowMs(us));
    if (cradle.UnitOnLine() != lastUnit) {
      outgoing.clear();
      lastUnit = cradle.UnitOnLine();
    }
    return unit;
  };

  while (!gStop) {
    std::int64_t now = NowUs();
    if (gTakeOff) {
      gTakeOff = 0;
      cradle.TakeOff(nowMs(now));
    }
    bool due = !outgoing.empty() && outgoing.front().dueUs <= now;
    timespec timeout{};
    timespec* timeoutPtr = nullptr;
    if (!outgoing.empty() && !due) {
      std::int64_t wait = outgoing.front().dueUs - now;
      timeout.tv_sec = static_cast<time_t>(wait / 1'000'000);
      timeout.tv_nsec = static_cast<long>((wait % 1'000'000) * 1000);
      timeoutPtr = &timeout;
    }
    pollfd p{master, static_cast<short>(POLLIN | (due ? POLLOUT : 0)), 0};
    int rc = ppoll(&p, 1, timeoutPtr, &waitMask);
    if (rc < 0) {
      if (errno == EINTR)
        continue;
      std::perror("pagewright-sim: poll");
      return;
    }
    now = NowUs();
    if (p.revents & POLLIN) {
      std::uint8_t buf[512];
      ssize_t n = read(master, buf, sizeof buf);
      if (n < 0 && errno != EINTR && errno != EAGAIN && errno != EIO) {
        std::perror("pagewright-sim: read");
        return;
      }
      for (ssize_t i = 0; i < n; ++i) {
        std::int64_t arrived = now;
        if (byteUs > 0)
          arrived = rxLineFree = std::max(now, rxLineFree) + byteUs;
        PagerFirmware* unit = onLine(arrived);
        if (unit == nullptr)
          continue; // an empty cradle: the byte goes nowhere
        pw::sim::Reply reply = unit->Receive(buf[i], nowMs(arrived));
        std::int64_t ready = arrived;
        for (const pw::sim::ReplyByte& r : reply) {
          ready += static_cast<std::int64_t>(r.gapMs) * 1000;
          std::int64_t at = ready;
          if (byteUs > 0)
            at = txLineFree = std::max(ready, txLineFree) + byteUs;
          outgoing.push_back({r.value, at});
        }
      }
    } else if (p.revents & (POLLERR | POLLNVAL)) {
      std::fprintf(stderr, "pagewright-sim: terminal failed\n");
      return;
    }
    if (p.revents & POLLOUT) {
      std::vector<std::uint8_t> batch;
      while (!outgoing.empty() && outgoing.front().dueUs <= now) {
        batch.push_back(outgoing.front().value);
        outgoing.pop_front();
      }
      std::size_t done = 0;
      while (done < batch.size()) {
        ssize_t n = write(master, batch.data() + done, batch.size() - done);
        if (n < 0) {
          if (errno == EINTR)
            continue;
          std::perror("pagewright-sim: write");
          return;
        }
        done += static_cast<std::size_t>(n);
      }
    }
    if (o.verbose && cradle.Units.size() > 1) {
      for (; eventsLogged < cradle.Events.size(); ++eventsLogged) {
        const pw::sim::CradleEvent& e = cradle.Events[eventsLogged];
        std::fprintf(stderr, "pagewright-sim: unit %d %s\n", e.unit + 1,
                     e.onLine ? "on the line" : "taken off");
      }
    }
    for (std::size_t u = 0; o.verbose && u < cradle.Units.size(); ++u) {
      const PagerFirmware& firmware = cradle.Units[u];
      for (; framesLogged[u] < firmware.Frames.size(); ++framesLogged[u]) {
        const pw::sim::ReceivedFrame& f = firmware.Frames[framesLogged[u]];
        std::fprintf(stderr, "pagewright-sim: %s", KindName(f.kind));
        if (!f.command.empty())
          std::fprintf(stderr, " \"%s\"", f.command.c_str());
        if (f.kind == pw::sim::FrameKind::Read || f.kind == pw::sim::FrameKind::Write)
          std::fprintf(stderr, " 0x%03X x %d%s", f.address, f.count,
                       f.checksumOk ? "" : " (bad checksum)");
        std::fprintf(stderr, "\n");
      }
    }
  }
}

} // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseOptions(argc, argv, o)) {
    Usage();
    return 2;
  }
  pw::Image image{};
  if (o.eepromFile.empty()) {
    image = pw::sim::DefaultPagerEeprom();
  } else if (!LoadEeprom(o.eepromFile, image)) {
    std::fprintf(stderr, "pagewright-sim: %s does not hold %zu bytes\n", o.eepromFile.c_str(),
                 image.size());
    return 2;
  }
  std::vector<PagerFirmware> units = pw::sim::NumberedUnits(image, o.firmware, o.units);
  for (PagerFirmware& unit : units)
    unit.Faults = o.faults;
  pw::sim::PagerCradle cradle(std::move(units), o.units > 1 ? o.schedule : pw::sim::CradleSchedule{});

  // Stop signals are held back except while waiting, so none slips in between two waits.
  sigset_t stopSignals, waitMask;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGUSR1);
  sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
  sigdelset(&waitMask, SIGINT);
  sigdelset(&waitMask, SIGTERM);
  sigdelset(&waitMask, SIGUSR1);
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sa.sa_handler = OnTakeOffSignal;
  sigaction(SIGUSR1, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    std::perror("pagewright-sim: pseudo-terminal");
    return 1;
  }
  const char* slaveName = ptsname(master);
  if (slaveName == nullptr) {
    std::perror("pagewright-sim: ptsname");
    return 1;
  }
  const std::string slave = slaveName;
  // Held open all along, so a client closing its end does not hang up the terminal.
  int slaveFd = open(slave.c_str(), O_RDWR | O_NOCTTY);
  if (slaveFd < 0) {
    std::perror("pagewright-sim: open terminal");
    return 1;
  }
  // Raw before any client comes: no echo or translation of what the pager sends.
  MakeRaw(slaveFd);
  if (!PlaceLink(o.link, slave.c_str())) {
    std::fprintf(stderr, "pagewright-sim: cannot place the link %s: %s\n", o.link.c_str(),
                 std::strerror(errno));
    return 1;
  }
  std::printf("%s\n", slave.c_str());
  std::fflush(stdout);

  Serve(master, cradle, o, waitMask);

  int status = 0;
  for (std::size_t u = 0; !o.saveFile.empty() && u < cradle.Units.size(); ++u) {
    const std::string file =
        cradle.Units.size() > 1 ? o.saveFile + "." + std::to_string(u + 1) : o.saveFile;
    if (!SaveEeprom(file, cradle.Units[u].Eeprom)) {
      std::fprintf(stderr, "pagewright-sim: cannot write %s\n", file.c_str());
      status = 1;
    }
  }
  RemoveLinkIfOurs(o.link, slave);
  close(slaveFd);
  close(master);
  return status;
}
