// SPDX-License-Identifier: GPL-3.0-or-later
// The data-file loader, text in. A refused file changes nothing in memory; an accepted one
// becomes a codeplug that agrees with itself and that Save writes into a file the loader
// accepts again, giving back the saved image.
#include <string_view>

#include "fuzz/fuzz_support.h"

using namespace pw;
using namespace pw::fuzz;

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// Gives every data record the checksum the loader expects at its place, as a program that
// wrote a strange codeplug would, so that the checks behind the record check get inputs too.
void RepairRecordChecksums(std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::size_t from = 0;
  for (int k = 0; k < kDataRecords; ++k) {
    const std::size_t found = text.find("S1", from);
    const std::size_t digits = found + 8;
    if (found == std::string_view::npos || size < digits + 34)
      return;
    unsigned sum = 0x13 + ((k * 16) >> 8) + ((k * 16) & 0xFF);
    for (std::size_t i = 0; i < 16; ++i)
      sum += DecodeHexPair(text[digits + 2 * i], text[digits + 2 * i + 1]);
    const unsigned check = 0xFF - (sum & 0xFF);
    data[digits + 32] = static_cast<std::uint8_t>(kHex[check >> 4]);
    data[digits + 33] = static_cast<std::uint8_t>(kHex[check & 0x0F]);
    from = digits + 34;
  }
}

} // namespace

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

// Half of the mutants keep sound record checksums.
extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t maxSize, unsigned int seed) {
  size = LLVMFuzzerMutate(data, size, maxSize);
  if (seed & 1)
    RepairRecordChecksums(data, size);
  return size;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Codeplug cp = StartingCodeplug();
  const CodeplugState before = CodeplugState::Of(cp);

  const LoadedFile file = LoadDataFile(text);
  AcceptLoadedFile(cp, file);
  if (!file.ok) {
    PW_PROPERTY(CodeplugState::Of(cp) == before);
    PW_PROPERTY(!file.message.text.empty());
    return 0;
  }
  PW_PROPERTY(ParseDataFile(text).has_value());
  CheckCodeplugAgrees(cp);
  CheckSavesAndLoadsAgain(cp);
  return 0;
}
