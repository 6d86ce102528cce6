// SPDX-License-Identifier: GPL-3.0-or-later
// One link operation against a pager line whose reply bytes come from the input. The first
// six bytes choose the operation and its arguments: operation, address (2), count (2), mode
// (or command index and show flag). Every result is one the operation may give, a read that
// succeeded holds exactly the data and checksum the line sent, every request is the frame the
// protocol prescribes, and no operation waits on a dead line beyond its time-outs.
#include <algorithm>
#include <numeric>

#include "fuzz/fuzz_support.h"
#include "link/link_protocol.h"

using namespace pw;
using namespace pw::fuzz;

namespace {

constexpr int kLargestCount = 2300; // past both buffers, so their limits are tried too
// A write's completion wait plus the read time-out it may be in when the line dies.
constexpr std::uint64_t kLinkDeadBudgetMs = 10000 + kReadTimeoutMs;

std::vector<std::uint8_t> Frame(char letter, int address, int count) {
  return {static_cast<std::uint8_t>(letter), static_cast<std::uint8_t>(address >> 8),
          static_cast<std::uint8_t>(address), static_cast<std::uint8_t>((count - 1) >> 8),
          static_cast<std::uint8_t>(count - 1)};
}

std::uint16_t Sum16(const std::uint8_t* data, std::size_t count) {
  return static_cast<std::uint16_t>(std::accumulate(data, data + count, 0u));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kArguments = 6;
  if (size < kArguments)
    return 0;
  const int operation = data[0] % 5;
  const int address = data[1] << 8 | data[2];
  const int count = (data[3] << 8 | data[4]) % kLargestCount + 1;
  const int mode = data[5] % 6;
  VirtualClock clock;
  ScriptedLine line(data + kArguments, size - kArguments, clock);
  FuzzHost host(0, false, line);
  Link link(clock, host);
  link.ProgressTotal = count + 511;
  for (int i = 0; i < count && i < static_cast<int>(kLinkBufferSize); ++i)
    link.TransmitBuffer[i] = static_cast<std::uint8_t>(i * 7 + address);

  const auto& ex = line.exchanges;
  switch (operation) {
  case 0: {
    const LinkResult r = link.SendCommand(line, data[5] % 9, (data[4] & 1) != 0);
    PW_PROPERTY(r == kLinkFailure || r == kLinkSuccess || r == kLinkNak);
    break;
  }
  case 1: {
    const LinkResult r = link.QueryFirmwareVersion(line, data[5] & 1);
    PW_PROPERTY(r == kLinkFailure || r == kLinkSuccess || r == kLinkNak);
    if (r == kLinkSuccess && link.FirmwareVersionValid)
      PW_PROPERTY(link.FirmwareVersionNumber >= 0 && link.FirmwareVersionNumber <= 999999);
    break;
  }
  case 2: {
    const LinkResult r = link.ReadVersionStamp(line);
    PW_PROPERTY(r >= kLinkFailure && r <= kLinkUnexpected);
    PW_PROPERTY(!ex.empty() && ex[0].request == Frame('r', kStampAddress, kStampBytes));
    if (r == kLinkSuccess) {
      PW_PROPERTY(link.PagerStamp.size() == kStampBytes);
      PW_PROPERTY(std::all_of(link.PagerStamp.begin(), link.PagerStamp.end(),
                              [](char c) { return c >= '0' && c <= '9'; }));
    }
    break;
  }
  case 3: {
    const LinkResult r = link.ReadBlock(line, static_cast<std::uint16_t>(address), count, mode);
    PW_PROPERTY(r >= kLinkFailure && r <= kLinkChecksum);
    if (count + 2 > static_cast<int>(kLinkBufferSize))
      PW_PROPERTY(r == kLinkFailure && ex.empty());
    if (r == kLinkSuccess) {
      PW_PROPERTY(ex.size() == 1 && ex[0].request == Frame('r', address, count));
      const auto& reply = ex[0].replies;
      PW_PROPERTY(reply.size() == static_cast<std::size_t>(count) + 3 && reply[0] == kAck);
      PW_PROPERTY(std::equal(reply.begin() + 1, reply.end(), link.ReceiveBuffer.begin()));
      const std::uint16_t sum = Sum16(link.ReceiveBuffer.data(), count);
      PW_PROPERTY(reply[count + 1] == (sum >> 8) && reply[count + 2] == (sum & 0xFF));
    }
    break;
  }
  default: {
    const LinkResult r = link.WriteBlock(line, static_cast<std::uint16_t>(address), count, mode);
    PW_PROPERTY(r >= kLinkFailure && r <= kLinkChecksum);
    if (count + 7 > static_cast<int>(kLinkBufferSize))
      PW_PROPERTY(r == kLinkFailure && ex.empty());
    if (r == kLinkSuccess) {
      PW_PROPERTY(ex.size() == 1);
      std::vector<std::uint8_t> frame = Frame('w', address, count);
      frame.insert(frame.end(), link.TransmitBuffer.begin(), link.TransmitBuffer.begin() + count);
      const std::uint16_t sum = Sum16(link.TransmitBuffer.data(), count);
      frame.push_back(static_cast<std::uint8_t>(sum >> 8));
      frame.push_back(static_cast<std::uint8_t>(sum));
      PW_PROPERTY(ex[0].request == frame);
      const auto& reply = ex[0].replies;
      PW_PROPERTY(reply.size() >= 2 && reply[0] == kAck &&
                  (reply.back() == kAck || reply.back() == kWriteDone));
    }
  }
  }
  PW_PROPERTY(!line.deadSince || clock.Ticks() - *line.deadSince <= kLinkDeadBudgetMs);
  return 0;
}
