// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <iterator>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/clock.h"
#include "codeplug/memory_map.h"
#include "link/link_protocol.h"
#include "link/serial_port.h"
#include "link/serial_port_posix.h"
#include "pty_pager.h"
#include "support/scripted_host.h"

namespace pw::test {
namespace {

// ---- Port names ---------------------------------------------------------------------------

TEST(PortNames, DisplayNameAndWindowsDevicePathPerPortNumber) {
  struct Case {
    int n;
    const char* display;
    const char* windows;
  };
  const Case cases[] = {
      {1, "COM1", "COM1"},
      {9, "COM9", "COM9"},
      {10, "COM10", "\\\\.\\COM10"},
      {99, "COM99", "\\\\.\\COM99"},
      {256, "COM256", "\\\\.\\COM256"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PortDisplayName(c.n), c.display);
    EXPECT_EQ(WindowsDevicePath(c.n), c.windows);
    EXPECT_LE(WindowsDevicePath(c.n).size(), 13u);
  }
}

TEST(PortNames, NumbersOutsideTheTableHaveNoDevice) {
  for (int n : {0, -1, 257}) {
    EXPECT_EQ(WindowsDevicePath(n), "") << n;
    EXPECT_EQ(PosixDevicePath(n), "") << n;
  }
}

TEST(PortNames, PosixDeviceComesFromTheEnvironmentOrTheSerialDriver) {
  ::unsetenv("PAGEWRIGHT_COM42");
  EXPECT_EQ(PosixDevicePath(42), "/dev/ttyS41");
  EXPECT_EQ(PosixDevicePath(1), std::getenv("PAGEWRIGHT_COM1") ? std::getenv("PAGEWRIGHT_COM1")
                                                               : std::string("/dev/ttyS0"));
  ::setenv("PAGEWRIGHT_COM42", "/dev/ttyUSB3", 1);
  EXPECT_EQ(PosixDevicePath(42), "/dev/ttyUSB3");
  EXPECT_EQ(PosixDevicePath(4), std::getenv("PAGEWRIGHT_COM4") ? std::getenv("PAGEWRIGHT_COM4")
                                                               : std::string("/dev/ttyS3"));
  ::setenv("PAGEWRIGHT_COM42", "", 1);
  EXPECT_EQ(PosixDevicePath(42), "/dev/ttyS41");
  ::unsetenv("PAGEWRIGHT_COM42");
}

TEST(StopBits, OnlyExactValuesSelectTheirSetting) {
  EXPECT_EQ(StopBitsFromFloat(1.0f), StopBits::One);
  EXPECT_EQ(StopBitsFromFloat(1.5f), StopBits::OneAndHalf);
  EXPECT_EQ(StopBitsFromFloat(2.0f), StopBits::Two);
  EXPECT_EQ(StopBitsFromFloat(3.0f), StopBits::One);
  EXPECT_EQ(StopBitsFromFloat(0.0f), StopBits::One);
  EXPECT_EQ(StopBitsFromFloat(1.49f), StopBits::One);
  EXPECT_EQ(StopBitsFromFloat(2.01f), StopBits::One);
}

// ---- Opening ------------------------------------------------------------------------------

const Message kCom3Busy{"\"COM3\" is used by another application now!", "Tavo Programmer",
                        Icon::Error};

// The busy message as the window shows it above the reason.
Message WithoutDetail(Message m) {
  m.detail.clear();
  return m;
}

TEST(PosixSerialPort, AMissingDeviceShowsTheBusyMessage) {
  ::setenv("PAGEWRIGHT_COM3", "/nonexistent/pagewright-tty", 1);
  ScriptedHost host;
  auto port = MakeSystemSerialPort(3, host);
  ::unsetenv("PAGEWRIGHT_COM3");
  EXPECT_FALSE(port->Open(1200, 0, 8, 1.0f));
  EXPECT_FALSE(port->IsOpen());
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].kind, Shown::Kind::Box);
  EXPECT_EQ(WithoutDetail(host.shown[0].message), kCom3Busy);
  // A closed port moves nothing and says nothing more.
  std::uint8_t b = 0;
  EXPECT_FALSE(port->WriteByte(0x72));
  EXPECT_FALSE(port->ReadByte(b));
  EXPECT_FALSE(port->Purge());
  EXPECT_FALSE(port->Close());
  EXPECT_EQ(host.shown.size(), 1u);
}

TEST(PosixSerialPort, AFileThatIsNoTerminalIsNoPort) {
  char path[] = "/tmp/pagewright-notatty-XXXXXX";
  int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ::close(fd);
  ScriptedHost host;
  PosixSerialPort port(path, "COM3", host);
  EXPECT_FALSE(port.Open(1200, 0, 8, 1.0f));
  ::unlink(path);
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(WithoutDetail(host.shown[0].message), kCom3Busy);
  EXPECT_EQ(host.shown[0].message.detail, "Not a serial device: " + std::string(path) + ".");
}

