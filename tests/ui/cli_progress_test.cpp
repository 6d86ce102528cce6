// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's progress line during a Program: it names the phase the pager is in and
// its percentage moves through the backup and the verify too.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/cli/cli.h"
#include "support/borrowed_port.h"
#include "transactions/pager_bench.h"

namespace pw::test {
namespace {

namespace fs = std::filesystem;

// A host whose gauge is the progress line.
struct LineHost final : ScriptedHost {
  cli::ProgressLine& line;
  explicit LineHost(cli::ProgressLine& l) : line(l) {}
  void SetProgress(int percent) override {
    ScriptedHost::SetProgress(percent);
    line.SetPercent(percent);
  }
};

// The phases the line showed, in order, each with the highest percentage it showed with it.
std::vector<std::pair<std::string, int>> Phases(const std::string& drawn) {
  std::vector<std::pair<std::string, int>> phases;
  std::size_t at = 0;
  while ((at = drawn.find('\r', at)) != std::string::npos) {
    const std::size_t end = drawn.find('\r', at + 1);
    std::string text = drawn.substr(at + 1, end == std::string::npos ? end : end - at - 1);
    at = end;
    while (!text.empty() && text.back() == ' ')
      text.pop_back();
    if (text.size() < 7 || text[4] != ' ')
      continue;
    const int percent = std::stoi(text.substr(0, 3));
    const std::string phase = text.substr(6);
    if (phases.empty() || phases.back().first != phase)
      phases.push_back({phase, percent});
    else
      phases.back().second = std::max(phases.back().second, percent);
  }
  return phases;
}

TEST(CliProgressLine, NamesTheBackupTheWritesAndTheVerifyAndMovesThroughThem) {
  const fs::path dir = fs::temp_directory_path() / ("pw-progress-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  PagerBench b;
  cli::ProgressLine line;
  line.Enable(true);
  LineHost host(line);
  Link link(b.clock, host);
  std::unique_ptr<SerialPort> port = cli::WatchSteps(std::make_unique<BorrowedPort>(b.port), line);
  TransactionContext ctx{b.cp, link, *port, host, b.clock};

  ::testing::internal::CaptureStderr();
  const TransactionOutcome outcome = ProgramPager(ctx, ProgramOptions{true, dir});
  line.Finish();
  const std::string drawn = ::testing::internal::GetCapturedStderr();
  fs::remove_all(dir);
  ASSERT_TRUE(outcome.Ok()) << DescribeOutcome(outcome);

  std::vector<std::string> names;
  int last = 0;
  for (const auto& [phase, percent] : Phases(drawn)) {
    names.push_back(phase);
    EXPECT_GE(percent, last) << phase;
    last = percent;
  }
  const std::vector<std::string> expected = {
      "backing up",        "writing page 0", "writing page 1",     "writing the patch header",
      "writing the patch", "verifying",      "resetting the pager"};
  std::vector<std::string> seen; // from the backup on, the checks before it aside
  for (auto it = std::find(names.begin(), names.end(), "backing up"); it != names.end(); ++it)
    seen.push_back(*it);
  EXPECT_EQ(seen, expected) << drawn.size();
  const auto phases = Phases(drawn);
  auto percentOf = [&](const std::string& name) {
    for (const auto& [phase, percent] : phases)
      if (phase == name)
        return percent;
    return -1;
  };
  EXPECT_GE(percentOf("backing up"), 50);
  EXPECT_GE(percentOf("verifying"), 99);
}

} // namespace
} // namespace pw::test
