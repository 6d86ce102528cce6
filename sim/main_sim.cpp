// SPDX-License-Identifier: GPL-3.0-or-later
// pagewright-sim: serves a simulated pager on a pseudo-terminal, so that the programs and the
// integration tests can talk to "a pager" through a real tty device.
//
//   pagewright-sim --link PATH [--link PATH]... [--lines N] [--firmware 010209] [--eeprom FILE]
//                  [--save FILE] [--line-rate BAUD] [--fault NAME]... [--verbose]
//                  [--units N [--unit-stay MS] [--unit-gap MS] [--unit-leave MS]
//                  [--pull UNIT:WRITES]...]
//
// PATH becomes a symbolic link to the terminal's device; the device's own path is printed on
// standard output. The pager serves until SIGINT or SIGTERM, then its EEPROM is written to
// the --save file and the link is removed. A program killed while it held a line for itself
// does not keep it: the line is free again for the next one, as a real port would be.
//
// Several lines, as a bench with many cradles: each --link is one line, and --lines N with a
// single --link serves N lines at PATH-1 ... PATH-N. Each line has its own pseudo-terminal and
// its own --units pagers (serial numbers counted on across the lines, so no two units share
// one); the devices' paths are printed a line each. Line l's unit k is saved to FILE-l.k.
//
// With --units, N pagers take turns on the line as on a production bench, each with its own
// serial number (the EEPROM's, counted on by one per unit): each stays --unit-stay ms (until
// SIGUSR1 takes it off, without it), and the line stays silent --unit-gap ms before the next.
// Unit k's EEPROM is saved to FILE.k. With --unit-leave, a unit also leaves MS ms after it
// acknowledged a reset (the last step of a Program), as a technician takes a finished pager
// out. --pull UNIT:WRITES takes a unit off as soon as it has received WRITES write frames,
// in the middle of its Program: the last one is stored but never answered. UNIT is L.K, line
// L's unit K as its save file is named (1-based), or K for line 1's unit K.
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
#include <string_view>
#include <sys/file.h>
#include <sys/ioctl.h>
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
  std::vector<std::string> links;
  int lines = 0; // --lines; 0: one line per --link
  std::string firmware = std::string(pw::sim::kDefaultFirmwareDigits);
  std::string eepromFile;
  std::string saveFile;
  long lineRate = 0; // 0: as fast as the terminal takes bytes
  PagerFaults faults;
  bool verbose = false;
  int units = 1;
  pw::sim::CradleSchedule schedule;
  struct Pull {
    int line, unit, writes; // 1-based line and unit
  };
  std::vector<Pull> pulls;
};

void Usage() {
  std::fprintf(stderr, "usage: pagewright-sim --link PATH [--link PATH]... [--lines N] "
                       "[--firmware DIGITS] [--eeprom FILE] [--save FILE] [--line-rate BAUD]\n"
                       "                      [--fault nak|silent|swap-checksum|wrong-checksum|"
                       "no-completion|no-store]... [--verbose]\n"
                       "                      [--units N [--unit-stay MS] [--unit-gap MS] "
                       "[--unit-leave MS] [--pull UNIT:WRITES]...]\n"
                       "no-store: writes are acknowledged as usual but the EEPROM keeps its "
                       "bytes\n"
                       "--unit-leave: a unit leaves MS ms after it acknowledged a reset\n"
                       "--pull: the unit is taken off once it has received WRITES write frames; "
                       "UNIT is L.K (line L's unit K) or K (line 1's)\n");
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

// A whole positive decimal number of at most six digits.
bool ParseCount(std::string_view text, int& out) {
  if (text.empty() || text.size() > 6 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  out = std::stoi(std::string(text));
  return out > 0;
}

// "L.K:WRITES" or "K:WRITES".
bool ParsePull(std::string_view text, Options& o) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos)
    return false;
  const std::string_view unit = text.substr(0, colon);
  const std::size_t dot = unit.find('.');
  Options::Pull pull{1, 0, 0};
  if (dot != std::string_view::npos && !ParseCount(unit.substr(0, dot), pull.line))
    return false;
  if (!ParseCount(dot == std::string_view::npos ? unit : unit.substr(dot + 1), pull.unit) ||
      !ParseCount(text.substr(colon + 1), pull.writes))
    return false;
  o.pulls.push_back(pull);
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
      if (!value(v))
        return false;
      o.links.push_back(v);
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
    } else if (arg == "--lines") {
      if (!value(v))
        return false;
      char* end = nullptr;
      const long n = std::strtol(v.c_str(), &end, 10);
      if (end == v.c_str() || *end != '\0' || n < 1 || n > 64)
        return false;
      o.lines = static_cast<int>(n);
    } else if (arg == "--pull") {
      if (!value(v) || !ParsePull(v, o))
        return false;
    } else if (arg == "--units" || arg == "--unit-stay" || arg == "--unit-gap" ||
               arg == "--unit-leave") {
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
      else if (arg == "--unit-leave")
        o.schedule.leaveAfterResetMs = n;
      else
        o.schedule.gapMs = static_cast<std::uint64_t>(n);
    } else if (arg == "--verbose") {
      o.verbose = true;
    } else {
      return false;
    }
  }
  if (o.lines > 0) {
    if (o.links.size() != 1)
      return false; // --lines names its links after the one --link
    const std::string stem = o.links.front();
    o.links.clear();
    for (int l = 1; l <= o.lines; ++l)
      o.links.push_back(stem + "-" + std::to_string(l));
  }
  for (const Options::Pull& p : o.pulls)
    if (p.line > static_cast<int>(o.links.size()) || p.unit > o.units)
      return false; // no such unit
  return !o.links.empty();
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

