// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the seed corpus of the fuzz targets from the simulated pager: the data file of a
// Read of a default pager, that pager's replies to a Read and to a Program, and its replies
// to each link operation. Usage: fuzz_make_seeds <corpus folder>
#include <filesystem>
#include <fstream>
#include <functional>

#include "fuzz/fuzz_support.h"
#include "sim/in_process_port.h"
#include "sim/pager_firmware.h"

using namespace pw;
namespace fs = std::filesystem;

namespace {

// The bytes a pager answered, escaped as the targets read them, after a prefix of options or
// arguments.
std::string Replies(std::vector<std::uint8_t> prefix, const sim::InProcessPagerPort& port) {
  std::string out(prefix.begin(), prefix.end());
  for (const auto& r : port.Read) {
    out += static_cast<char>(r.value);
    if (r.value == fuzz::kEscape)
      out += '\0';
  }
  return out;
}

// Runs an exchange with a default pager and returns its replies.
std::string Record(std::vector<std::uint8_t> prefix,
                   const std::function<void(TransactionContext&)>& exchange) {
  VirtualClock clock;
  sim::PagerFirmware pager;
  sim::InProcessPagerPort port(pager, clock);
  port.Open(1200, 0, 8, 1.0f);
  fuzz::ScriptedLine idle(nullptr, 0, clock);
  fuzz::FuzzHost host(0, true, idle);
  Link link(clock, host);
  Codeplug cp;
  TransactionContext ctx{cp, link, port, host, clock};
  exchange(ctx);
  return Replies(prefix, port);
}

void Put(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2)
    return 2;
  const fs::path corpus = argv[1];

  std::string dataFile;
  Put(corpus / "read" / "default_pager", Record({0}, [&](TransactionContext& ctx) {
        if (!ReadPager(ctx).Ok())
          std::exit(1);
        PrepareForSave(ctx.codeplug);
        Messages messages;
        if (!PrepareImageForSave(ctx.codeplug, messages))
          std::exit(1);
        dataFile = WriteDataFile(ctx.codeplug.WorkingImage);
      }));
  Put(corpus / "data_file" / "read_pager.Dat", dataFile);
  Put(corpus / "srecord" / "read_pager.Dat", dataFile);
  Put(corpus / "program" / "default_pager", Record({0}, [](TransactionContext& ctx) {
        if (!ProgramPager(ctx).Ok())
          std::exit(1);
      }));

  // Link operations: operation, address (2), count - 1 (2), mode or command index.
  Put(corpus / "link" / "command_reset", Record({0, 0, 0, 0, 0, kCmdSUniRST}, [](auto& ctx) {
        ctx.link.SendCommand(ctx.port, kCmdSUniRST, false);
      }));
  Put(corpus / "link" / "version",
      Record({1, 0, 0, 0, 0, 1}, [](auto& ctx) { ctx.link.QueryFirmwareVersion(ctx.port, 1); }));
  Put(corpus / "link" / "stamp",
      Record({2, 0, 0, 0, 0, 0}, [](auto& ctx) { ctx.link.ReadVersionStamp(ctx.port); }));
  Put(corpus / "link" / "read_page0", Record({3, 0, 0, 0, 0xFF, kProgressPage0}, [](auto& ctx) {
        ctx.link.ReadBlock(ctx.port, 0x0000, 256, kProgressPage0);
      }));
  Put(corpus / "link" / "write_header", Record({4, 2, 0, 0, 11, 0}, [](auto& ctx) {
        ctx.link.WriteBlock(ctx.port, 0x0200, 12, kProgressNone);
      }));
  return 0;
}
