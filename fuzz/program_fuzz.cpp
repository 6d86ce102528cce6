// SPDX-License-Identifier: GPL-3.0-or-later
// The Program transaction against a pager line whose every reply byte comes from the input
// (after an options byte). Program reports success only when every block it wrote was
// acknowledged and completed, and then it has written the whole prepared image.
#include <algorithm>

#include "fuzz/fuzz_support.h"
#include "link/link_protocol.h"

using namespace pw;
using namespace pw::fuzz;

namespace {

constexpr std::uint8_t kWriteLetter = 'w';
constexpr std::size_t kFrameHeader = 5;

// A write frame the pager took: ACK first, then ACK or 0x0C among the bytes that followed.
bool Completed(const ScriptedLine::Exchange& e) {
  const auto& r = e.replies;
  return !r.empty() && r[0] == kAck && std::any_of(r.begin() + 1, r.end(), [](std::uint8_t b) {
    return b == kAck || b == kWriteDone;
  });
}

// The image bytes at every address a write frame carried.
bool WroteImage(const ScriptedLine::Exchange& e, const Image& image) {
  const auto& q = e.request;
  if (q.size() < kFrameHeader + 2)
    return false;
  const int address = q[1] << 8 | q[2];
  const int count = (q[3] << 8 | q[4]) + 1;
  if (q.size() != kFrameHeader + count + 2)
    return false;
  if (address == map::kPagerId && count == 2)
    return q[5] == map::kPagerIdFlex && q[6] == 0x0F;
  return address + count <= static_cast<int>(image.size()) &&
         std::equal(q.begin() + kFrameHeader, q.begin() + kFrameHeader + count,
                    image.begin() + address);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1)
    return 0;
  const Options options = Options::From(data[0]);
  VirtualClock clock;
  ScriptedLine line(data + 1, size - 1, clock);
  FuzzHost host(options.retries, options.yes, line);
  Link link(clock, host);
  Codeplug cp = StartingCodeplug();
  if (options.ledFlash)
    cp.WorkingImage[map::kFeatureFlags] |= map::kFeatureLedFlashForever;
  TransactionContext ctx{cp, link, line, host, clock};

  if (ProgramPager(ctx).Ok()) {
    int pages = 0;
    for (const ScriptedLine::Exchange& e : line.exchanges) {
      if (e.request.empty() || e.request[0] != kWriteLetter)
        continue;
      PW_PROPERTY(Completed(e));
      PW_PROPERTY(WroteImage(e, cp.WorkingImage));
      const int address = e.request[1] << 8 | e.request[2];
      pages += address == map::kPage0Start || address == map::kPage1Start;
    }
    PW_PROPERTY(pages == 2);
  }
  PW_PROPERTY(host.Progress() == 0);
  PW_PROPERTY(line.EndedInTime());
  return 0;
}
