// SPDX-License-Identifier: GPL-3.0-or-later
// A pager on the bench: the simulated firmware behind an in-process port on a virtual clock,
// a scripted host, the link and a codeplug, wired into one transaction context.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "base/clock.h"
#include "codeplug/codeplug.h"
#include "link/link_protocol.h"
#include "sim/in_process_port.h"
#include "sim/pager_firmware.h"
#include "support/scripted_host.h"
#include "transactions/transactions.h"

namespace pw::test {

// Brings the page checksums and the patch header check of an EEPROM image into agreement
// with its contents, as a sound pager keeps them.
inline void Seal(Image& e) {
  auto put = [&](std::size_t at, std::uint16_t v) {
    e[at] = static_cast<std::uint8_t>(v >> 8);
    e[at + 1] = static_cast<std::uint8_t>(v);
  };
  put(map::kPage0ChecksumHi, InvertedSum16(&e[map::kPage0Start], map::kPage0ChecksumHi));
  put(map::kPage1ChecksumHi,
      InvertedSum16(&e[map::kPage1Start], map::kPage1ChecksumHi - map::kPage1Start));
  e[map::kPatchHeaderCheck] = InvertedSum8(&e[map::kPatchHeader], map::kPatchHeaderSummed);
}

// Gives the 4-byte default patch at 0x600 another patch version, with a sound checksum.
inline void SetShortPatchVersion(Image& e, std::uint8_t version) {
  e[map::kPatchCode + 1] = version;
  const std::uint16_t check = InvertedSum16(&e[map::kPatchCode], 2);
  e[map::kPatchCode + 2] = static_cast<std::uint8_t>(check >> 8);
  e[map::kPatchCode + 3] = static_cast<std::uint8_t>(check);
}

inline void SetText(Image& e, std::size_t at, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) e[at + i] = static_cast<std::uint8_t>(text[i]);
}

struct PagerBench {
  VirtualClock clock;
  sim::PagerFirmware pager;
  sim::InProcessPagerPort port{pager, clock};
  ScriptedHost host;
  Link link{clock, host};
  Codeplug cp;
  TransactionContext ctx{cp, link, port, host, clock};

  PagerBench() { Seal(pager.Eeprom); }

  // (address, count) of every block the pager was asked to read, the stamp read included.
  std::vector<std::pair<int, int>> Reads() const {
    std::vector<std::pair<int, int>> out;
    for (const sim::ReceivedFrame& f : pager.FramesOf(sim::FrameKind::Read))
      out.push_back({f.address, f.count});
    return out;
  }
  std::vector<std::pair<int, int>> Writes() const {
    std::vector<std::pair<int, int>> out;
    for (const sim::ReceivedFrame& f : pager.FramesOf(sim::FrameKind::Write))
      out.push_back({f.address, f.count});
    return out;
  }
};

// The clock of a transaction under test: records every pause the transaction itself makes,
// with the number of requests the pager had received by then. The link keeps its own pacing
// on the bench clock, so only the transaction's pauses show.
struct PauseLog final : Clock {
  explicit PauseLog(PagerBench& b) : bench(b) {}
  void Sleep(std::uint32_t ms) override {
    pauses.push_back({static_cast<int>(bench.pager.Frames.size()), static_cast<int>(ms)});
    bench.clock.Sleep(ms);
  }
  std::uint64_t Ticks() override { return bench.clock.Ticks(); }

  PagerBench& bench;
  std::vector<std::pair<int, int>> pauses; // (requests so far, milliseconds)
  TransactionContext ctx{bench.cp, bench.link, bench.port, bench.host, *this};
};

// Faults of one request.
inline sim::PagerFaults Nak() {
  sim::PagerFaults f;
  f.nak = true;
  return f;
}
inline sim::PagerFaults Silent() {
  sim::PagerFaults f;
  f.silent = true;
  return f;
}
inline sim::PagerFaults WrongChecksum() {
  sim::PagerFaults f;
  f.wrongChecksum = true;
  return f;
}
inline sim::PagerFaults NoCompletion() {
  sim::PagerFaults f;
  f.noCompletion = true;
  return f;
}
inline sim::PagerFaults Answer(std::vector<std::uint8_t> bytes) {
  sim::PagerFaults f;
  f.replaceReply = std::move(bytes);
  return f;
}

inline Message Info(std::string_view text) { return Plain(std::string(text)); }
inline Message Error(std::string_view text) {
  return Message{std::string(text), "Error", Icon::Error};
}
inline Message Warning(std::string_view text) {
  return Message{std::string(text), "Warning", Icon::None};
}
inline Message Information(std::string_view text) {
  return Message{std::string(text), "Information", Icon::None};
}

inline const std::string kProtocolError =
    "*** Protocol Error ***\n\nNo line-echo detected!  Check\nhard-contact port is properly "
    "setup\nand connected.";

} // namespace pw::test
