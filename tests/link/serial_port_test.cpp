#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>

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

TEST(PosixSerialPort, AMissingDeviceShowsTheBusyMessage) {
  ::setenv("PAGEWRIGHT_COM3", "/nonexistent/pagewright-tty", 1);
  ScriptedHost host;
  auto port = MakeSystemSerialPort(3, host);
  ::unsetenv("PAGEWRIGHT_COM3");
  EXPECT_FALSE(port->Open(1200, 0, 8, 1.0f));
  EXPECT_FALSE(port->IsOpen());
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].kind, Shown::Kind::Box);
  EXPECT_EQ(host.shown[0].message, kCom3Busy);
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
  EXPECT_EQ(host.shown[0].message, kCom3Busy);
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
  EXPECT_EQ(host.shown[0].message, kCom3Busy);
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

} // namespace
} // namespace pw::test
