// SPDX-License-Identifier: GPL-3.0-or-later
#include "codeplug/codeplug.h"

#include <algorithm>

namespace pw {
namespace {

// Power LED on/off times every default codeplug starts with.
constexpr std::array<std::uint8_t, 4> kDefaultPowerLedTimes = {0x00, 0x4B, 0x02, 0x0D};

constexpr std::array<std::uint32_t, 5> kIfOffsets = {17900000, 21400000, 21700000, 14575000,
                                                     45000000};
constexpr std::array<std::uint32_t, 4> kChannelSteps = {5000, 6250, 7500, 12500};
constexpr std::array<std::uint32_t, 4> kReferenceFrequencies = {12800000, 20950000, 16800000,
                                                                12000000};
constexpr std::uint32_t kFineStep = 2500;
constexpr int kVhfLowSubBand = 6; // 137-142.9999 MHz, synthesizer above the channel

enum PllType { kFs8107Old = 0, kSm5170Old = 1, kFs8108New1 = 2, kMb15e03New = 3 };

int PllTypeOf(std::uint8_t o2) {
  return 2 * ((o2 & map::kPllTypeBit2) ? 1 : 0) + ((o2 & map::kPllTypeBit4) ? 1 : 0);
}

std::uint16_t Sum16(const std::uint8_t* data, std::size_t count) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < count; ++i)
    sum += data[i];
  return static_cast<std::uint16_t>(sum);
}

int HexValue(char c) {
  const int code = static_cast<unsigned char>(c);
  return code >= 'A' ? code - 55 : code - 48;
}

} // namespace

std::uint16_t InvertedSum16(const std::uint8_t* data, std::size_t count) {
  return static_cast<std::uint16_t>(~Sum16(data, count));
}

std::uint8_t InvertedSum8(const std::uint8_t* data, std::size_t count) {
  return static_cast<std::uint8_t>(~Sum16(data, count));
}

std::uint8_t DecodeHexPair(char high, char low) {
  return static_cast<std::uint8_t>(HexValue(high) * 16 + HexValue(low));
}

void DecodeHexText(std::string_view text, std::uint8_t* out, std::size_t count) {
  const std::size_t n = std::min(count, text.size() / 2);
  for (std::size_t i = 0; i < n; ++i)
    out[i] = DecodeHexPair(text[2 * i], text[2 * i + 1]);
}

Codeplug::Codeplug() {
  PrepareDefaultImage();
  StampSoftwareVersion();
}

void Codeplug::PrepareDefaultImage() {
  Image& d = DefaultImage;
  std::fill(d.begin() + map::kPatchRegion, d.end(), map::kFillByte);
  d[map::kDefaultPatchLevel] = map::kDefaultPatchLevelValue;

  DecodeHexText(DefaultImageText(), d.data(), map::kPatchRegion);

  std::copy(kPatchSignatureText.begin(), kPatchSignatureText.end(),
            d.begin() + map::kPatchSignature);
  const PatchSet defaultSet = BuiltInPatchSet(1);
  std::copy_n(defaultSet.header.begin(), map::kPatchHeaderSummed, d.begin() + map::kPatchHeader);
  d[map::kPatchHeaderCheck] = InvertedSum8(&d[map::kPatchHeader], map::kPatchHeaderSummed);

  const std::size_t start = std::size_t(d[map::kPatchStart]) << 8 | d[map::kPatchStart + 1];
  const std::size_t length = std::size_t(d[map::kPatchLength]) << 8 | d[map::kPatchLength + 1];
  const std::uint16_t check = InvertedSum16(&d[start], length - 2);
  d[start + length - 2] = static_cast<std::uint8_t>(check >> 8);
  d[start + length - 1] = static_cast<std::uint8_t>(check);

  CodeplugBandFamily = map::BandFamily(d[map::kBandByte]);
  CodeplugSubBand = map::SubBand(d[map::kBandByte]);

  d[map::kPacket01Value] = map::kPacket01ValueForced;
  d[map::kPagerId] = map::kPagerIdFlex;
  d[map::kPagerId + 1] = static_cast<std::uint8_t>(~map::kPagerIdFlex);
  std::copy(kDefaultPowerLedTimes.begin(), kDefaultPowerLedTimes.end(),
            d.begin() + map::kPowerLedOn);

  LedStayOnCapable = (d[map::kFeatureFlags] & map::kFeatureLedStayOnCapable) != 0;

  WorkingImage = DefaultImage;
  NormalizeRfOptions();
}

