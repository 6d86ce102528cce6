// SPDX-License-Identifier: GPL-3.0-or-later
// pool add|list|show|retire|release: the capcode pools the benches that share a ledger hand
// out capcodes from.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>

#include "app/cli/cli.h"
#include "batch/programming_log.h"
#include "codeplug/flex_address.h"

namespace pw::cli {

namespace {

long long L(std::int64_t n) {
  return static_cast<long long>(n);
}

std::string CountsText(const ledger::PoolCounts& c) {
  char text[160];
  std::snprintf(text, sizeof text,
                "free %lld, reserved %lld, used %lld, suspect %lld, unusable %lld", L(c.free),
                L(c.reserved), L(c.used), L(c.suspect), L(c.unusable));
  return text;
}

std::string When(std::int64_t ms) {
  return ms > 0 ? LogTimestamp(static_cast<std::time_t>(ms / 1000)) : std::string("-");
}

// A failure of the ledger itself or a refusal of what was asked: said, status 1.
int Refused(const ledger::Ledger& l, const std::string& error) {
  Complain(error.empty() ? "the ledger " + l.Shown() + " did not answer" : error);
  return kExitFailed;
}

} // namespace

int RunPoolAdd(const PoolCommandOptions& o) {
  std::vector<ledger::CapcodeRange> ranges;
  std::int64_t illegal = 0; // addresses of the ranges no pager can take
  for (const std::string& text : o.ranges) {
    const std::optional<ledger::CapcodeRange> range = ledger::ParseCapcodeRange(text);
    if (!range) { // the parser has checked it; a range read differently here is a fault
      Complain("--range " + text + " is not a range of capcodes");
      return kExitUsage;
    }
    const std::vector<ledger::CapcodeRange> legal = ledger::LegalParts(*range);
    if (legal.empty()) {
      Complain("--range " + text +
               " holds no capcode a pager can take: nothing was added to the pool " + o.name);
      return kExitUsage;
    }
    illegal += range->last - range->first + 1;
    for (const ledger::CapcodeRange& part : legal)
      illegal -= part.last - part.first + 1;
    ranges.push_back(*range);
  }
  std::unique_ptr<ledger::Ledger> l = OpenLedger(o.ledger);
  if (!l)
    return kExitUsage;
  std::int64_t added = 0;
  std::string error;
  if (!l->AddPool(o.name, char(std::toupper(static_cast<unsigned char>(o.code[0]))), ranges, &added,
                  &error))
    return Refused(*l, error);
  std::printf("pool %s: %lld capcodes added", o.name.c_str(), L(added));
  if (illegal > 0)
    std::printf(" (%lld addresses of the ranges are not capcodes a pager can take)", L(illegal));
  std::printf("\n");
  return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
}

int RunPoolList(const PoolCommandOptions& o) {
  std::unique_ptr<ledger::Ledger> l = OpenLedger(o.ledger);
  if (!l)
    return kExitUsage;
  std::string error;
  const std::vector<ledger::PoolInfo> pools = l->Pools(0, &error);
  if (!error.empty())
    return Refused(*l, error);
  if (pools.empty())
    Complain("the ledger " + l->Shown() + " has no pools");
  std::size_t width = 0;
  for (const ledger::PoolInfo& p : pools)
    width = std::max(width, p.name.size());
  for (const ledger::PoolInfo& p : pools)
    std::printf("%-*s  %c  %s%s\n", int(width), p.name.c_str(), p.code,
                CountsText(p.counts).c_str(), p.retired ? "  retired" : "");
  return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
}

int RunPoolShow(const PoolCommandOptions& o) {
  std::unique_ptr<ledger::Ledger> l = OpenLedger(o.ledger);
  if (!l)
    return kExitUsage;
  std::string error;
  const std::optional<ledger::PoolInfo> pool = l->Pool(o.name, ledger::kPoolNextShown, &error);
  if (!error.empty())
    return Refused(*l, error);
  if (!pool)
    return Refused(*l, "the ledger " + l->Shown() + " has no pool " + o.name);
  const std::vector<ledger::PoolCapcode> held =
      l->PoolCapcodes(pool->name, {ledger::kCapcodeReserved, ledger::kCapcodeSuspect}, &error);
  if (!error.empty())
    return Refused(*l, error);
  std::printf("pool %s, code %c%s\n", pool->name.c_str(), pool->code,
              pool->retired ? ", retired: hands out nothing more" : "");
  std::printf("%s\n", CountsText(pool->counts).c_str());
  std::string text;
  for (const ledger::CapcodeRange& r : pool->ranges)
    text += " " + ledger::RangeText(r);
  std::printf("ranges:%s\n", text.c_str());
  text.clear();
  for (std::int64_t c : pool->next)
    text += " " + CapcodeText(c);
  std::printf("next:%s\n", text.empty() ? " none left" : text.c_str());
  for (const ledger::PoolCapcode& c : held) {
    std::printf("%s %s  pager %s  bench %s  since %s", c.state.c_str(), CapcodeText(c.capcode).c_str(),
                SerialNumberForLog(c.serialNumber).c_str(), c.bench.empty() ? "-" : c.bench.c_str(),
                When(c.changedMs).c_str());
    if (c.state == ledger::kCapcodeReserved && c.leaseUntilMs > 0)
      std::printf("  until %s", When(c.leaseUntilMs).c_str());
    std::printf("\n");
  }
  return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
}

int RunPoolRetire(const PoolCommandOptions& o) {
  std::unique_ptr<ledger::Ledger> l = OpenLedger(o.ledger);
  if (!l)
    return kExitUsage;
  std::string error;
  if (!l->RetirePool(o.name, &error))
    return Refused(*l, error);
  std::printf("pool %s retired: it hands out no more capcodes\n", o.name.c_str());
  return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
}

int RunPoolRelease(const PoolCommandOptions& o) {
  std::unique_ptr<ledger::Ledger> l = OpenLedger(o.ledger);
  if (!l)
    return kExitUsage;
  std::string error;
  if (!l->ReleaseCapcode(std::stoll(o.capcode), &error))
    return Refused(*l, error);
  std::printf("capcode %s is free again\n", o.capcode.c_str());
  return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
}

} // namespace pw::cli
