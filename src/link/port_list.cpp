// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/port_list.h"

#include <algorithm>
#include <cctype>

namespace pw {

namespace {

// The adapters pagers are usually programmed through, for a device whose own strings are
// missing (some CH340 clones report none).
struct KnownVendor {
  std::string_view vendorId;
  std::string_view name;
};
constexpr KnownVendor kKnownVendors[] = {
    {"0403", "FTDI USB serial adapter"},
    {"067b", "Prolific PL2303 USB serial adapter"},
    {"10c4", "Silicon Labs CP210x USB serial adapter"},
    {"1a86", "CH340 USB serial adapter"},
};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsHex4(std::string_view s) {
  return s.size() >= 4 && std::all_of(s.begin(), s.begin() + 4, [](char c) {
           return std::isxdigit(static_cast<unsigned char>(c));
         });
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The four hex digits after "VID_" (or "PID_") in s, lower-case; empty when absent.
std::string IdAfter(std::string_view s, std::string_view tag) {
  const std::string upper = [&] {
    std::string u(s);
    for (char& c : u)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
  }();
  const std::size_t at = upper.find(tag);
  if (at == std::string::npos || !IsHex4(s.substr(at + tag.size())))
    return {};
  return Lower(s.substr(at + tag.size(), 4));
}

std::vector<std::string_view> Split(std::string_view s, char sep) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t end = s.find(sep, start);
    parts.push_back(s.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos)
      return parts;
    start = end + 1;
  }
}

} // namespace

bool NaturalLess(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      std::size_t ie = i, je = j;
      while (ie < a.size() && IsDigit(a[ie]))
        ++ie;
      while (je < b.size() && IsDigit(b[je]))
        ++je;
      // Compare the numbers without their leading zeros: first by length, then digit-wise.
      std::string_view na = a.substr(i, ie - i), nb = b.substr(j, je - j);
      na.remove_prefix(std::min(na.find_first_not_of('0'), na.size()));
      nb.remove_prefix(std::min(nb.find_first_not_of('0'), nb.size()));
      if (na.size() != nb.size())
        return na.size() < nb.size();
      if (na != nb)
        return na < nb;
      i = ie;
      j = je;
      continue;
    }
    if (a[i] != b[j])
      return a[i] < b[j];
    ++i;
    ++j;
  }
  return a.size() - i < b.size() - j;
}

std::string DeviceDescription(const SerialDeviceInfo& d) {
  std::string text;
  if (!d.friendlyName.empty()) {
    // "USB Serial Port (COM3)" for COM3 says the port's name twice.
    text = d.friendlyName;
    const std::string suffix = " (" + d.path + ")";
    if (text.size() > suffix.size() &&
        text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0)
      text.resize(text.size() - suffix.size());
  } else if (!d.product.empty()) {
    text = d.product;
  } else if (!d.vendorId.empty()) {
    for (const KnownVendor& v : kKnownVendors)
      if (v.vendorId == d.vendorId)
        text = v.name;
    if (text.empty())
      text = "USB serial adapter " + d.vendorId + ":" + d.productId;
  } else if (d.driver == "pty") {
    text = "pseudo-terminal";
  } else if (d.driver == "serial" || d.driver == "serial8250" || d.driver == "Serial") {
    text = "built-in serial port";
  } else {
    text = d.driver;
  }
  if (!d.present)
    text = text.empty() ? "not connected" : text + ", not connected";
  return text;
}

std::string FormatSerialDevice(const SerialDeviceInfo& d) {
  const std::string description = DeviceDescription(d);
  return description.empty() ? d.path : d.path + " \u2014 " + description;
}

std::string DeviceDetails(const SerialDeviceInfo& d) {
  const std::pair<const char*, std::string> rows[] = {
      {"Device", d.path},
      {"Stable link", d.byIdLink},
      {"Name", d.friendlyName},
      {"Driver", d.driver},
      {"USB id", d.vendorId.empty() ? std::string() : d.vendorId + ":" + d.productId},
      {"Manufacturer", d.manufacturer},
      {"Product", d.product},
      {"Serial number", d.serialNumber},
  };
  std::string text;
  for (const auto& [label, value] : rows) {
    if (value.empty())
      continue;
    if (!text.empty())
      text += '\n';
    text += std::string(label) + ": " + value;
  }
  return text;
}

bool ParseDeviceInstanceId(std::string_view id, SerialDeviceInfo& d) {
  const std::vector<std::string_view> parts = Split(id, '\\');
  if (parts.size() < 2)
    return false;
  const std::string vid = IdAfter(parts[1], "VID_");
  const std::string pid = IdAfter(parts[1], "PID_");
  if (vid.empty() || pid.empty())
    return false;
  d.vendorId = vid;
  d.productId = pid;
  // FTDI's own bus: the serial is the third '+' field, with the port's letter appended.
  const std::vector<std::string_view> plus = Split(parts[1], '+');
  std::string_view serial;
  if (plus.size() >= 3) {
    serial = plus[2];
  } else if (parts.size() >= 3 && parts[2].find('&') == std::string_view::npos) {
    serial = parts[2];
  }
  d.serialNumber = std::string(serial);
  return true;
}

} // namespace pw
