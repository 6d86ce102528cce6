// SPDX-License-Identifier: GPL-3.0-or-later
// Serial devices on Linux, from sysfs: /sys/class/tty/<name>/device leads to the port's
// device, its driver and, for a USB adapter, the USB device with its ids and strings.
#include "link/port_list.h"

#include "files/file_io.h"

#include <algorithm>
#include <fstream>
#include <system_error>

namespace pw {

namespace fs = std::filesystem;

namespace {

constexpr std::uintmax_t kMaxAttributeBytes = 64u << 10;

// The first line of a sysfs attribute without surrounding blanks; empty when unreadable.
std::string Attribute(const fs::path& file) {
  // Bounded, and never a pipe or device: the folders may be a copy a user made (--root).
  const std::string text = ReadTextFile(file.string(), kMaxAttributeBytes).text;
  const std::string line = text.substr(0, text.find('\n'));
  const std::size_t first = line.find_first_not_of(" \t\r");
  if (first == std::string::npos)
    return {};
  return line.substr(first, line.find_last_not_of(" \t\r") + 1 - first);
}

std::string LinkName(const fs::path& link) {
  std::error_code ec;
  const fs::path target = fs::read_symlink(link, ec);
  return ec ? std::string() : target.filename().string();
}

fs::path Canonical(const fs::path& p) {
  std::error_code ec;
  fs::path c = fs::canonical(p, ec);
  return ec ? fs::path() : c;
}

// The driver of the port: the first device from the port upwards with a driver of its own,
// passing over the generic port layer newer kernels put between a UART and its tty.
std::string PortDriver(fs::path device) {
  for (int level = 0; level < 4 && !device.empty(); ++level, device = device.parent_path()) {
    if (!fs::exists(device / "driver"))
      continue;
    if (LinkName(device / "subsystem") == "serial-base")
      continue;
    return LinkName(device / "driver");
  }
  return {};
}

// Vendor and product ids and strings of the USB device the port belongs to, if any.
void ReadUsbDevice(fs::path device, const fs::path& sysRoot, SerialDeviceInfo& info) {
  const fs::path top = Canonical(sysRoot);
  for (int level = 0; level < 8 && !device.empty() && device != top;
       ++level, device = device.parent_path()) {
    if (!fs::exists(device / "idVendor"))
      continue;
    info.vendorId = Attribute(device / "idVendor");
    info.productId = Attribute(device / "idProduct");
    info.manufacturer = Attribute(device / "manufacturer");
    info.product = Attribute(device / "product");
    info.serialNumber = Attribute(device / "serial");
    return;
  }
}

// The link in /dev/serial/by-id that leads to this device node.
std::string ByIdLink(const fs::path& node, const fs::path& devRoot) {
  const fs::path target = Canonical(node);
  std::error_code ec;
  fs::directory_iterator it(devRoot / "serial" / "by-id", ec), end;
  std::vector<std::string> links;
  for (; !ec && it != end; it.increment(ec))
    if (!target.empty() && Canonical(it->path()) == target)
      links.push_back(it->path().string());
  std::sort(links.begin(), links.end());
  return links.empty() ? std::string() : links.front();
}

// A tty of the kernel that stands for a real port: it has a device, and a built-in port slot
// has a UART behind it (type 0 is an empty slot).
bool IsRealPort(const fs::path& ttyDir) {
  if (!fs::exists(ttyDir / "device"))
    return false;
  return !fs::exists(ttyDir / "type") || Attribute(ttyDir / "type") != "0";
}

SerialDeviceInfo DescribeTty(const std::string& name, const PortListSource& source) {
  SerialDeviceInfo info;
  const fs::path node = source.devRoot / name;
  info.path = node.string();
  // A built-in port slot without a UART has a node but nothing behind it.
  info.present = fs::exists(node) && IsRealPort(source.sysRoot / "class" / "tty" / name);
  const fs::path device = Canonical(source.sysRoot / "class" / "tty" / name / "device");
  if (!device.empty()) {
    info.driver = PortDriver(device);
    ReadUsbDevice(device, source.sysRoot, info);
  }
  info.byIdLink = ByIdLink(node, source.devRoot);
  return info;
}

} // namespace

std::vector<SerialDeviceInfo> ListSerialDevices(const PortListSource& source) {
  std::vector<SerialDeviceInfo> devices;
  std::error_code ec;
  fs::directory_iterator it(source.sysRoot / "class" / "tty", ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!IsRealPort(it->path()) || !fs::exists(source.devRoot / name))
      continue;
    devices.push_back(DescribeTty(name, source));
  }
  std::sort(devices.begin(), devices.end(),
            [](const SerialDeviceInfo& a, const SerialDeviceInfo& b) {
              return NaturalLess(a.path, b.path);
            });
  return devices;
}

SerialDeviceInfo DescribeSerialDevice(const std::string& path, const PortListSource& source) {
  SerialDeviceInfo info;
  info.path = path;
  const fs::path target = Canonical(path);
  info.present = !target.empty();
  if (target.empty())
    return info;
  const fs::path devDir = Canonical(source.devRoot);
  if (target.parent_path() == Canonical(source.devRoot / "pts")) {
    info.driver = "pty";
  } else if (target.parent_path() == devDir &&
             fs::exists(source.sysRoot / "class" / "tty" / target.filename())) {
    info = DescribeTty(target.filename().string(), source);
    // A link of /dev/serial is shown as the device it stands for; any other name as given.
    const fs::path serialDir = Canonical(source.devRoot / "serial");
    const fs::path given = fs::absolute(path).lexically_normal();
    const bool serialLink =
        !serialDir.empty() && Canonical(given.parent_path()).parent_path() == serialDir;
    if (!serialLink)
      info.path = path;
  }
  return info;
}

} // namespace pw
