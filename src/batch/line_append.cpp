// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/line_append.h"

#include <algorithm>

#include "batch/locked_file.h"

namespace pw {
namespace {

constexpr std::uint64_t kTailChunk = 4096;
// A line longer than this is not one the program wrote; the search for its start stops there.
constexpr std::uint64_t kLongestTail = 1 << 20;

struct Tail {
  std::string text;     // after the last LF
  bool atStart = false; // the file holds no LF at all
};

bool ReadLastLine(LockedFile& file, std::uint64_t size, Tail& tail, std::string& reason) {
  std::string text; // the last bytes of the file, in order
  std::uint64_t from = size;
  while (from > 0 && size - from < kLongestTail) {
    const std::uint64_t n = std::min(from, kTailChunk);
    from -= n;
    std::string chunk(std::size_t(n), '\0');
    if (!file.ReadAt(from, chunk, reason))
      return false;
    text.insert(0, chunk);
    if (const std::size_t lf = chunk.rfind('\n'); lf != std::string::npos) {
      tail.text = text.substr(lf + 1);
      return true;
    }
  }
  tail.text = std::move(text);
  tail.atStart = from == 0;
  return true;
}

} // namespace

std::string CloseTornLine(std::string_view lastLine) {
  if (lastLine.empty())
    return {};
  // Inside a quoted field, quotes come in pairs; an odd count leaves the field open.
  if (std::count(lastLine.begin(), lastLine.end(), '"') % 2 == 1)
    return "\"\r\n";
  return lastLine.back() == '\r' ? "\n" : "\r\n";
}

AppendOutcome AppendWholeLine(const std::filesystem::path& path, std::string_view header,
                              std::string_view line) {
  AppendOutcome out;
  LockedFile file;
  std::uint64_t size = 0;
  if (!file.Open(path, out.reason) || !file.Size(size, out.reason))
    return out;

  std::string text;
  Tail tail;
  if (size > 0 && !ReadLastLine(file, size, tail, out.reason))
    return out;
  if (size == 0 || (tail.atStart && header.starts_with(tail.text)))
    text = header.substr(tail.text.size()); // a new file, or one whose header was cut short
  else
    text = CloseTornLine(tail.text);
  text += line;

  out.ok = file.Append(text, out.reason) && file.Flush(out.reason);
  return out;
}

} // namespace pw