// One line of the bench: its terminal, its cradle, and the bytes on their way to the host.
struct Line {
  std::string link, slave;
  int master = -1, slaveFd = -1;
  pw::sim::PagerCradle cradle;
  std::int64_t rxLineFree = 0;
  std::int64_t txLineFree = 0;
  std::deque<Outgoing> outgoing;
  std::vector<std::size_t> framesLogged;
  std::size_t eventsLogged = 0;
  int lastUnit = -1;
  explicit Line(pw::sim::PagerCradle c) : cradle(std::move(c)) {}
};

// A program that held a line's terminal for itself (TIOCEXCL, with a lock on the device) and
// died without letting go would keep every later program but root's out, for this process
// holds the terminal open: a real port is free again once its user is gone. The hold is
// dropped once nobody has the lock any more. True when the terminal is not held (any more).
constexpr std::int64_t kHoldCheckUs = 500'000;
bool LetGoOfDeadHold(int slaveFd) {
  int exclusive = 0;
  if (ioctl(slaveFd, TIOCGEXCL, &exclusive) != 0 || exclusive == 0)
    return true;
  if (flock(slaveFd, LOCK_EX | LOCK_NB) != 0)
    return false; // its holder is alive
  ioctl(slaveFd, TIOCNXCL);
  flock(slaveFd, LOCK_UN);
  return true;
}

