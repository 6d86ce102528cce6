// SPDX-License-Identifier: GPL-3.0-or-later
// Preparing the working codeplug for a save, naming the file, and reading the saved file back.
#include <gtest/gtest.h>

#include <cstring>

#include "codeplug/codeplug.h"
#include "files/data_file.h"

namespace pw {
namespace {

std::uint16_t Sum16Complement(const Image& image, std::size_t first, std::size_t count) {
  unsigned sum = 0;
  for (std::size_t i = first; i < first + count; ++i) sum += image[i];
  return static_cast<std::uint16_t>(~sum);
}

void SetPatchHeader(Image& image, std::uint16_t start, std::uint16_t length) {
  image[map::kPatchHeader] = static_cast<std::uint8_t>(start >> 8);
  image[map::kPatchHeader + 1] = static_cast<std::uint8_t>(start);
  image[map::kPatchHeader + 2] = static_cast<std::uint8_t>(length >> 8);
  image[map::kPatchHeader + 3] = static_cast<std::uint8_t>(length);
  unsigned sum = 0;
  for (int i = 0; i < 6; ++i) sum += image[map::kPatchHeader + i];
  image[map::kPatchHeaderCheck] = static_cast<std::uint8_t>(~sum);
}

const std::size_t kReservedPage1 = map::kForcedDefaultRanges.back().first;
const std::string kFat = "FAT data Error,Please Read Pager or Load Codeplug again.";
const std::string kData = "Data Error,Please Read Pager or Load Codeplug again.";

TEST(DataFileSave, PrepareForSaveForcesOptionBytesAndStamp) {
  Codeplug cp;
  for (const auto& forced : map::kForcedBytes) cp.WorkingImage[forced.offset] = 0xAA;
  std::memcpy(cp.WorkingImage.data() + map::kSoftwareStamp, "000123", 6);
  PrepareForSave(cp);
  for (const auto& forced : map::kForcedBytes)
    EXPECT_EQ(cp.WorkingImage[forced.offset], forced.value) << forced.offset;
  EXPECT_EQ(ImageVersionText(cp.WorkingImage), "010209");
}

struct RefusedSave {
  const char* name;
  void (*mutate)(Image&);
  const std::string& text;
};

const RefusedSave kRefusedSaves[] = {
    {"wrong header check", [](Image& i) { i[map::kPatchHeaderCheck] ^= 0x80; }, kFat},
    {"block reaching past the image", [](Image& i) { SetPatchHeader(i, 0x7FF, 3); }, kFat},
    {"block shorter than its checksum", [](Image& i) { SetPatchHeader(i, 0x600, 1); }, kFat},
    {"block over the patch header", [](Image& i) { SetPatchHeader(i, 0x000, 4); }, kFat},
    {"wrong block checksum", [](Image& i) { i[map::kPatchCode + 2] ^= 0x01; }, kData},
};

TEST(DataFileSave, DamagedPatchAreaIsRefusedAndLeavesTheImageAlone) {
  for (const RefusedSave& c : kRefusedSaves) {
    Codeplug cp;
    c.mutate(cp.WorkingImage);
    cp.WorkingImage[map::kImageSize - 1] = 0x11;
    cp.WorkingImage[map::kPage0Start] = 0x22;
    const Image before = cp.WorkingImage;
    Messages out;
    EXPECT_FALSE(PrepareImageForSave(cp, out)) << c.name;
    EXPECT_EQ(out, Messages{Plain(c.text)}) << c.name;
    EXPECT_EQ(cp.WorkingImage, before) << c.name;
  }
}

TEST(DataFileSave, BringsTheImageIntoItsSavedForm) {
  Codeplug cp;
  Image& image = cp.WorkingImage;
  image[map::kPatchCode + 4] = 0x11;               // after the block: filled
  image[map::kImageSize - 1] = 0x22;                             // last byte: filled
  image[map::kStandbyTime] = 0x05;                 // before the block: kept
  image[map::kPage0Start] = 0xAA;                             // fixed range: restored
  image[kReservedPage1] = 0x55;                             // fixed range: restored
  image[map::BatteryByte(9)] = 0x10;               // coarse byte follows its fine byte 0x5E
  image[map::FineVoltageByte(10)] = 0x00;          // fine byte follows its coarse byte 0x76
  image[map::kPagerId] = 0x12;
  image[map::kPagerId + 1] = 0x34;
  cp.ImageFirmwareVersion = 10209;
  PrepareForSave(cp);
  Messages out;
  ASSERT_TRUE(PrepareImageForSave(cp, out));
  EXPECT_TRUE(out.empty());
  for (std::size_t i = map::kPatchCode + 4; i < map::kImageSize; ++i) ASSERT_EQ(image[i], 0x60) << i;
  EXPECT_EQ(image[map::kStandbyTime], 0x05);
  EXPECT_EQ(image[map::kPage0Start], 0x00);
  EXPECT_EQ(image[kReservedPage1], 0x00);
  EXPECT_EQ(image[map::BatteryByte(9)], 0x79);
  EXPECT_EQ(image[map::FineVoltageByte(10)], 0x5A);
  EXPECT_EQ(image[map::kImageFirmwareVersion], 0x01);
  EXPECT_EQ(image[map::kImageFirmwareVersion + 1], 0x02);
  EXPECT_EQ(image[map::kImageFirmwareVersion + 2], 0x09);
  EXPECT_EQ(image[map::kPagerId], 0xF0);
  EXPECT_EQ(image[map::kPagerId + 1], 0x0F);
  EXPECT_EQ(image[map::kPage0ChecksumHi] << 8 | image[map::kPage0ChecksumLo],
            Sum16Complement(image, 0x000, 0xFE));
  EXPECT_EQ(image[map::kPage1ChecksumHi] << 8 | image[map::kPage1ChecksumLo],
            Sum16Complement(image, 0x100, 0xFD));
}

TEST(DataFileSave, DefaultCodeplugSavesWithGoldenChecksums) {
  Codeplug cp;
  PrepareForSave(cp);
  Messages out;
  ASSERT_TRUE(PrepareImageForSave(cp, out));
  // Page 0 differs from the built-in text only in 0x097 = 3; page 1 in the stamp "010209".
  EXPECT_EQ(cp.WorkingImage[map::kPage0ChecksumHi], 0xEB);
  EXPECT_EQ(cp.WorkingImage[map::kPage0ChecksumLo], 0x37);
  EXPECT_EQ(cp.WorkingImage[map::kPage1ChecksumHi], 0xE3);
  EXPECT_EQ(cp.WorkingImage[map::kPage1ChecksumLo], 0x15);
}

TEST(DataFileSave, TimerScaleFlagFollowsThePatchVersion) {
  const struct {
    int patchVersion;
    bool flagSet;
  } cases[] = {{0, false}, {2, false}, {3, true}, {4, false}, {5, true}, {6, true}};
  for (const auto& c : cases) {
    Codeplug cp;
    cp.WorkingImage[map::kFeatureFlags] = 0x01;
    cp.PatchVersion = c.patchVersion;
    Messages out;
    ASSERT_TRUE(PrepareImageForSave(cp, out));
    EXPECT_EQ((cp.WorkingImage[map::kFeatureFlags] & 0x08) != 0, c.flagSet) << c.patchVersion;
    EXPECT_EQ(cp.WorkingImage[map::kFeatureFlags] & 0x01, 0x01);
  }
}

TEST(DataFileSave, FirmwareVersionIsStoredAsBcd) {
  const struct {
    std::uint32_t version;
    std::uint8_t bytes[3];
  } cases[] = {{0, {0x00, 0x00, 0x00}}, {10209, {0x01, 0x02, 0x09}}, {123456, {0x12, 0x34, 0x56}}};
  for (const auto& c : cases) {
    Codeplug cp;
    cp.ImageFirmwareVersion = c.version;
    Messages out;
    ASSERT_TRUE(PrepareImageForSave(cp, out));
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(cp.WorkingImage[map::kImageFirmwareVersion + i], c.bytes[i]) << c.version;
  }
}

TEST(DataFileSave, ComplementaryPagerIdIsKept) {
  Codeplug cp;
  cp.WorkingImage[map::kPagerId] = 0x55;
  cp.WorkingImage[map::kPagerId + 1] = 0xAA;
  Messages out;
  ASSERT_TRUE(PrepareImageForSave(cp, out));
  EXPECT_EQ(cp.WorkingImage[map::kPagerId], 0x55);
  EXPECT_EQ(cp.WorkingImage[map::kPagerId + 1], 0xAA);
}

TEST(DataFileSave, SavedFileLoadsBackByteForByte) {
  Codeplug saved;
  Image& image = saved.WorkingImage;
  std::memcpy(image.data() + map::kSerialNumber, "SN-0042", 7);
  image[map::kBandByte] = 0x4A; // VHF 143-153, narrow band
  image[map::kPatchCode + 9] = 0x33;
  image[map::kStandbyCadence] = 0x5A;
  saved.PatchVersion = 3;
  saved.ImageFirmwareVersion = 10201;
  PrepareForSave(saved);
  Messages out;
  ASSERT_TRUE(PrepareImageForSave(saved, out));
  const std::string text = WriteDataFile(image);

  const LoadedFile loaded = LoadDataFile(text);
  ASSERT_TRUE(loaded.ok) << loaded.message.text;
  EXPECT_EQ(loaded.image, image);
  EXPECT_EQ(loaded.image[map::kPatchCode + 9], 0x60);
  EXPECT_EQ(loaded.versionText, "010209");
  Codeplug restored;
  AcceptLoadedFile(restored, loaded);
  EXPECT_EQ(restored.WorkingImage, image);
  EXPECT_EQ(restored.CodeplugBandFamily, 1);
  EXPECT_EQ(restored.CodeplugSubBand, 1);
  EXPECT_EQ(restored.PatchVersion, 2);
}

TEST(DataFileNaming, EndsEveryNameInDotDatInTheCaseTheUserChose) {
  const struct {
    const char* chosen;
    const char* saved;
  } cases[] = {
      {"CODE.DAT", "CODE.DAT"},
      {"code", "code.dat"},
      {"code.Dat", "code.Dat"},
      {"code.daT", "code.daT"},
      {"code.dat", "code.dat"},
      {"code.txt", "code.dat"},
      {"code.", "code.dat"},
      {"code.data", "code.dat"},
      {"pager.v2.dat", "pager.v2.dat"},
      {"a.b/c", "a.b/c.dat"},
      {"sites.dat/c", "sites.dat/c.dat"},
      {"/home/tech/codeplugs/site7", "/home/tech/codeplugs/site7.dat"},
      {"C:\\Pagers\\v1.2\\site7", "C:\\Pagers\\v1.2\\site7.dat"},
      {"C:site7.DAT", "C:site7.DAT"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DataFileName(c.chosen), c.saved) << c.chosen;
    EXPECT_EQ(HasDataFileExtension(c.chosen), std::string(c.chosen) == c.saved) << c.chosen;
  }
}

TEST(DataFileNaming, OverwriteQuestionNamesTheFile) {
  const OverwriteQuestion q = OverwriteQuestionFor("/home/tech/code.dat");
  EXPECT_EQ(q.message.text, "/home/tech/code.dat already exists.\nDo you want to replace it ?\n");
  EXPECT_EQ(q.message.caption, "Save As - Warning");
  EXPECT_EQ(q.message.icon, Icon::Question);
  EXPECT_TRUE(q.defaultNo);
}

} // namespace
} // namespace pw
