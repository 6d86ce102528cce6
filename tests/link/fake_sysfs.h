// SPDX-License-Identifier: GPL-3.0-or-later
// A machine's serial devices as sysfs and /dev show them, built in a temporary folder: USB
// adapters with their USB device, interface, port and tty, built-in ports behind the newer
// kernels' port layer, and ttys that are not ports.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace pw::test {

class FakeSysfs {
public:
  explicit FakeSysfs(const std::string& tag)
      : root_(std::filesystem::temp_directory_path() /
              ("pw-sysfs-" + tag + "-" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(sys() / "class" / "tty");
    std::filesystem::create_directories(dev());
  }
  ~FakeSysfs() { std::filesystem::remove_all(root_); }
  FakeSysfs(const FakeSysfs&) = delete;
  FakeSysfs& operator=(const FakeSysfs&) = delete;

  std::filesystem::path sys() const { return root_ / "sys"; }
  std::filesystem::path dev() const { return root_ / "dev"; }

  struct Usb {
    std::string tty;     // ttyUSB0, ttyACM0
    std::string busPath; // usb1/1-2
    std::string driver;  // ftdi_sio (on the usb-serial port), cdc_acm (on the interface)
    std::string vendor, product;
    std::string manufacturerString, productString, serialString; // empty: attribute absent
    std::string byId;                                            // empty: no by-id link
  };

  // A USB adapter. ttyUSB ports sit in a port device under the interface; ttyACM ports
  // belong to the interface itself.
  void AddUsb(const Usb& u) {
    const std::filesystem::path usbDevice = sys() / "devices/pci0000:00/0000:00:14.0" / u.busPath;
    const std::filesystem::path interface = usbDevice / (usbDevice.filename().string() + ":1.0");
    Attr(usbDevice / "idVendor", u.vendor);
    Attr(usbDevice / "idProduct", u.product);
    if (!u.manufacturerString.empty())
      Attr(usbDevice / "manufacturer", u.manufacturerString);
    if (!u.productString.empty())
      Attr(usbDevice / "product", u.productString);
    if (!u.serialString.empty())
      Attr(usbDevice / "serial", u.serialString);
    const bool acm = u.tty.rfind("ttyACM", 0) == 0;
    const std::filesystem::path port = acm ? interface : interface / u.tty;
    Driver(port, acm ? "usb" : "usb-serial", u.driver);
    AddTty(port, u.tty);
    if (!u.byId.empty()) {
      std::filesystem::create_directories(dev() / "serial/by-id");
      std::filesystem::create_symlink("../../" + u.tty, dev() / "serial/by-id" / u.byId);
    }
  }

  // A built-in port: its tty hangs off a port-layer device whose parent has the UART driver.
  // type 0 is a slot without a UART.
  void AddBuiltIn(const std::string& tty, const std::string& type) {
    const std::filesystem::path uart = sys() / "devices/pnp0/00:05";
    const std::filesystem::path port = uart / "00:05:0" / ("00:05:0." + tty.substr(4));
    Driver(uart, "pnp", "serial");
    Driver(port, "serial-base", "port");
    const std::filesystem::path ttyDir = AddTty(port, tty);
    Attr(ttyDir / "type", type);
  }

  // A tty with no device behind it (a virtual console).
  void AddConsole(const std::string& tty) {
    const std::filesystem::path dir = sys() / "devices/virtual/tty" / tty;
    std::filesystem::create_directories(dir);
    std::filesystem::create_directory_symlink(dir, sys() / "class/tty" / tty);
    Node(tty);
  }

  void RemoveNode(const std::string& tty) { std::filesystem::remove(dev() / tty); }
  // The device node leads to a real terminal (the simulated pager's pseudo-terminal).
  void PlugInto(const std::string& tty, const std::string& terminal) {
    RemoveNode(tty);
    std::filesystem::create_symlink(terminal, dev() / tty);
  }

private:
  static void Attr(const std::filesystem::path& file, const std::string& value) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << value << "\n";
  }
  void Driver(const std::filesystem::path& device, const std::string& bus,
              const std::string& name) {
    const std::filesystem::path driver = sys() / "bus" / bus / "drivers" / name;
    std::filesystem::create_directories(driver);
    std::filesystem::create_directories(device);
    if (std::filesystem::is_symlink(device / "driver"))
      return; // shared by several ports
    std::filesystem::create_directory_symlink(driver, device / "driver");
    std::filesystem::create_directory_symlink(sys() / "bus" / bus, device / "subsystem");
  }
  std::filesystem::path AddTty(const std::filesystem::path& device, const std::string& tty) {
    const std::filesystem::path dir = device / "tty" / tty;
    std::filesystem::create_directories(dir);
    std::filesystem::create_directory_symlink("../../../" + device.filename().string(),
                                              dir / "device");
    std::filesystem::create_directory_symlink(dir, sys() / "class/tty" / tty);
    Node(tty);
    return dir;
  }
  void Node(const std::string& tty) { std::ofstream(dev() / tty) << ""; }

  std::filesystem::path root_;
};

} // namespace pw::test