TEST(PosixSerialPort, AStalledLineFailsTheWriteInsteadOfHanging) {
  int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  ScriptedHost host;
  PosixSerialPort port(::ptsname(master), "COM5", host);
  ASSERT_TRUE(port.Open(1200, 0, 8, 1.0f));
  // Nobody reads the other end: once the terminal's buffer is full a byte times out.
  constexpr std::size_t kLimit = 1u << 20;
  std::size_t written = 0;
  while (written < kLimit && port.WriteByte(0x55))
    ++written;
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, kLimit);
  EXPECT_TRUE(port.Close());
  ::close(master);
  EXPECT_TRUE(host.shown.empty());
}

// ---- Over a pseudo-terminal to pagewright-sim ---------------------------------------------

TEST(PosixSerialPortOverPty, ASecondOpenOfAHeldPortFails) {
  PtyPager sim;
  ASSERT_TRUE(sim.Start());
  ScriptedHost host;
  PosixSerialPort first(sim.Link(), "COM3", host);
  PosixSerialPort second(sim.Link(), "COM3", host);
  ASSERT_TRUE(first.Open(1200, 0, 8, 1.0f));
  EXPECT_TRUE(first.IsOpen());
  EXPECT_FALSE(second.Open(1200, 0, 8, 1.0f));
  EXPECT_FALSE(second.IsOpen());
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(WithoutDetail(host.shown[0].message), kCom3Busy);
  // Once let go, the port is free again.
  EXPECT_TRUE(first.Close());
  EXPECT_FALSE(first.IsOpen());
  EXPECT_FALSE(first.Close());
  EXPECT_TRUE(second.Open(1200, 0, 8, 1.0f));
  EXPECT_EQ(host.shown.size(), 1u);
}

TEST(PosixSerialPortOverPty, OpeningAnOpenPortAgainStartsAfresh) {
  PtyPager sim;
  ASSERT_TRUE(sim.Start());
  ScriptedHost host;
  SystemClock clock;
  PosixSerialPort port(sim.Link(), "COM3", host);
  ASSERT_TRUE(port.Open(1200, 0, 8, 1.0f));
  ASSERT_TRUE(port.Open(1200, 0, 8, 1.0f));
  EXPECT_TRUE(port.IsOpen());
  EXPECT_TRUE(host.shown.empty());
  Link link(clock, host);
  EXPECT_EQ(link.ReadBlock(port, map::kBandByte, 1, kProgressNone), kLinkSuccess);
}

TEST(PosixSerialPortOverPty, EveryByteValueSurvivesAWriteAndAReadBack) {
  PtyPager sim;
  const std::filesystem::path saved = sim.Folder() / "eeprom.bin";
  ASSERT_TRUE(sim.Start({"--save", saved.string()}));
  EXPECT_TRUE(std::filesystem::is_symlink(sim.Link()));
  EXPECT_EQ(std::filesystem::read_symlink(sim.Link()).string(), sim.Terminal());

  ScriptedHost host;
  SystemClock clock;
  PosixSerialPort port(sim.Link(), "COM1", host);
  ASSERT_TRUE(port.Open(1200, 0, 8, 1.0f));
  Link link(clock, host);
  for (int i = 0; i < 256; ++i)
    link.TransmitBuffer[i] = static_cast<std::uint8_t>(i);
  // The software stamp lives in the middle of the page: write above it, in the patch area.
  constexpr std::uint16_t kAddress = 0x0600;
  ASSERT_EQ(link.WriteBlock(port, kAddress, 256, kProgressNone), kLinkSuccess);
  ASSERT_EQ(link.ReadBlock(port, kAddress, 256, kProgressNone), kLinkSuccess);
  for (int i = 0; i < 256; ++i)
    ASSERT_EQ(link.ReceiveBuffer[i], i) << "byte " << i;
  EXPECT_TRUE(host.shown.empty());
  EXPECT_TRUE(port.Close());

  // On SIGTERM the pager's EEPROM is saved and the link removed.
  EXPECT_EQ(sim.Stop(), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(sim.Link())));
  std::ifstream in(saved, std::ios::binary);
  std::vector<char> eeprom((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(eeprom.size(), 2048u);
  for (int i = 0; i < 256; ++i)
    ASSERT_EQ(static_cast<std::uint8_t>(eeprom[kAddress + i]), i) << "byte " << i;
}

TEST(PosixSerialPortOverPty, TheFirmwareDigitsAndEepromComeFromTheCommandLine) {
  PtyPager sim;
  const std::filesystem::path image = sim.Folder() / "in.bin";
  {
    std::ofstream out(image, std::ios::binary);
    for (int i = 0; i < 2048; ++i)
      out.put(static_cast<char>(i * 5));
  }
  ASSERT_TRUE(sim.Start({"--firmware", "020304", "--eeprom", image.string()}));
  ScriptedHost host;
  SystemClock clock;
  PosixSerialPort port(sim.Link(), "COM1", host);
  ASSERT_TRUE(port.Open(1200, 0, 8, 1.0f));
  Link link(clock, host);
  ASSERT_EQ(link.QueryFirmwareVersion(port, 1), kLinkSuccess);
  EXPECT_EQ(link.FirmwareVersionNumber, 20304);
  ASSERT_EQ(link.ReadBlock(port, 0x0100, 4, kProgressNone), kLinkSuccess);
  EXPECT_EQ(link.ReceiveBuffer[0], static_cast<std::uint8_t>(0x100 * 5));
  EXPECT_EQ(link.ReceiveBuffer[3], static_cast<std::uint8_t>(0x103 * 5));
}

// ---- Why a port did not open -----------------------------------------------------------------

// A pseudo-terminal whose other end this process holds, so the device stays up.
struct Pty {
  Pty() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0) device = ::ptsname(master);
  }
  ~Pty() {
    if (master >= 0) ::close(master);
  }
  int master = -1;
  std::string device;
};

