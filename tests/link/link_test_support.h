// SPDX-License-Identifier: GPL-3.0-or-later
// A link talking to the in-process simulated pager on a virtual clock.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "base/clock.h"
#include "codeplug/memory_map.h"
#include "link/link_protocol.h"
#include "sim/in_process_port.h"
#include "sim/pager_firmware.h"
#include "support/scripted_host.h"

namespace pw::test {

// A recognisable EEPROM: byte i is (7i + 3) mod 256, with a digit stamp in its place.
inline Image PatternImage(std::string_view stamp = "010209") {
  Image image{};
  for (std::size_t i = 0; i < image.size(); ++i)
    image[i] = static_cast<std::uint8_t>(7 * i + 3);
  for (std::size_t i = 0; i < stamp.size(); ++i)
    image[map::kSoftwareStamp + i] = static_cast<std::uint8_t>(stamp[i]);
  return image;
}

struct LinkRig {
  explicit LinkRig(const Image& image = PatternImage(), std::string digits = "010209")
      : pager(image, std::move(digits)), port(pager, clock), link(clock, host) {
    port.Open(1200, 0, 8, 1.0f);
  }
  std::vector<std::uint8_t> ReadBytes() const {
    std::vector<std::uint8_t> out;
    for (const auto& r : port.Read)
      out.push_back(r.value);
    return out;
  }

  VirtualClock clock;
  ScriptedHost host;
  sim::PagerFirmware pager;
  sim::InProcessPagerPort port;
  Link link;
};

inline std::vector<std::uint8_t> Bytes(std::string_view text) {
  return {text.begin(), text.end()};
}

} // namespace pw::test
