// SPDX-License-Identifier: GPL-3.0-or-later
// Port discovery on Linux against a fake sysfs tree and the simulated pager's
// pseudo-terminal; the description and Windows id rules every platform shares.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <filesystem>

#include "fake_sysfs.h"
#include "link/port_list.h"
#include "support/sim_process.h"

namespace pw::test {
namespace {

namespace fs = std::filesystem;

class PortListTest : public ::testing::Test {
protected:
  PortListTest() : machine(::testing::UnitTest::GetInstance()->current_test_info()->name()) {
    source.sysRoot = machine.sys();
    source.devRoot = machine.dev();
  }
  std::string Dev(const std::string& name) const { return (machine.dev() / name).string(); }

  FakeSysfs machine;
  PortListSource source;
};

TEST_F(PortListTest, ListsRealPortsWithTheirAdapterInNaturalOrder) {
  machine.AddUsb({"ttyUSB10", "usb1/1-2", "ftdi_sio", "0403", "6001", "FTDI", "FT232R USB UART",
                  "A50285BI", "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"});
  machine.AddUsb({"ttyUSB2", "usb1/1-3", "ch341-uart", "1a86", "7523", "", "", "", ""});
  machine.AddUsb({"ttyACM0", "usb2/2-1", "cdc_acm", "2341", "0043", "Arduino", "Uno", "8573", ""});
  machine.AddUsb({"ttyUSB3", "usb1/1-4", "pl2303", "067b", "2303", "", "", "", ""});
  machine.RemoveNode("ttyUSB3"); // unplugged while sysfs still lists it
  machine.AddBuiltIn("ttyS0", "4");
  machine.AddBuiltIn("ttyS1", "0"); // a slot without a UART
  machine.AddConsole("tty0");

  struct Row {
    std::string name, driver, vendor, product, manufacturer, productString, serial, byId, shown;
  };
  const Row expected[] = {
      {"ttyACM0", "cdc_acm", "2341", "0043", "Arduino", "Uno", "8573", "", "Uno"},
      {"ttyS0", "serial", "", "", "", "", "", "", "built-in serial port"},
      {"ttyUSB2", "ch341-uart", "1a86", "7523", "", "", "", "", "CH340 USB serial adapter"},
      {"ttyUSB10", "ftdi_sio", "0403", "6001", "FTDI", "FT232R USB UART", "A50285BI",
       "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "FT232R USB UART"},
  };
  const std::vector<SerialDeviceInfo> found = ListSerialDevices(source);
  ASSERT_EQ(found.size(), std::size(expected));
  for (std::size_t i = 0; i < found.size(); ++i) {
    const Row& e = expected[i];
    const SerialDeviceInfo& d = found[i];
    EXPECT_EQ(d.path, Dev(e.name));
    EXPECT_EQ(d.driver, e.driver) << e.name;
    EXPECT_EQ(d.vendorId, e.vendor) << e.name;
    EXPECT_EQ(d.productId, e.product) << e.name;
    EXPECT_EQ(d.manufacturer, e.manufacturer) << e.name;
    EXPECT_EQ(d.product, e.productString) << e.name;
    EXPECT_EQ(d.serialNumber, e.serial) << e.name;
    EXPECT_EQ(d.byIdLink, e.byId.empty() ? "" : Dev("serial/by-id/" + e.byId)) << e.name;
    EXPECT_EQ(FormatSerialDevice(d), Dev(e.name) + " \u2014 " + e.shown);
  }
  EXPECT_EQ(FormatSerialDevice(DescribeSerialDevice(Dev("ttyS1"), source)),
            Dev("ttyS1") + " \u2014 built-in serial port, not connected");
}

TEST_F(PortListTest, DescribesADeviceByItsNodeItsStableLinkOrAnyOtherName) {
  machine.AddUsb({"ttyUSB0", "usb1/1-2", "cp210x", "10c4", "ea60", "Silicon Labs",
                  "CP2102 USB to UART Bridge Controller", "0001", "usb-Silicon_Labs_CP2102-if00"});
  const fs::path own = fs::path(machine.dev()).parent_path() / "my-pager-cable";
  fs::create_symlink(Dev("ttyUSB0"), own);

  struct Case {
    std::string given, shownPath;
    bool present;
  };
  const Case cases[] = {
      {Dev("ttyUSB0"), Dev("ttyUSB0"), true},
      {Dev("serial/by-id/usb-Silicon_Labs_CP2102-if00"), Dev("ttyUSB0"), true},
      {own.string(), own.string(), true},
  };
  for (const Case& c : cases) {
    const SerialDeviceInfo d = DescribeSerialDevice(c.given, source);
    EXPECT_EQ(d.path, c.shownPath) << c.given;
    EXPECT_EQ(d.byIdLink, Dev("serial/by-id/usb-Silicon_Labs_CP2102-if00")) << c.given;
    EXPECT_EQ(d.vendorId + ":" + d.productId, "10c4:ea60") << c.given;
    EXPECT_EQ(DeviceDescription(d), "CP2102 USB to UART Bridge Controller") << c.given;
  }
  const SerialDeviceInfo gone = DescribeSerialDevice(Dev("ttyUSB7"), source);
  EXPECT_FALSE(gone.present);
  EXPECT_EQ(FormatSerialDevice(gone), Dev("ttyUSB7") + " \u2014 not connected");
}

TEST(PortListPty, TheSimulatedPagersLinkIsAPseudoTerminal) {
  const std::string link =
      (fs::temp_directory_path() / ("pw-ports-sim-" + std::to_string(::getpid()))).string();
  SimProcess sim(link);
  ASSERT_TRUE(sim.Ready());
  const SerialDeviceInfo d = DescribeSerialDevice(link);
  EXPECT_TRUE(d.present);
  EXPECT_EQ(d.driver, "pty");
  EXPECT_EQ(FormatSerialDevice(d), link + " \u2014 pseudo-terminal");
}

TEST(PortListRules, NaturalOrderAndWindowsInstanceIds) {
  EXPECT_TRUE(NaturalLess("COM2", "COM10"));
  EXPECT_TRUE(NaturalLess("/dev/ttyS9", "/dev/ttyS10"));
  EXPECT_FALSE(NaturalLess("COM10", "COM10"));
  EXPECT_TRUE(NaturalLess("ttyS1", "ttyUSB0"));

  struct Case {
    const char* id;
    bool ok;
    const char *vendor, *product, *serial;
  };
  const Case cases[] = {
      {"USB\\VID_0403&PID_6001\\A50285BI", true, "0403", "6001", "A50285BI"},
      {"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", true, "0403", "6001", "A50285BIA"},
      {"USB\\VID_1A86&PID_7523\\5&2BBDF1A8&0&2", true, "1a86", "7523", ""},
      {"ACPI\\PNP0501\\1", false, "", "", ""},
  };
  for (const Case& c : cases) {
    SerialDeviceInfo d;
    EXPECT_EQ(ParseDeviceInstanceId(c.id, d), c.ok) << c.id;
    EXPECT_EQ(d.vendorId, c.vendor) << c.id;
    EXPECT_EQ(d.productId, c.product) << c.id;
    EXPECT_EQ(d.serialNumber, c.serial) << c.id;
  }
  SerialDeviceInfo windows;
  windows.path = "COM3";
  windows.friendlyName = "USB Serial Port (COM3)";
  EXPECT_EQ(FormatSerialDevice(windows), "COM3 \u2014 USB Serial Port");
}

} // namespace
} // namespace pw::test
#endif
