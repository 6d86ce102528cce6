// SPDX-License-Identifier: GPL-3.0-or-later
// The codeplug in memory: the working image the window edits, the built-in default, the
// bytes of the last Read, the built-in patch blocks, and what is derived from them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/version.h"
#include "codeplug/memory_map.h"

namespace pw {

using Image = std::array<std::uint8_t, map::kImageSize>;

inline constexpr std::string_view kPatchSignatureText = "PATCH";

// Quantities derived from the RF option bytes and the band byte.
struct RfQuantities {
  std::uint32_t IfOffset = 45000000;          // Hz
  std::uint32_t ChannelStep = 12500;          // Hz
  std::array<int, 3> Multiplier = {4, 1, 1};  // per band family 0, 1, 2
  std::uint32_t ReferenceFrequency = 12800000; // Hz
  bool HighSideInjection = false;
  int PllIcOption = 1; // item of rgpPLLICOption
};

// One built-in patch set: header bytes for 0x205-0x20B and the code for 0x600.
struct PatchSet {
  std::array<std::uint8_t, 7> header;
  const std::uint8_t* code;
  int length;
};

class Codeplug {
public:
  Codeplug(); // builds the default codeplug into DefaultImage and WorkingImage

  Image WorkingImage{};
  Image DefaultImage{};
  std::array<std::uint8_t, map::kPersonalitySize> ReadImage{};

  int CodeplugBandFamily = 0;
  int CodeplugSubBand = 0;
  bool LedStayOnCapable = false;
  int PatchVersion = 0;                // patch version of the current image
  std::uint32_t ImageFirmwareVersion = 0; // firmware of the pager last read, 0 after a load
  bool OutOfRangeTimerEdited = false;  // timer entered in 5-second steps this run
  RfQuantities Rf;

  // The building blocks of start-up; the constructor runs PrepareDefaultImage.
  void PrepareDefaultImage();
  // Brings 0x00A, 0x00B and 0x1EC into a legal combination and derives Rf.
  void NormalizeRfOptions();
  // Step 2 of the normalisation alone (run at every FLEX Address page refill).
  void NormalizeRfOptionsStep2();
  // Re-derives Rf from the image (step 3 of the normalisation).
  void DeriveRfQuantities();
  void UpdatePageChecksums();
  void StampSoftwareVersion();
  void ApplyForcedBytes();
  void RestoreForcedDefaultRanges();

  // Patch set 0-7 (sets 0 and 1 share the 4-byte block).
  static PatchSet BuiltInPatchSet(int set);

  // Byte helpers on the working image.
  std::uint8_t& At(std::size_t offset) { return WorkingImage[offset]; }
  std::uint32_t Word24(std::size_t offset) const;
  void SetWord24(std::size_t offset, std::uint32_t value);
  std::uint16_t Word16(std::size_t offset) const;
  void SetWord16(std::size_t offset, std::uint16_t value);
  std::string StampText() const; // 0x1F7-0x1FC as text when all digits, else "000000"
};

// Checksums as the image stores them.
std::uint16_t InvertedSum16(const std::uint8_t* data, std::size_t count);
std::uint8_t InvertedSum8(const std::uint8_t* data, std::size_t count);
// Two characters per byte, high nibble first; a character at or above 'A' counts as its code
// minus 55, any other as its code minus 48.
std::uint8_t DecodeHexPair(char high, char low);
void DecodeHexText(std::string_view text, std::uint8_t* out, std::size_t count);

// The built-in texts: the 512 bytes of the default codeplug (0x000-0x1FF), and the
// 320-byte patch block of set 2-7 (empty for any other set).
std::string_view DefaultImageText();
std::string_view PatchBlockText(int set);

// The patch area of an image: where its block lies and whether header and block are sound.
struct PatchLayout {
  std::uint16_t start = 0;
  std::uint16_t length = 0;
  bool headerOk = false; // check byte matches
  bool fits = false;     // 3 <= length and start + length <= 0x800
  bool blockOk = false;  // block checksum matches (only when fits)
  int version = 0;       // byte start + length - 3 (only when fits)
  bool signatureOk = false; // "PATCH" at 0x200
};
PatchLayout InspectPatch(const Image& image);

} // namespace pw