// Runs body in a child process and returns what it wrote into the pipe it is given.
std::string InChild(const std::function<void(int out)>& body, pid_t* childPid = nullptr,
                    const std::function<void()>& whileRunning = {}) {
  int out[2];
  if (::pipe(out) != 0) return "no pipe";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(out[0]);
    body(out[1]);
    ::_exit(0);
  }
  ::close(out[1]);
  if (childPid) *childPid = pid;
  std::string text;
  char buf[512];
  for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) {
    text.append(buf, static_cast<std::size_t>(n));
    if (whileRunning && text.find('\n') != std::string::npos) break;
  }
  if (whileRunning) whileRunning();
  ::close(out[0]);
  ::waitpid(pid, nullptr, 0);
  return text;
}

void Put(int fd, const std::string& text) {
  if (::write(fd, text.data(), text.size()) < 0) ::_exit(1);
}

std::string OpenDetail(const std::string& device) {
  ScriptedHost host;
  PosixSerialPort port(device, "COM3", host);
  port.Open(1200, 0, 8, 1.0f);
  return host.shown.empty() ? "(opened)" : host.shown[0].message.detail;
}

std::string ProcessName(pid_t pid) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

TEST(PosixSerialPortFailures, SayWhyTheDeviceDidNotOpen) {
  struct Case {
    const char* shows;
    // The detail seen and the one expected; nothing when this machine cannot show the case.
    std::function<std::optional<std::pair<std::string, std::string>>()> run;
  } cases[] = {
      {"a missing device",
       [] {
         const std::string device = "/nonexistent/ttyUSB9";
         return std::make_optional(std::make_pair(
             OpenDetail(device), "No such device: " + device + ". Is the adapter plugged in?"));
       }},
      {"a device only its group may use, opened by another user",
       []() -> std::optional<std::pair<std::string, std::string>> {
         const group* g = ::getgrnam("dialout");
         const passwd* nobody = ::getpwnam("nobody");
         Pty pty;
         if (::geteuid() != 0 || !g || !nobody || pty.device.empty()) return std::nullopt;
         const gid_t gid = g->gr_gid;
         const std::string group = g->gr_name;
         const uid_t uid = nobody->pw_uid;
         const gid_t ownGid = nobody->pw_gid;
         if (::chown(pty.device.c_str(), 0, gid) != 0 || ::chmod(pty.device.c_str(), 0660) != 0)
           return std::nullopt;
         const std::string seen = InChild([&](int out) {
           if (::setgroups(0, nullptr) != 0 || ::setgid(ownGid) != 0 || ::setuid(uid) != 0)
             return Put(out, "cannot drop privileges");
           Put(out, OpenDetail(pty.device));
         });
         if (seen == "cannot drop privileges") return std::nullopt;
         return std::make_pair(seen, "Permission denied: " + pty.device +
                                         ". Members of the group \"" + group +
                                         "\" may use it: add yourself (sudo usermod -a -G " +
                                         group + " $USER), then log out and log in again.");
       }},
      {"a device another process holds",
       []() -> std::optional<std::pair<std::string, std::string>> {
         Pty pty;
         if (pty.device.empty()) return std::nullopt;
         int release[2];
         if (::pipe(release) != 0) return std::nullopt;
         pid_t holder = 0;
         std::string seen;
         const std::string ready = InChild(
             [&](int out) {
               ::close(release[1]);
               ScriptedHost host;
               PosixSerialPort port(pty.device, "COM3", host);
               Put(out, port.Open(1200, 0, 8, 1.0f) ? "held\n" : "not held\n");
               char c;
               while (::read(release[0], &c, 1) > 0) {
               }
             },
             &holder,
             [&] {
               ::close(release[0]);
               seen = OpenDetail(pty.device);
               ::close(release[1]);
             });
         if (ready != "held\n") return std::make_pair(ready, std::string("held"));
         return std::make_pair(seen, "In use: " + pty.device + " is held by process " +
                                         std::to_string(holder) + " (" + ProcessName(::getpid()) +
                                         ").");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shows);
    const auto result = c.run();
    if (!result) {
      std::printf("[ SKIPPED  ] %s: not possible on this machine\n", c.shows);
      continue;
    }
    EXPECT_EQ(result->first, result->second);
  }
}

} // namespace
} // namespace pw::test