void Codeplug::NormalizeRfOptions() {
  std::uint8_t& o1 = At(map::kRfOption1);
  std::uint8_t& o2 = At(map::kRfOption2);
  if (o1 == 0 && o2 == 0) {
    switch (map::BandFamily(At(map::kBandByte))) {
    case 0:
      o1 = 0x9B, o2 = 0x12;
      break;
    case 1:
      o1 = 0x39, o2 = 0x42;
      break;
    default:
      break; // UHF is set by the synthesizer rules below
    }
  }
  NormalizeRfOptionsStep2();
  DeriveRfQuantities();
}

void Codeplug::NormalizeRfOptionsStep2() {
  std::uint8_t& o1 = At(map::kRfOption1);
  std::uint8_t& o2 = At(map::kRfOption2);
  std::uint8_t& band = At(map::kBandByte);
  const int fam = map::BandFamily(band);
  const bool lowVhf = map::SubBand(band) == kVhfLowSubBand;
  constexpr std::uint8_t typeBits = map::kPllTypeBit4 | map::kPllTypeBit2;

  switch (PllTypeOf(o2)) {
  case kFs8108New1:
    if (fam == 1) {
      o1 = 0x28;
      if (lowVhf)
        o2 |= map::kHighSideBit;
    } else if (fam == 2) {
      o1 = 0x3B;
    } else if (fam == 0) {
      o1 = 0x9D;
    }
    o2 = static_cast<std::uint8_t>((o2 & ~typeBits) | map::kPllTypeBit2);
    break;
  case kMb15e03New:
    if (fam == 0) {
      o1 = 0x89, o2 = 0x16;
    } else if (fam == 1) {
      o1 = 0x20, o2 = lowVhf ? 0x76 : 0x56;
      band |= map::kStep2500Bit;
    } else if (fam == 2) {
      o1 = 0x20, o2 = 0x56;
      band |= map::kStep2500Bit;
    }
    o2 |= typeBits;
    break;
  case kSm5170Old:
    if (fam == 0)
      o1 = 0x9B, o2 = 0x12;
    o2 = static_cast<std::uint8_t>((o2 & ~typeBits) | map::kPllTypeBit4);
    break;
  default: // FS8107
    if (fam == 1) {
      o1 = 0x39, o2 = lowVhf ? 0x62 : 0x42;
    } else if (fam == 2) {
      o1 = 0x3B, o2 = 0x42;
    }
    o2 = static_cast<std::uint8_t>(o2 & ~typeBits);
    break;
  }
}

void Codeplug::DeriveRfQuantities() {
  const std::uint8_t o1 = At(map::kRfOption1);
  const std::uint8_t o2 = At(map::kRfOption2);
  const std::uint8_t band = At(map::kBandByte);
  const int fam = map::BandFamily(band);

  if (o1 < map::kIfDecodedBelow)
    Rf.IfOffset = kIfOffsets[o1 >> map::kIfShift];

  Rf.ChannelStep =
      (band & map::kStep2500Bit) ? kFineStep : kChannelSteps[(o1 >> map::kStepShift) & 0x03];
  // Band family 3 is no band; its multiplier has nowhere to go.
  if (fam < int(Rf.Multiplier.size()))
    Rf.Multiplier[fam] = (o1 & map::kMultiplierMask) + 1;
  Rf.ReferenceFrequency = kReferenceFrequencies[o2 >> map::kReferenceShift];
  Rf.HighSideInjection = (o2 & map::kHighSideBit) != 0;
  Rf.PllIcOption = PllTypeOf(o2);

  if (Rf.PllIcOption == kFs8108New1)
    Rf.ChannelStep = fam == 1 ? kChannelSteps[1] : kChannelSteps[3];
  else if (Rf.PllIcOption == kMb15e03New)
    Rf.ChannelStep = kFineStep;
}

