// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <vector>

#include "codeplug/codeplug.h"

namespace pw {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Slice(const Image& image, std::size_t offset, std::size_t count) {
  return Bytes(image.begin() + offset, image.begin() + offset + count);
}

Image DecodedDefaultText() {
  Image image{};
  DecodeHexText(DefaultImageText(), image.data(), 0x200);
  return image;
}

// ---- Built-in default ---------------------------------------------------------------------

TEST(DefaultImage, TextCarriesPageChecksumsThatMatchItsBytes) {
  const Image text = DecodedDefaultText();
  EXPECT_EQ(InvertedSum16(&text[0x000], 0xFE), 0xEB38);
  EXPECT_EQ(InvertedSum16(&text[0x100], 0xFD), 0xE31A);
  EXPECT_EQ(Slice(text, 0x0FE, 2), (Bytes{0xEB, 0x38}));
  EXPECT_EQ(Slice(text, 0x1FD, 2), (Bytes{0xE3, 0x1A}));
}

TEST(DefaultImage, PacketsAndAlertBlocksAsTabulated) {
  const Image text = DecodedDefaultText();
  EXPECT_EQ(Slice(text, 0x000, 16), (Bytes{0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x11, 0x8A, 0x5C,
                                           0x80, 0x9B, 0x12, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(
      Slice(text, 0x010, 0x36),
      (Bytes{0x23, 0x00, 0x78, 0x00, 0x04, 0x05, 0x80, 0x13, 0x56, 0x80, 0x81, 0x00, 0x00, 0x00,
             0x82, 0x13, 0x56, 0x81, 0x83, 0x00, 0x00, 0x00, 0x84, 0x13, 0x56, 0x82, 0x85, 0x00,
             0x00, 0x00, 0x86, 0x13, 0x56, 0x83, 0x87, 0x00, 0x00, 0x00, 0x88, 0x13, 0x56, 0x84,
             0x89, 0x00, 0x00, 0x00, 0x8A, 0x13, 0x56, 0x85, 0x8B, 0x00, 0x00, 0x00}));
  EXPECT_EQ(Slice(text, 0x090, 16), (Bytes{0x00, 0x01, 0x1B, 0x80, 0x00, 0x01, 0x01, 0x02, 0x03,
                                           0x98, 0x02, 0x00, 0x00, 0x41, 0x00, 0x00}));
  EXPECT_EQ(Slice(text, 0x187, 11),
            (Bytes{0x14, 0x02, 0xFF, 0x01, 0x01, 0x18, 0xAA, 0xAA, 0x55, 0x55, 0x00}));
  EXPECT_EQ(Slice(text, 0x1A0, 32),
            (Bytes{0x00, 0x00, 0x04, 0x04, 0xF0, 0x01, 0x86, 0x1D, 0x18, 0xCC, 0x02,
                   0x00, 0x4B, 0x02, 0x0D, 0x6A, 0x66, 0x62, 0x59, 0x6E, 0x6A, 0x66,
                   0x5D, 0x79, 0x76, 0x6D, 0x68, 0x2F, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(Slice(text, 0x1E0, 32),
            (Bytes{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x09, 0x5E, 0x5A, 0x50,
                   0x4A, 0x00, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30,
                   0x30, 0x30, 0x31, 0x30, 0x32, 0x30, 0x34, 0xE3, 0x1A, 0x00}));
  for (std::size_t o = 0x0A0; o < 0x0FE; ++o)
    ASSERT_EQ(text[o], 0) << std::hex << o;
  for (std::size_t o = 0x1C0; o < 0x1E0; ++o)
    ASSERT_EQ(text[o], 0) << std::hex << o;
}

TEST(DefaultImage, FramePacketsOptionPacketsAndAlertBlocksAsListed) {
  const Image text = DecodedDefaultText();
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(Slice(text, 0x046 + 4 * i, 4), (Bytes{std::uint8_t(0x20 + i), 0x00, 0x01, 0x00}))
        << "frame packet " << i;
  const Bytes optionPackets[12] = {
      {0x10, 0x00, 0x00, 0x80}, {0x11, 0x80, 0x00, 0x00}, {0x12, 0x80, 0x11, 0x70},
      {0x13, 0x00, 0x00, 0x00}, {0x14, 0x00, 0x00, 0x00}, {0x15, 0x00, 0x00, 0x00},
      {0x16, 0x00, 0x03, 0x02}, {0x17, 0x00, 0x13, 0x00}, {0x18, 0x00, 0x01, 0x00},
      {0x19, 0x00, 0x11, 0x00}, {0x1A, 0x80, 0x00, 0x01}, {0x1B, 0x80, 0x00, 0x01}};
  for (int i = 0; i < 12; ++i)
    EXPECT_EQ(Slice(text, 0x066 + 4 * i, 4), optionPackets[i]) << "option packet " << i;

  // Codes A-E: default alert, vibrate, beep and LED; time 25, cadence 0x55, four repeats.
  Bytes blockAtoE = {0x1D, 0x18, 0x55, 0x04, 0x01, 0x18, 0xAA, 0xAA, 0x55, 0x55, 0x08};
  blockAtoE.resize(27, 0x00);
  Bytes blockF = {0x14, 0x02, 0xFF, 0x01, 0x01, 0x18, 0xAA, 0xAA, 0x55, 0x55, 0x00};
  blockF.resize(27, 0x00);
  for (int k = 1; k <= 6; ++k)
    EXPECT_EQ(Slice(text, map::AlertBlock(k), 27), k < 6 ? blockAtoE : blockF) << "code " << k;
}

TEST(DefaultImage, PatchRegionHoldsSignatureHeaderAndLevelTwoPatch) {
  const Codeplug cp;
  const Image& d = cp.DefaultImage;
  EXPECT_EQ(Slice(d, 0x200, 14),
            (Bytes{'P', 'A', 'T', 'C', 'H', 0x06, 0x00, 0x00, 0x04, 0x08, 0x3C, 0xB1, 0xF0, 0x0F}));
  EXPECT_EQ(Slice(d, 0x600, 4), (Bytes{0x60, 0x02, 0xFF, 0x9D}));
  for (std::size_t o = 0x20E; o < 0x800; ++o) {
    if (o >= 0x600 && o < 0x604)
      continue;
    ASSERT_EQ(d[o], 0x60) << std::hex << o;
  }
}

TEST(DefaultImage, StartUpAdjustmentsOverTheText) {
  const Codeplug cp;
  const Image text = DecodedDefaultText();
  const Image& d = cp.DefaultImage;
  EXPECT_EQ(d[0x097], 0x03); // the text has 02
  EXPECT_EQ(Slice(d, 0x1AB, 4), (Bytes{0x00, 0x4B, 0x02, 0x0D}));
  for (std::size_t o = 0; o < 0x200; ++o)
    if (o != 0x097) {
      ASSERT_EQ(d[o], text[o]) << std::hex << o;
    }
  EXPECT_EQ(cp.CodeplugBandFamily, 0);
  EXPECT_EQ(cp.CodeplugSubBand, 0);
  EXPECT_TRUE(cp.LedStayOnCapable);
  EXPECT_EQ(cp.PatchVersion, 0);
  EXPECT_EQ(cp.ImageFirmwareVersion, 0u);
}

TEST(DefaultImage, WorkingImageIsTheDefaultStampedWithThisSoftware) {
  const Codeplug cp;
  EXPECT_EQ(Slice(cp.DefaultImage, 0x1F7, 6), (Bytes{'0', '1', '0', '2', '0', '4'}));
  EXPECT_EQ(Slice(cp.WorkingImage, 0x1F7, 6), (Bytes{'0', '1', '0', '2', '0', '9'}));
  EXPECT_EQ(cp.StampText(), "010209");
  for (std::size_t o = 0; o < map::kImageSize; ++o)
    if (o < 0x1F7 || o > 0x1FC) {
      ASSERT_EQ(cp.WorkingImage[o], cp.DefaultImage[o]) << std::hex << o;
    }
}

TEST(DefaultImage, DerivedRadioQuantities) {
  const Codeplug cp;
  EXPECT_EQ(cp.Rf.IfOffset, 45000000u);
  EXPECT_EQ(cp.Rf.ReferenceFrequency, 12800000u);
  EXPECT_EQ(cp.Rf.PllIcOption, 1);
  EXPECT_EQ(cp.Rf.Multiplier[0], 4);
  EXPECT_EQ(cp.Rf.ChannelStep, 12500u);
  EXPECT_FALSE(cp.Rf.HighSideInjection);
}

TEST(PageChecksums, RecomputedAfterStartUpChanges) {
  Codeplug cp;
  cp.UpdatePageChecksums();
  // 0x097 went 02 -> 03 and the stamp "010204" -> "010209".
  EXPECT_EQ(Slice(cp.WorkingImage, 0x0FE, 2), (Bytes{0xEB, 0x37}));
  EXPECT_EQ(Slice(cp.WorkingImage, 0x1FD, 2), (Bytes{0xE3, 0x15}));
}

TEST(PageChecksums, NeverCoverTheirOwnBytesNorByte1FF) {
  Codeplug cp;
  cp.UpdatePageChecksums();
  const Image before = cp.WorkingImage;
  cp.At(0x0FE) = 0x12;
  cp.At(0x0FF) = 0x34;
  cp.At(0x1FD) = 0x56;
  cp.At(0x1FE) = 0x78;
  cp.At(0x1FF) = 0x9A;
  cp.UpdatePageChecksums();
  EXPECT_EQ(Slice(cp.WorkingImage, 0x0FE, 2), Slice(before, 0x0FE, 2));
  EXPECT_EQ(Slice(cp.WorkingImage, 0x1FD, 2), Slice(before, 0x1FD, 2));
}

// ---- RF option normalisation -----------------------------------------------------------------

struct RfCase {
  const char* name;
  std::uint8_t band, o1, o2;
  std::uint8_t wantO1, wantO2, wantBand;
};
void PrintTo(const RfCase& c, std::ostream* os) {
  *os << c.name;
}

class RfNormalisation : public testing::TestWithParam<RfCase> {};

TEST_P(RfNormalisation, BringsOptionBytesIntoALegalCombination) {
  const RfCase& c = GetParam();
  Codeplug cp;
  cp.At(map::kBandByte) = c.band;
  cp.At(map::kRfOption1) = c.o1;
  cp.At(map::kRfOption2) = c.o2;
  cp.NormalizeRfOptions();
  EXPECT_EQ(cp.At(map::kRfOption1), c.wantO1);
  EXPECT_EQ(cp.At(map::kRfOption2), c.wantO2);
  EXPECT_EQ(cp.At(map::kBandByte), c.wantBand);
}

// Band bytes: 0x00 family 0; 0x0A VHF sub-band 1; 0x32 VHF sub-band 6; 0x24 UHF sub-band 4.
INSTANTIATE_TEST_SUITE_P(
    Cases, RfNormalisation,
    testing::Values(RfCase{"ZerosIn929Band", 0x00, 0x00, 0x00, 0x9B, 0x12, 0x00},
                    RfCase{"ZerosInVhf", 0x0A, 0x00, 0x00, 0x39, 0x42, 0x0A},
                    RfCase{"ZerosInLowVhfInjectHighSide", 0x32, 0x00, 0x00, 0x39, 0x62, 0x32},
                    RfCase{"ZerosInUhf", 0x24, 0x00, 0x00, 0x3B, 0x42, 0x24},
                    RfCase{"NewOne929", 0x00, 0x11, 0x04, 0x9D, 0x04, 0x00},
                    RfCase{"NewOneVhfKeepsSearchFlags", 0x0A, 0x11, 0x07, 0x28, 0x07, 0x0A},
                    RfCase{"NewOneLowVhfInjectHighSide", 0x32, 0x11, 0x04, 0x28, 0x24, 0x32},
                    RfCase{"NewOneUhf", 0x24, 0x11, 0x04, 0x3B, 0x04, 0x24},
                    RfCase{"Mb15e03In929", 0x00, 0x11, 0x14, 0x89, 0x16, 0x00},
                    RfCase{"Mb15e03VhfForcesFineStep", 0x0A, 0x11, 0x14, 0x20, 0x56, 0x8A},
                    RfCase{"Mb15e03LowVhf", 0x32, 0x11, 0x14, 0x20, 0x76, 0xB2},
                    RfCase{"Mb15e03Uhf", 0x24, 0x11, 0x14, 0x20, 0x56, 0xA4},
                    RfCase{"Sm5170In929", 0x00, 0x11, 0x10, 0x9B, 0x12, 0x00},
                    RfCase{"Sm5170VhfUntouched", 0x0A, 0x55, 0x10, 0x55, 0x10, 0x0A},
                    RfCase{"Fs8107In929Untouched", 0x00, 0x9B, 0x00, 0x9B, 0x00, 0x00},
                    RfCase{"Fs8107Vhf", 0x0A, 0x11, 0x81, 0x39, 0x42, 0x0A},
                    RfCase{"NoBandFamilyOnlyTypeBits", 0x06, 0x11, 0x14, 0x11, 0x14, 0x06}),
    [](const testing::TestParamInfo<RfCase>& info) { return std::string(info.param.name); });

TEST(RfNormalisation, StepTwoAloneLeavesZerosAndDerivedQuantities) {
  Codeplug cp;
  cp.At(map::kRfOption1) = 0x00;
  cp.At(map::kRfOption2) = 0x00;
  cp.NormalizeRfOptionsStep2(); // family 0, type FS8107: nothing to set
  EXPECT_EQ(cp.At(map::kRfOption1), 0x00);
  EXPECT_EQ(cp.At(map::kRfOption2), 0x00);
  EXPECT_EQ(cp.Rf.IfOffset, 45000000u);
  EXPECT_EQ(cp.Rf.PllIcOption, 1);
}

struct DeriveCase {
  const char* name;
  std::uint8_t band, o1, o2;
  std::uint32_t ifOffset, step, reference;
  int family, multiplier;
  bool highSide;
  int pll;
};
void PrintTo(const DeriveCase& c, std::ostream* os) {
  *os << c.name;
}

class RfDerivation : public testing::TestWithParam<DeriveCase> {};

TEST_P(RfDerivation, QuantitiesFromOptionAndBandBytes) {
  const DeriveCase& c = GetParam();
  Codeplug cp; // IF 45 MHz before the derivation
  cp.At(map::kBandByte) = c.band;
  cp.At(map::kRfOption1) = c.o1;
  cp.At(map::kRfOption2) = c.o2;
  cp.DeriveRfQuantities();
  EXPECT_EQ(cp.Rf.IfOffset, c.ifOffset);
  EXPECT_EQ(cp.Rf.ChannelStep, c.step);
  EXPECT_EQ(cp.Rf.ReferenceFrequency, c.reference);
  EXPECT_EQ(cp.Rf.Multiplier[c.family], c.multiplier);
  EXPECT_EQ(cp.Rf.HighSideInjection, c.highSide);
  EXPECT_EQ(cp.Rf.PllIcOption, c.pll);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RfDerivation,
    testing::Values(
        DeriveCase{"If179Step5000", 0x0A, 0x07, 0x10, 17900000, 5000, 12800000, 1, 8, false, 1},
        DeriveCase{"If214Step6250", 0x0A, 0x28, 0x24, 21400000, 6250, 12800000, 1, 1, true, 2},
        DeriveCase{"If217Step7500Ref2095", 0x0A, 0x51, 0x50, 21700000, 7500, 20950000, 1, 2, false,
                   1},
        DeriveCase{"If14575Ref168", 0x24, 0x79, 0x90, 14575000, 12500, 16800000, 2, 2, false, 1},
        DeriveCase{"If45Ref120", 0x00, 0x9B, 0xD0, 45000000, 12500, 12000000, 0, 4, false, 1},
        DeriveCase{"LargeIfCodeKeepsPreviousIf", 0x0A, 0xB9, 0x10, 45000000, 12500, 12800000, 1, 2,
                   false, 1},
        DeriveCase{"BandBit7ForcesFineStep", 0x8A, 0x59, 0x10, 21700000, 2500, 12800000, 1, 2,
                   false, 1},
        DeriveCase{"NewOneVhfUses6250", 0x0A, 0x39, 0x04, 21400000, 6250, 12800000, 1, 2, false, 2},
        DeriveCase{"NewOneUhfUses12500", 0x24, 0x01, 0x04, 17900000, 12500, 12800000, 2, 2, false,
                   2},
        DeriveCase{"Mb15e03Uses2500", 0x24, 0x20, 0x56, 21400000, 2500, 20950000, 2, 1, false, 3},
        DeriveCase{"LowVhfHighSide", 0x32, 0x39, 0x62, 21400000, 12500, 20950000, 1, 2, true, 0}),
    [](const testing::TestParamInfo<DeriveCase>& info) { return std::string(info.param.name); });

TEST(RfDerivation, MultiplierKeptPerFamily) {
  Codeplug cp;
  cp.At(map::kBandByte) = 0x0A;
  cp.At(map::kRfOption1) = 0x3E; // multiplier 7
  cp.At(map::kRfOption2) = 0x10;
  cp.DeriveRfQuantities();
  EXPECT_EQ(cp.Rf.Multiplier, (std::array<int, 3>{4, 7, 1}));
}

TEST(RfDerivation, BandFamilyThreeStoresNoMultiplier) {
  Codeplug cp;
  cp.At(map::kBandByte) = 0x06;
  cp.At(map::kRfOption1) = 0x07;
  cp.DeriveRfQuantities();
  EXPECT_EQ(cp.Rf.Multiplier, (std::array<int, 3>{4, 1, 1}));
}

// ---- Forced bytes and restored ranges --------------------------------------------------------

TEST(ForcedBytes, OptionPacketBytesForced) {
  Codeplug cp;
  cp.WorkingImage.fill(0xAA);
  cp.ApplyForcedBytes();
  EXPECT_EQ(Slice(cp.WorkingImage, 0x06C, 6), (Bytes{0x00, 0x00, 0xAA, 0xAA, 0x11, 0x70}));
  EXPECT_EQ(Slice(cp.WorkingImage, 0x090, 8),
            (Bytes{0x00, 0xAA, 0xAA, 0xAA, 0x00, 0xAA, 0xAA, 0x03}));
}

TEST(ForcedBytes, DefaultRangesRestoredAndEditableBytesKept) {
  Codeplug cp;
  cp.WorkingImage.fill(0xAA);
  cp.RestoreForcedDefaultRanges();
  struct Probe {
    std::uint16_t offset;
    bool restored;
  };
  const Probe probes[] = {
      {0x000, true},  {0x003, true},  {0x004, false}, {0x00B, false}, {0x00C, true},
      {0x013, true},  {0x014, false}, {0x015, false}, {0x016, true},  {0x017, false},
      {0x019, false}, {0x01A, true},  {0x042, true},  {0x043, false}, {0x045, false},
      {0x046, true},  {0x047, true},  {0x048, false}, {0x063, true},  {0x064, false},
      {0x065, false}, {0x066, true},  {0x097, true},  {0x098, false}, {0x099, true},
      {0x0FD, true},  {0x0FE, false}, {0x100, false}, {0x1BB, false}, {0x1BC, true},
      {0x1E3, true},  {0x1E4, false}, {0x1F7, false}, {0x600, false},
  };
  for (const Probe& p : probes) {
    const std::uint8_t want = p.restored ? cp.DefaultImage[p.offset] : 0xAA;
    EXPECT_EQ(cp.WorkingImage[p.offset], want) << std::hex << p.offset;
  }
}

// ---- Helpers ---------------------------------------------------------------------------------

TEST(ImageHelpers, StampTextNeedsSixDigits) {
  Codeplug cp;
  cp.At(0x1FC) = 'x';
  EXPECT_EQ(cp.StampText(), "000000");
  cp.StampSoftwareVersion();
  EXPECT_EQ(cp.StampText(), "010209");
}

TEST(ImageHelpers, InvertedSums) {
  const std::uint8_t header[] = {0x06, 0x00, 0x00, 0x04, 0x08, 0x3C};
  EXPECT_EQ(InvertedSum8(header, 6), 0xB1);
  const std::uint8_t block[] = {0x60, 0x02};
  EXPECT_EQ(InvertedSum16(block, 2), 0xFF9D);
  std::vector<std::uint8_t> big(600, 0xFF); // 600 x 255 = 153000 wraps past 16 bits
  EXPECT_EQ(InvertedSum16(big.data(), big.size()), static_cast<std::uint16_t>(~153000u));
}

TEST(HexText, CharacterRule) {
  EXPECT_EQ(DecodeHexPair('0', '0'), 0x00);
  EXPECT_EQ(DecodeHexPair('9', 'A'), 0x9A);
  EXPECT_EQ(DecodeHexPair('F', 'F'), 0xFF);
  EXPECT_EQ(DecodeHexPair('E', 'B'), 0xEB);
  // Lower case is not hex to this rule: 'f' counts 47.
  EXPECT_EQ(DecodeHexPair('f', 'f'), 0x1F);
}

TEST(HexText, ShortTextDecodesOnlyWholePairs) {
  std::uint8_t out[4] = {0x11, 0x11, 0x11, 0x11};
  DecodeHexText("A1B2C", out, 4);
  EXPECT_EQ(Bytes(out, out + 4), (Bytes{0xA1, 0xB2, 0x11, 0x11}));
}

// ---- Patch sets and patch inspection ---------------------------------------------------------

struct PatchCase {
  int set;
  Bytes header;
  Bytes begins;
  int length;
  int version;
};
void PrintTo(const PatchCase& c, std::ostream* os) {
  *os << "set " << c.set;
}

class BuiltInPatches : public testing::TestWithParam<PatchCase> {};

TEST_P(BuiltInPatches, HeaderBlockChecksumAndVersion) {
  const PatchCase& c = GetParam();
  const PatchSet p = Codeplug::BuiltInPatchSet(c.set);
  ASSERT_NE(p.code, nullptr);
  ASSERT_EQ(p.length, c.length);
  EXPECT_EQ(Bytes(p.header.begin(), p.header.end()), c.header);
  EXPECT_EQ(p.header[6], InvertedSum8(p.header.data(), 6));
  EXPECT_EQ(Bytes(p.code, p.code + c.begins.size()), c.begins);
  const std::uint16_t stored =
      static_cast<std::uint16_t>(p.code[p.length - 2] << 8 | p.code[p.length - 1]);
  EXPECT_EQ(stored, InvertedSum16(p.code, p.length - 2));
  EXPECT_EQ(p.code[p.length - 3], c.version);
  if (c.set >= 2) {
    Bytes decoded(320);
    DecodeHexText(PatchBlockText(c.set), decoded.data(), decoded.size());
    EXPECT_EQ(Bytes(p.code, p.code + p.length), decoded);
  }
}

const Bytes kShortHeader = {0x06, 0x00, 0x00, 0x04, 0x08, 0x3C, 0xB1};
const Bytes kBlockHeader = {0x06, 0x00, 0x01, 0x40, 0x07, 0x00, 0xB1};

INSTANTIATE_TEST_SUITE_P(
    Sets, BuiltInPatches,
    testing::Values(PatchCase{0, kShortHeader, {0x60, 0x02, 0xFF, 0x9D}, 4, 2},
                    PatchCase{1, kShortHeader, {0x60, 0x02, 0xFF, 0x9D}, 4, 2},
                    PatchCase{2, kBlockHeader, {0xC9, 0x19, 0xD0, 0x09, 0xE7, 0x6D, 0x5E}, 320, 4},
                    PatchCase{3, kBlockHeader, {0xC9, 0x0B, 0xD0, 0x07, 0x97, 0x06}, 320, 4},
                    PatchCase{4, kBlockHeader, {0xC9, 0x19, 0xD0, 0x09, 0xE7, 0x6D, 0x29}, 320, 3},
                    PatchCase{5, kBlockHeader, {0xC9, 0x0B, 0xD0, 0x07, 0x97, 0x06}, 320, 4},
                    PatchCase{6, kBlockHeader, {0xC9, 0x19, 0xD0, 0x09, 0xE7, 0x6D, 0x60}, 320, 4},
                    PatchCase{7, kBlockHeader, {0xC9, 0x0B, 0xD0, 0x07, 0x97, 0x06}, 320, 4}),
    [](const testing::TestParamInfo<PatchCase>& info) {
      return "Set" + std::to_string(info.param.set);
    });

TEST(BuiltInPatches, UnknownSetHasNoCode) {
  EXPECT_EQ(Codeplug::BuiltInPatchSet(8).code, nullptr);
  EXPECT_EQ(Codeplug::BuiltInPatchSet(-1).length, 0);
  EXPECT_TRUE(PatchBlockText(1).empty());
}

TEST(InspectPatch, DefaultImageIsSound) {
  const Codeplug cp;
  const PatchLayout p = InspectPatch(cp.WorkingImage);
  EXPECT_TRUE(p.signatureOk);
  EXPECT_TRUE(p.headerOk);
  EXPECT_TRUE(p.fits);
  EXPECT_TRUE(p.blockOk);
  EXPECT_EQ(p.start, 0x600);
  EXPECT_EQ(p.length, 4);
  EXPECT_EQ(p.version, 2);
}

TEST(InspectPatch, BlockOfSetSixCarriesVersionFour) {
  Codeplug cp;
  const PatchSet s = Codeplug::BuiltInPatchSet(6);
  std::copy(s.header.begin(), s.header.end(), cp.WorkingImage.begin() + 0x205);
  std::copy(s.code, s.code + s.length, cp.WorkingImage.begin() + 0x600);
  const PatchLayout p = InspectPatch(cp.WorkingImage);
  EXPECT_TRUE(p.headerOk && p.fits && p.blockOk);
  EXPECT_EQ(p.length, 320);
  EXPECT_EQ(p.version, 4);
}

struct LayoutCase {
  const char* name;
  Bytes header; // 0x205-0x20A; the check byte is made to match
  bool fits;
  bool blockOk;
};
void PrintTo(const LayoutCase& c, std::ostream* os) {
  *os << c.name;
}

class PatchFit : public testing::TestWithParam<LayoutCase> {};

TEST_P(PatchFit, NeverReadsPastTheImage) {
  const LayoutCase& c = GetParam();
  Codeplug cp;
  std::copy(c.header.begin(), c.header.end(), cp.WorkingImage.begin() + 0x205);
  cp.At(0x20B) = InvertedSum8(c.header.data(), 6);
  const PatchLayout p = InspectPatch(cp.WorkingImage);
  EXPECT_TRUE(p.headerOk);
  EXPECT_EQ(p.fits, c.fits);
  EXPECT_EQ(p.blockOk, c.blockOk);
  if (!p.fits) {
    EXPECT_EQ(p.version, 0);
  }
}

// The tail of the image is 0x60 fill: a 3-byte block of fill at 0x7FD sums to 0x60, so its
// checksum would have to be FF 9F.
INSTANTIATE_TEST_SUITE_P(
    Cases, PatchFit,
    testing::Values(
        LayoutCase{"EndsExactlyAtImageEnd", {0x07, 0xFD, 0x00, 0x03, 0x08, 0x3C}, true, false},
        LayoutCase{"OneBytePastImageEnd", {0x07, 0xFE, 0x00, 0x03, 0x08, 0x3C}, false, false},
        LayoutCase{"HugeLength", {0x06, 0x00, 0xFF, 0xFF, 0x08, 0x3C}, false, false},
        LayoutCase{"HugeStart", {0xFF, 0xFF, 0x00, 0x04, 0x08, 0x3C}, false, false},
        LayoutCase{"LengthTwoTooShort", {0x06, 0x00, 0x00, 0x02, 0x08, 0x3C}, false, false},
        LayoutCase{"LengthZero", {0x06, 0x00, 0x00, 0x00, 0x08, 0x3C}, false, false}),
    [](const testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.name); });

TEST(InspectPatch, DamageIsSeen) {
  Codeplug cp;
  cp.At(0x20B) ^= 0x01;
  cp.At(0x601) = 0x03;
  cp.At(0x202) = 'X';
  const PatchLayout p = InspectPatch(cp.WorkingImage);
  EXPECT_FALSE(p.headerOk);
  EXPECT_FALSE(p.blockOk);
  EXPECT_FALSE(p.signatureOk);
  EXPECT_TRUE(p.fits);
  EXPECT_EQ(p.version, 3);
}

} // namespace
} // namespace pw
