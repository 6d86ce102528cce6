// SPDX-License-Identifier: GPL-3.0-or-later
// The checks a loaded codeplug file must pass, and what accepting it changes.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "codeplug/codeplug.h"
#include "files/data_file.h"

namespace pw {
namespace {

using Mutation = std::function<void(Image&)>;

void SetStamp(Image& image, const char* digits) {
  std::memcpy(image.data() + map::kSoftwareStamp, digits, map::kStampLength);
}

// Rewrites the patch header with a correct check byte.
void SetPatchHeader(Image& image, std::uint16_t start, std::uint16_t length) {
  image[map::kPatchHeader] = static_cast<std::uint8_t>(start >> 8);
  image[map::kPatchHeader + 1] = static_cast<std::uint8_t>(start);
  image[map::kPatchHeader + 2] = static_cast<std::uint8_t>(length >> 8);
  image[map::kPatchHeader + 3] = static_cast<std::uint8_t>(length);
  unsigned sum = 0;
  for (int i = 0; i < 6; ++i) sum += image[map::kPatchHeader + i];
  image[map::kPatchHeaderCheck] = static_cast<std::uint8_t>(~sum);
}

Image DefaultFileImage() { return Codeplug().WorkingImage; }

struct LoadCase {
  const char* name;
  Mutation mutate;
  std::string text; // empty: accepted
  std::string caption = {};
  bool resetGauge = false;
};

const std::string kPocsag = "Pager ID is POCSAG,Please load file again";
const std::string kPagerIdError = "PAGER ID ERROR,Please Update Codeplug file";
const std::string kLater =
    "This codeplug has been saved with a later\nPPS version. It cannot be load by this PPS.";
const std::string kFamily3 = "File Data Error,please Load new file codeplug or Read Pager again.";
const std::string kBandPair =
    "EEPROM Data Error,please\ncontact service center for further information.";
const std::string kNoPatch = "The file does not have data, Please Update File";
const std::string kHeader = "The file Data Error, Please Update file.";
const std::string kBlock = "The file data Error, Please Update File";

auto Band(std::uint8_t byte) {
  return [byte](Image& i) { i[map::kBandByte] = byte; };
}
auto PagerId(std::uint8_t b0, std::uint8_t b1) {
  return [b0, b1](Image& i) {
    i[map::kPagerId] = b0;
    i[map::kPagerId + 1] = b1;
  };
}

const LoadCase kLoadCases[] = {
    {"the default codeplug loads", [](Image&) {}, ""},
    {"complementary pager ID 55/AA loads", PagerId(0x55, 0xAA), ""},
    {"POCSAG pager ID is refused", PagerId(0x0F, 0xF0), kPocsag},
    {"broken pager ID without the 0x78 packet is refused",
     [](Image& i) {
       PagerId(0x12, 0x34)(i);
       i[map::kMarker] = 0x77;
     },
     kPagerIdError},
    {"version 010210 is refused", [](Image& i) { SetStamp(i, "010210"); }, kLater, "Warning"},
    {"version 999999 is refused", [](Image& i) { SetStamp(i, "999999"); }, kLater, "Warning"},
    {"version 010209 loads", [](Image& i) { SetStamp(i, "010209"); }, ""},
    {"version 000100 loads", [](Image& i) { SetStamp(i, "000100"); }, ""},
    {"non-digit version 0102A9 loads", [](Image& i) { SetStamp(i, "0102A9"); }, ""},
    {"band family 3 is refused", Band(0x06), kFamily3},
    {"900 MHz with sub-band 1 is refused", Band(0x08), kBandPair},
    {"VHF with sub-band 0 is refused", Band(0x02), kBandPair},
    {"VHF with sub-band 4 is refused", Band(0x22), kBandPair},
    {"VHF with sub-band 5 is refused", Band(0x2A), kBandPair},
    {"UHF with sub-band 3 is refused", Band(0x1C), kBandPair},
    {"UHF with sub-band 7 is refused", Band(0x3C), kBandPair},
    {"VHF sub-band 7 with narrow band and 2.5 kHz step loads", Band(0xFA), ""},
    {"UHF sub-band 5 loads", Band(0x2C), ""},
    {"missing PATCH marker is refused", [](Image& i) { i[map::kPatchSignature + 4] = 'X'; },
     kNoPatch},
    {"wrong header check is refused", [](Image& i) { i[map::kPatchHeaderCheck] ^= 0x01; },
     kHeader},
    {"wrong block checksum is refused and resets the gauge",
     [](Image& i) { i[map::kPatchCode + 3] ^= 0x01; }, kBlock, "", true},
    {"block reaching past the image is refused", [](Image& i) { SetPatchHeader(i, 0x7FE, 4); },
     kHeader},
    {"block with a huge length is refused", [](Image& i) { SetPatchHeader(i, 0x600, 0xFFFF); },
     kHeader},
    {"block shorter than its checksum is refused", [](Image& i) { SetPatchHeader(i, 0x600, 2); },
     kHeader},
    {"block over the patch header is refused", [](Image& i) { SetPatchHeader(i, 0x200, 8); },
     kHeader},
    {"the pager ID is checked before the version",
     [](Image& i) {
       PagerId(0x0F, 0xF0)(i);
       SetStamp(i, "999999");
     },
     kPocsag},
};

TEST(DataFileLoad, ChecksEveryFileImage) {
  for (const LoadCase& c : kLoadCases) {
    Image image = DefaultFileImage();
    c.mutate(image);
    const LoadedFile loaded = CheckFileImage(image);
    if (c.text.empty()) {
      EXPECT_TRUE(loaded.ok) << c.name << ": " << loaded.message.text;
      EXPECT_EQ(loaded.image, image) << c.name;
    } else {
      EXPECT_FALSE(loaded.ok) << c.name;
      EXPECT_EQ(loaded.message.text, c.text) << c.name;
      EXPECT_EQ(loaded.message.caption, c.caption) << c.name;
    }
    EXPECT_EQ(loaded.resetGauge, c.resetGauge) << c.name;
  }
}

TEST(DataFileLoad, BrokenPagerIdWithThe78PacketBecomesFlex) {
  Image image = DefaultFileImage();
  PagerId(0x12, 0x34)(image);
  ASSERT_EQ(image[map::kMarker], 0x78);
  const LoadedFile loaded = CheckFileImage(image);
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(loaded.image[map::kPagerId], 0xF0);
  EXPECT_EQ(loaded.image[map::kPagerId + 1], 0x0F);
}

TEST(DataFileLoad, ReportsVersionBandAndPatchOfTheFile) {
  Image image = DefaultFileImage();
  SetStamp(image, "000100");
  image[map::kBandByte] = 0x32; // VHF, sub-band 6
  // A six-byte block at 0x600 carrying patch version 5.
  const std::uint8_t block[] = {0x11, 0x22, 0x33, 0x05, 0xFF, 0x94};
  std::memcpy(image.data() + map::kPatchCode, block, sizeof block);
  SetPatchHeader(image, 0x600, 6);
  const LoadedFile loaded = CheckFileImage(image);
  ASSERT_TRUE(loaded.ok) << loaded.message.text;
  EXPECT_EQ(loaded.versionText, "000100");
  EXPECT_EQ(CodeplugVersionLabel(loaded.versionText), "R000100");
  EXPECT_EQ(loaded.bandFamily, 1);
  EXPECT_EQ(loaded.subBand, 6);
  EXPECT_EQ(loaded.patchVersion, 5);

  SetStamp(image, "01x209");
  EXPECT_EQ(CheckFileImage(image).versionText, "000000");
}

TEST(DataFileLoad, AcceptingReplacesTheCodeplugState) {
  Codeplug cp;
  cp.PatchVersion = 6;
  cp.ImageFirmwareVersion = 10209;
  cp.OutOfRangeTimerEdited = true;
  cp.LedStayOnCapable = false;
  Image image = DefaultFileImage();
  image[map::kBandByte] = 0x2C; // UHF 460-470
  image[map::kFeatureFlags] = 0x01;
  image[map::kSerialNumber] = 'Q';
  const LoadedFile loaded = CheckFileImage(image);
  ASSERT_TRUE(loaded.ok);
  AcceptLoadedFile(cp, loaded);
  EXPECT_EQ(cp.WorkingImage[map::kSerialNumber], 'Q');
  EXPECT_EQ(cp.PatchVersion, 2);
  EXPECT_EQ(cp.ImageFirmwareVersion, 0u);
  EXPECT_FALSE(cp.OutOfRangeTimerEdited);
  EXPECT_EQ(cp.CodeplugBandFamily, 2);
  EXPECT_EQ(cp.CodeplugSubBand, 5);
  EXPECT_TRUE(cp.LedStayOnCapable);
}

TEST(DataFileLoad, ARefusedFileChangesNothing) {
  Codeplug cp;
  cp.PatchVersion = 4;
  cp.ImageFirmwareVersion = 10201;
  cp.CodeplugBandFamily = 1;
  cp.CodeplugSubBand = 3;
  const Image before = cp.WorkingImage;
  Image image = DefaultFileImage();
  image[map::kBandByte] = 0x06;
  image[map::kSerialNumber] = 'Q';
  AcceptLoadedFile(cp, CheckFileImage(image));
  EXPECT_EQ(cp.WorkingImage, before);
  EXPECT_EQ(cp.PatchVersion, 4);
  EXPECT_EQ(cp.ImageFirmwareVersion, 10201u);
  EXPECT_EQ(cp.CodeplugBandFamily, 1);
  EXPECT_EQ(cp.CodeplugSubBand, 3);
}

} // namespace
} // namespace pw