void Codeplug::UpdatePageChecksums() {
  SetWord16(map::kPage0ChecksumHi, InvertedSum16(&WorkingImage[map::kPage0Start],
                                                 map::kPage0ChecksumHi - map::kPage0Start));
  SetWord16(map::kPage1ChecksumHi, InvertedSum16(&WorkingImage[map::kPage1Start],
                                                 map::kPage1ChecksumHi - map::kPage1Start));
}

void Codeplug::StampSoftwareVersion() {
  std::copy(kSoftwareStamp.begin(), kSoftwareStamp.end(),
            WorkingImage.begin() + map::kSoftwareStamp);
}

void Codeplug::ApplyForcedBytes() {
  for (const map::ForcedByte& f : map::kForcedBytes)
    WorkingImage[f.offset] = f.value;
}

void Codeplug::RestoreForcedDefaultRanges() {
  for (const map::Range& r : map::kForcedDefaultRanges)
    std::copy(DefaultImage.begin() + r.first, DefaultImage.begin() + r.last + 1,
              WorkingImage.begin() + r.first);
}

std::uint32_t Codeplug::Word24(std::size_t offset) const {
  return std::uint32_t(WorkingImage[offset]) << 16 | std::uint32_t(WorkingImage[offset + 1]) << 8 |
         WorkingImage[offset + 2];
}

void Codeplug::SetWord24(std::size_t offset, std::uint32_t value) {
  WorkingImage[offset] = static_cast<std::uint8_t>(value >> 16);
  WorkingImage[offset + 1] = static_cast<std::uint8_t>(value >> 8);
  WorkingImage[offset + 2] = static_cast<std::uint8_t>(value);
}

std::uint16_t Codeplug::Word16(std::size_t offset) const {
  return static_cast<std::uint16_t>(WorkingImage[offset] << 8 | WorkingImage[offset + 1]);
}

void Codeplug::SetWord16(std::size_t offset, std::uint16_t value) {
  WorkingImage[offset] = static_cast<std::uint8_t>(value >> 8);
  WorkingImage[offset + 1] = static_cast<std::uint8_t>(value);
}

std::string Codeplug::StampText() const {
  std::string text(WorkingImage.begin() + map::kSoftwareStamp,
                   WorkingImage.begin() + map::kSoftwareStamp + map::kStampLength);
  const bool digits =
      std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  return digits ? text : std::string(map::kStampLength, '0');
}

PatchLayout InspectPatch(const Image& image) {
  PatchLayout p;
  p.signatureOk = std::equal(kPatchSignatureText.begin(), kPatchSignatureText.end(),
                             image.begin() + map::kPatchSignature);
  p.start = static_cast<std::uint16_t>(image[map::kPatchStart] << 8 | image[map::kPatchStart + 1]);
  p.length =
      static_cast<std::uint16_t>(image[map::kPatchLength] << 8 | image[map::kPatchLength + 1]);
  p.headerOk = image[map::kPatchHeaderCheck] ==
               InvertedSum8(&image[map::kPatchHeader], map::kPatchHeaderSummed);
  p.fits = p.length >= map::kPatchTrailer && std::size_t(p.start) + p.length <= map::kImageSize;
  if (p.fits) {
    const std::size_t end = std::size_t(p.start) + p.length; // one past the block
    const std::uint16_t stored = static_cast<std::uint16_t>(image[end - 2] << 8 | image[end - 1]);
    p.blockOk = stored == InvertedSum16(&image[p.start], p.length - 2);
    p.version = image[end - map::kPatchTrailer];
  }
  return p;
}

} // namespace pw
