// SPDX-License-Identifier: GPL-3.0-or-later
// The S-record parser and writer. Any text either fails or gives an image that the writer
// turns into text the parser reads back to the same image; and any 2048 bytes written as a
// data file are read back unchanged, in 130 lines ended CR LF.
#include <algorithm>
#include <string_view>

#include "fuzz/fuzz_support.h"

using namespace pw;
using namespace pw::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const std::optional<Image> parsed = ParseDataFile(text))
    PW_PROPERTY(ParseDataFile(WriteDataFile(*parsed)) == parsed);

  if (size >= map::kImageSize) {
    Image image{};
    std::copy_n(data, map::kImageSize, image.begin());
    const std::string written = WriteDataFile(image);
    PW_PROPERTY(ParseDataFile(written) == image);
    PW_PROPERTY(std::count(written.begin(), written.end(), '\n') == kDataRecords + 2);
    PW_PROPERTY(std::string_view(written).ends_with("\r\n"));
  }
  return 0;
}