// Moves bytes between each line's terminal and its firmware until a stop signal arrives. The
// lines share nothing but the loop: each byte's time on its own line is kept whatever the
// others do.
void Serve(std::vector<Line>& lines, const Options& o, const sigset_t& waitMask) {
  // At line rate a byte takes ten bit times (start, eight data, stop) in either direction.
  const std::int64_t byteUs = o.lineRate > 0 ? (10'000'000 + o.lineRate / 2) / o.lineRate : 0;
  const std::int64_t originUs = NowUs();
  auto nowMs = [&](std::int64_t us) { return static_cast<std::uint64_t>((us - originUs) / 1000); };
  for (Line& line : lines)
    line.framesLogged.assign(line.cradle.Units.size(), 0);
  const bool many = lines.size() > 1;
  // The unit on a line; an answer still on its way leaves with the unit that gave it.
  auto onLine = [&](Line& line, std::int64_t us) {
    PagerFirmware* unit = line.cradle.OnLine(nowMs(us));
    if (line.cradle.UnitOnLine() != line.lastUnit) {
      line.outgoing.clear();
      line.lastUnit = line.cradle.UnitOnLine();
    }
    return unit;
  };

  std::vector<pollfd> polls(lines.size());
  std::int64_t nextHoldCheck = 0;
  bool mayBeHeld = true; // a program talked since the last look found no line held
  while (!gStop) {
    std::int64_t now = NowUs();
    if (gTakeOff) {
      gTakeOff = 0;
      for (Line& line : lines)
        line.cradle.TakeOff(nowMs(now));
    }
    if (mayBeHeld && now >= nextHoldCheck) {
      mayBeHeld = false;
      for (Line& line : lines)
        mayBeHeld = !LetGoOfDeadHold(line.slaveFd) || mayBeHeld;
      nextHoldCheck = now + kHoldCheckUs;
    }
    // While a line may be held, the loop wakes now and then to see whether its holder is gone.
    std::int64_t nextDue = mayBeHeld ? nextHoldCheck : -1;
    for (std::size_t l = 0; l < lines.size(); ++l) {
      const Line& line = lines[l];
      const bool due = !line.outgoing.empty() && line.outgoing.front().dueUs <= now;
      if (!line.outgoing.empty() && !due && (nextDue < 0 || line.outgoing.front().dueUs < nextDue))
        nextDue = line.outgoing.front().dueUs;
      polls[l] = pollfd{line.master, static_cast<short>(POLLIN | (due ? POLLOUT : 0)), 0};
    }
    timespec timeout{};
    timespec* timeoutPtr = nullptr;
    if (nextDue >= 0) {
      const std::int64_t wait = std::max<std::int64_t>(0, nextDue - now);
      timeout.tv_sec = static_cast<time_t>(wait / 1'000'000);
      timeout.tv_nsec = static_cast<long>((wait % 1'000'000) * 1000);
      timeoutPtr = &timeout;
    }
    int rc = ppoll(polls.data(), polls.size(), timeoutPtr, &waitMask);
    if (rc < 0) {
      if (errno == EINTR)
        continue;
      std::perror("pagewright-sim: poll");
      return;
    }
    now = NowUs();
    for (std::size_t l = 0; l < lines.size(); ++l) {
      Line& line = lines[l];
      const pollfd& p = polls[l];
      if (p.revents & POLLIN) {
        std::uint8_t buf[512];
        ssize_t n = read(line.master, buf, sizeof buf);
        if (n < 0 && errno != EINTR && errno != EAGAIN && errno != EIO) {
          std::perror("pagewright-sim: read");
          return;
        }
        mayBeHeld = mayBeHeld || n > 0;
        for (ssize_t i = 0; i < n; ++i) {
          std::int64_t arrived = now;
          if (byteUs > 0)
            arrived = line.rxLineFree = std::max(now, line.rxLineFree) + byteUs;
          if (onLine(line, arrived) == nullptr)
            continue; // an empty cradle: the byte goes nowhere
          pw::sim::Reply reply = line.cradle.Receive(buf[i], nowMs(arrived));
          onLine(line, arrived); // a pulled unit's answers go with it
          std::int64_t ready = arrived;
          for (const pw::sim::ReplyByte& r : reply) {
            ready += static_cast<std::int64_t>(r.gapMs) * 1000;
            std::int64_t at = ready;
            if (byteUs > 0)
              at = line.txLineFree = std::max(ready, line.txLineFree) + byteUs;
            line.outgoing.push_back({r.value, at});
          }
        }
      } else if (p.revents & (POLLERR | POLLNVAL)) {
        std::fprintf(stderr, "pagewright-sim: terminal failed\n");
        return;
      }
      if (p.revents & POLLOUT) {
        std::vector<std::uint8_t> batch;
        while (!line.outgoing.empty() && line.outgoing.front().dueUs <= now) {
          batch.push_back(line.outgoing.front().value);
          line.outgoing.pop_front();
        }
        std::size_t done = 0;
        while (done < batch.size()) {
          ssize_t n = write(line.master, batch.data() + done, batch.size() - done);
          if (n < 0) {
            if (errno == EINTR)
              continue;
            std::perror("pagewright-sim: write");
            return;
          }
          done += static_cast<std::size_t>(n);
        }
      }
      const std::string who = many ? "line " + std::to_string(l + 1) + " " : std::string();
      if (o.verbose && line.cradle.Units.size() > 1) {
        for (; line.eventsLogged < line.cradle.Events.size(); ++line.eventsLogged) {
          const pw::sim::CradleEvent& e = line.cradle.Events[line.eventsLogged];
          std::fprintf(stderr, "pagewright-sim: %sunit %d %s\n", who.c_str(), e.unit + 1,
                       e.onLine ? "on the line" : "taken off");
        }
      }
      for (std::size_t u = 0; o.verbose && u < line.cradle.Units.size(); ++u) {
        const PagerFirmware& firmware = line.cradle.Units[u];
        for (; line.framesLogged[u] < firmware.Frames.size(); ++line.framesLogged[u]) {
          const pw::sim::ReceivedFrame& f = firmware.Frames[line.framesLogged[u]];
          std::fprintf(stderr, "pagewright-sim: %s%s", who.c_str(), KindName(f.kind));
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
}

// Opens a pseudo-terminal for the line and places its link; false (said on stderr) on failure.
bool OpenLine(Line& line) {
  line.master = posix_openpt(O_RDWR | O_NOCTTY);
  if (line.master < 0 || grantpt(line.master) != 0 || unlockpt(line.master) != 0) {
    std::perror("pagewright-sim: pseudo-terminal");
    return false;
  }
  const char* slaveName = ptsname(line.master);
  if (slaveName == nullptr) {
    std::perror("pagewright-sim: ptsname");
    return false;
  }
  line.slave = slaveName;
  // Held open all along, so a client closing its end does not hang up the terminal.
  line.slaveFd = open(line.slave.c_str(), O_RDWR | O_NOCTTY);
  if (line.slaveFd < 0) {
    std::perror("pagewright-sim: open terminal");
    return false;
  }
  // Raw before any client comes: no echo or translation of what the pager sends.
  MakeRaw(line.slaveFd);
  if (!PlaceLink(line.link, line.slave.c_str())) {
    std::fprintf(stderr, "pagewright-sim: cannot place the link %s: %s\n", line.link.c_str(),
                 std::strerror(errno));
    return false;
  }
  return true;
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
  // The units of every line numbered on from the EEPROM's serial number, line after line.
  const int lineCount = static_cast<int>(o.links.size());
  std::vector<PagerFirmware> all = pw::sim::NumberedUnits(image, o.firmware, o.units * lineCount);
  std::vector<Line> lines;
  lines.reserve(o.links.size());
  for (int l = 0; l < lineCount; ++l) {
    std::vector<PagerFirmware> units(std::make_move_iterator(all.begin() + l * o.units),
                                     std::make_move_iterator(all.begin() + (l + 1) * o.units));
    for (PagerFirmware& unit : units)
      unit.Faults = o.faults;
    lines.emplace_back(pw::sim::PagerCradle(std::move(units),
                                            o.units > 1 ? o.schedule : pw::sim::CradleSchedule{}));
    lines.back().link = o.links[std::size_t(l)];
  }
  for (const Options::Pull& p : o.pulls) {
    std::vector<int>& pullAt = lines[std::size_t(p.line - 1)].cradle.PullAfterWrites;
    pullAt.resize(std::size_t(o.units), 0);
    pullAt[std::size_t(p.unit - 1)] = p.writes;
  }

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

  for (Line& line : lines) {
    if (!OpenLine(line))
      return 1;
    std::printf("%s\n", line.slave.c_str());
  }
  std::fflush(stdout);

  Serve(lines, o, waitMask);

  int status = 0;
  for (std::size_t l = 0; l < lines.size(); ++l) {
    const Line& line = lines[l];
    const std::string stem =
        lines.size() > 1 ? o.saveFile + "-" + std::to_string(l + 1) : o.saveFile;
    for (std::size_t u = 0; !o.saveFile.empty() && u < line.cradle.Units.size(); ++u) {
      const std::string file =
          line.cradle.Units.size() > 1 ? stem + "." + std::to_string(u + 1) : stem;
      if (!SaveEeprom(file, line.cradle.Units[u].Eeprom)) {
        std::fprintf(stderr, "pagewright-sim: cannot write %s\n", file.c_str());
        status = 1;
      }
    }
    RemoveLinkIfOurs(line.link, line.slave);
    close(line.slaveFd);
    close(line.master);
  }
  return status;
}
