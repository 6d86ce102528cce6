// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "link/serial_trace.h"
#include "support/borrowed_port.h"
#include "transactions/pager_bench.h"

namespace pw::test {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kHeadingLines = 4; // the start time and the legend

fs::path TracePath(const char* name) {
  return fs::temp_directory_path() / ("pw-trace-" + std::to_string(::getpid()) + "-" + name);
}

// The rows of a trace below its heading.
std::vector<std::string> Rows(const fs::path& path) {
  std::ifstream in(path);
  std::vector<std::string> rows;
  for (std::string line; std::getline(in, line);) rows.push_back(line);
  if (rows.size() < kHeadingLines) return {};
  return {rows.begin() + kHeadingLines, rows.end()};
}

using test::BorrowedPort;

TEST(SerialTrace, WritesFramesByDirectionAndPauseWithTheTimeOfEachRow) {
  const fs::path path = TracePath("rows");
  fs::remove(path);
  VirtualClock clock;
  clock.Advance(5000);
  {
    SerialTrace trace(path, clock);
    trace.Note("open COM1 at 1200 baud");
    for (char c : std::string("SUjV")) {
      trace.Sent(static_cast<std::uint8_t>(c));
      clock.Sleep(25);
    }
    for (int i = 0; i < 18; ++i) {
      trace.Received(static_cast<std::uint8_t>("\x11RV615-FVRZ 010209"[i]));
      clock.Sleep(8);
    }
    clock.Sleep(kTraceFramePauseMs + 1);
    trace.Received(0x15); // after a pause: a frame of its own
  }
  EXPECT_EQ(Rows(path),
            (std::vector<std::string>{
                "         0  --  open COM1 at 1200 baud",
                "         0  PC> 53 55 6A 56                                      SUjV",
                "       100  <PG 11 52 56 36 31 35 2D 46 56 52 5A 20 30 31 30 32  .RV615-FVRZ 0102",
                "       228      30 39                                            09",
                "       345  <PG 15                                               .",
            }));
  fs::remove(path);
}

// A program that ends abruptly loses nothing: each byte is in the file as soon as it passed,
// the frame still going on included; its printable column follows when the row ends.
TEST(SerialTrace, EveryByteIsInTheFileAsItPasses) {
  const fs::path path = TracePath("live");
  fs::remove(path);
  VirtualClock clock;
  SerialTrace trace(path, clock);
  const std::pair<int, std::vector<std::string>> cases[] = {
      {3, {"         0  PC> 77 00 00 "}},
      {16, {"         0  PC> 77 00 00 FF FF FF FF FF FF FF FF FF FF FF FF FF  w..............."}},
      {20,
       {"         0  PC> 77 00 00 FF FF FF FF FF FF FF FF FF FF FF FF FF  w...............",
        "         0      FF FF FF FF "}},
  };
  int sent = 0;
  for (const auto& [bytes, rows] : cases) {
    for (; sent < bytes; ++sent)
      trace.Sent(sent == 0 ? 'w' : sent < 3 ? 0x00 : 0xFF);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::vector<std::string> lines;
    std::istringstream split(text.str());
    for (std::string line; std::getline(split, line);)
      lines.push_back(line);
    ASSERT_GE(lines.size(), kHeadingLines) << bytes;
    EXPECT_EQ(std::vector<std::string>(lines.begin() + kHeadingLines, lines.end()), rows) << bytes;
  }
  trace.Received(0x06);
  EXPECT_EQ(Rows(path).back(), "         0  <PG 06 ");
  EXPECT_EQ(Rows(path)[1], "         0      FF FF FF FF                                      ....");
  fs::remove(path);
}

// The trace file is opened as a save opens its file: nothing that blocks, never grows without
// end, and never the missing file a link names.
TEST(SerialTrace, RefusesPipesDevicesAndLinksToMissingFiles) {
  const fs::path dir = TracePath("refused");
  fs::remove_all(dir);
  fs::create_directories(dir / "elsewhere");
  ASSERT_EQ(::mkfifo((dir / "pipe.txt").c_str(), 0666), 0);
  fs::create_symlink("/dev/zero", dir / "zero.txt");
  fs::create_symlink(dir / "elsewhere" / "made.txt", dir / "dangling.txt");
  const std::pair<const char*, const char*> cases[] = {
      {"pipe.txt", "Is a named pipe, not a regular file"},
      {"zero.txt", "Is a device, not a regular file"},
      {"dangling.txt", "Is a symbolic link to a file that does not exist"},
  };
  VirtualClock clock;
  ::alarm(20); // a trace that blocks ends the run instead of hanging it
  for (const auto& [name, reason] : cases) {
    SerialTrace trace(dir / name, clock);
    EXPECT_FALSE(trace.Begin()) << name;
    EXPECT_EQ(trace.Error(),
              "Cannot write the serial trace \"" + (dir / name).string() + "\": " + reason);
  }
  ::alarm(0);
  EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
  fs::remove_all(dir);
}

TEST(SerialTrace, ATraceOfAReadShowsEveryFrameOfTheProtocolInOrder) {
  const fs::path path = TracePath("read");
  fs::remove(path);
  PagerBench b;
  {
    auto trace = std::make_shared<SerialTrace>(path, b.clock);
    TracingPort port(std::make_unique<BorrowedPort>(b.port), trace, "COM1");
    TransactionContext ctx{b.cp, b.link, port, b.host, b.clock};
    ASSERT_TRUE(ReadPager(ctx).Ok());
  }
  // Rebuild the frames from the rows: a mark starts one, a row without continues it.
  struct Frame {
    std::string mark;
    std::vector<std::uint8_t> bytes;
  };
  std::vector<Frame> frames;
  int notes = 0;
  for (const std::string& row : Rows(path)) {
    const std::string mark = row.substr(12, 3);
    if (mark == "-- ") {
      ++notes;
      continue;
    }
    if (mark != "   ") frames.push_back({mark, {}});
    ASSERT_FALSE(frames.empty()) << row;
    std::istringstream hex(row.substr(16, 48));
    for (unsigned v; hex >> std::hex >> v;) frames.back().bytes.push_back(static_cast<std::uint8_t>(v));
  }
  EXPECT_EQ(notes, 1); // the port opened by the Read

  std::vector<std::uint8_t> replies;
  std::size_t request = 0;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(frames[i].mark, i % 2 == 0 ? "PC>" : "<PG");
    if (i % 2 == 1) {
      replies.insert(replies.end(), frames[i].bytes.begin(), frames[i].bytes.end());
    } else if (request < b.pager.Frames.size()) {
      EXPECT_EQ(frames[i].bytes, b.pager.Frames[request++].bytes);
    }
  }
  EXPECT_EQ(frames.size(), 2 * b.pager.Frames.size());
  std::vector<std::uint8_t> read;
  for (const auto& r : b.port.Read) read.push_back(r.value);
  EXPECT_EQ(replies, read);
  fs::remove(path);
}

} // namespace
} // namespace pw::test
