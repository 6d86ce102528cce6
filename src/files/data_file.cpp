// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/data_file.h"

#include <algorithm>
#include <cctype>
#include <numeric>

#include "files/alert_fields.h"
#include "files/frequency.h"

namespace pw {

namespace {

// ---- Texts --------------------------------------------------------------------------------
constexpr std::string_view kRecordCheckFailed =
    "*** File I/O Error ***\nError checking on record failed!";
constexpr std::string_view kPagerIdPocsag = "Pager ID is POCSAG,Please load file again";
constexpr std::string_view kPagerIdError = "PAGER ID ERROR,Please Update Codeplug file";
constexpr std::string_view kLaterVersion =
    "This codeplug has been saved with a later\nPPS version. It cannot be load by this PPS.";
constexpr std::string_view kLaterVersionCaption = "Warning";
constexpr std::string_view kBandFamilyError =
    "File Data Error,please Load new file codeplug or Read Pager again.";
constexpr std::string_view kNoPatchMarker = "The file does not have data, Please Update File";
constexpr std::string_view kFileHeaderError = "The file Data Error, Please Update file.";
constexpr std::string_view kFileBlockError = "The file data Error, Please Update File";
constexpr std::string_view kSaveHeaderError =
    "FAT data Error,Please Read Pager or Load Codeplug again.";
constexpr std::string_view kSaveBlockError = "Data Error,Please Read Pager or Load Codeplug again.";
constexpr std::string_view kOverwriteSuffix = " already exists.\nDo you want to replace it ?\n";
constexpr std::string_view kOverwriteCaption = "Save As - Warning";

constexpr int kBandFamilyUnused = 3;

// ---- S-record layout ----------------------------------------------------------------------
constexpr int kRecordBytes = 16;
constexpr std::uint8_t kDataRecordCount = 0x13; // 2 address + 16 data + 1 checksum
constexpr std::uint8_t kNameRecordCount = 0x09; // 2 address + 6 name + 1 checksum
constexpr std::uint16_t kHeaderRecordAddress = 0x0000;
constexpr std::uint16_t kTerminationRecordAddress = 0x0100;
constexpr std::size_t kDataOffset = 8; // "S1", count, four address digits
constexpr std::size_t kDataDigits = 2 * kRecordBytes;
constexpr std::string_view kLineEnd = "\r\n";
static_assert(kModuleName.size() + 3 == kNameRecordCount);

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHex(std::string& out, std::uint8_t byte) {
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 0x0F];
}

// 0xFF minus the low 8 bits of the sum of count, address and data bytes.
std::uint8_t RecordChecksum(std::uint8_t count, std::uint16_t address, const std::uint8_t* data,
                            std::size_t size) {
  unsigned sum = count + (address >> 8) + (address & 0xFF);
  sum = std::accumulate(data, data + size, sum);
  return static_cast<std::uint8_t>(0xFF - (sum & 0xFF));
}

void AppendRecord(std::string& out, std::string_view type, std::uint8_t count,
                  std::uint16_t address, const std::uint8_t* data, std::size_t size) {
  out += type;
  AppendHex(out, count);
  AppendHex(out, static_cast<std::uint8_t>(address >> 8));
  AppendHex(out, static_cast<std::uint8_t>(address & 0xFF));
  for (std::size_t i = 0; i < size; ++i) AppendHex(out, data[i]);
  AppendHex(out, RecordChecksum(count, address, data, size));
  out += kLineEnd;
}

// ---- Image helpers ------------------------------------------------------------------------
bool PagerIdComplementary(const Image& image) {
  return image[map::kPagerId + 1] == static_cast<std::uint8_t>(image[map::kPagerId] ^ 0xFF);
}

void SetFlexPagerId(Image& image) {
  image[map::kPagerId] = map::kPagerIdFlex;
  image[map::kPagerId + 1] = static_cast<std::uint8_t>(map::kPagerIdFlex ^ 0xFF);
}

// A block that overlaps the signature, header or pager-ID pair, or reaches past the image,
// cannot be a patch; treating it as one would read or fill outside the patch area.
bool BlockFits(const PatchLayout& patch) {
  return patch.fits && patch.start >= map::kPagerId + 2;
}

int VersionNumber(std::string_view digits) {
  int number = 0;
  for (char c : digits) number = number * 10 + (c - '0');
  return number;
}

// Six decimal digits as packed BCD, most significant pair first.
void StoreFirmwareVersion(Image& image, std::uint32_t version) {
  version %= 1000000;
  for (int i = 2; i >= 0; --i) {
    const std::uint32_t pair = version % 100;
    version /= 100;
    image[map::kImageFirmwareVersion + i] = static_cast<std::uint8_t>(((pair / 10) << 4) | (pair % 10));
  }
}

LoadedFile Refused(std::string_view text) {
  LoadedFile result;
  result.message = Plain(std::string(text));
  return result;
}

} // namespace

// ---- S-record text ------------------------------------------------------------------------

std::string WriteDataFile(const Image& image) {
  std::string out;
  out.reserve((kDataRecords + 2) * 48);
  const auto* name = reinterpret_cast<const std::uint8_t*>(kModuleName.data());
  AppendRecord(out, "S0", kNameRecordCount, kHeaderRecordAddress, name, kModuleName.size());
  for (int k = 0; k < kDataRecords; ++k) {
    const auto address = static_cast<std::uint16_t>(k * kRecordBytes);
    AppendRecord(out, "S1", kDataRecordCount, address, image.data() + address, kRecordBytes);
  }
  AppendRecord(out, "S9", kNameRecordCount, kTerminationRecordAddress, name, kModuleName.size());
  return out;
}

std::optional<Image> ParseDataFile(std::string_view text) {
  Image image{};
  std::size_t from = 0;
  for (int k = 0; k < kDataRecords; ++k) {
    const std::size_t found = text.find("S1", from);
    if (found == std::string_view::npos) return std::nullopt;
    const std::size_t data = found + kDataOffset;
    if (text.size() < data + kDataDigits + 2) return std::nullopt; // cut record
    const auto address = static_cast<std::uint16_t>(k * kRecordBytes);
    for (int i = 0; i < kRecordBytes; ++i)
      image[address + i] = DecodeHexPair(text[data + 2 * i], text[data + 2 * i + 1]);
    std::string expected;
    AppendHex(expected, RecordChecksum(kDataRecordCount, address, image.data() + address,
                                       kRecordBytes));
    if (text.substr(data + kDataDigits, 2) != expected) return std::nullopt;
    from = data + kDataDigits + 2;
  }
  return image;
}

// ---- Load ---------------------------------------------------------------------------------

std::string ImageVersionText(const Image& image) {
  const auto first = image.begin() + map::kSoftwareStamp;
  const auto last = first + map::kStampLength;
  if (!std::all_of(first, last, [](std::uint8_t c) { return c >= '0' && c <= '9'; }))
    return "000000";
  return std::string(first, last);
}

std::string CodeplugVersionLabel(std::string_view versionText) {
  return "R" + std::string(versionText);
}

LoadedFile CheckFileImage(const Image& fileImage) {
  LoadedFile result;
  result.image = fileImage;
  Image& image = result.image;

  if (PagerIdComplementary(image)) {
    if (image[map::kPagerId] == map::kPagerIdPocsag) return Refused(kPagerIdPocsag);
  } else if (image[map::kMarker] == map::kMarkerValue) {
    SetFlexPagerId(image);
  } else {
    return Refused(kPagerIdError);
  }

  result.versionText = ImageVersionText(image);
  if (VersionNumber(result.versionText) > kSoftwareStampNumber) {
    LoadedFile refused;
    refused.message = Message{std::string(kLaterVersion), std::string(kLaterVersionCaption),
                              Icon::Warning};
    return refused;
  }

  const std::uint8_t band = image[map::kBandByte];
  result.bandFamily = map::BandFamily(band);
  result.subBand = map::SubBand(band);
  if (result.bandFamily == kBandFamilyUnused) return Refused(kBandFamilyError);
  if (!BandPairIsValid(result.bandFamily, result.subBand)) return Refused(kBandPairError);

  const PatchLayout patch = InspectPatch(image);
  if (!patch.signatureOk) return Refused(kNoPatchMarker);
  if (!patch.headerOk || !BlockFits(patch)) return Refused(kFileHeaderError);
  if (!patch.blockOk) {
    LoadedFile refused = Refused(kFileBlockError);
    refused.resetGauge = true;
    return refused;
  }
  result.patchVersion = patch.version;
  result.ok = true;
  return result;
}

LoadedFile LoadDataFile(std::string_view text) {
  const std::optional<Image> parsed = ParseDataFile(text);
  if (!parsed) return Refused(kRecordCheckFailed);
  return CheckFileImage(*parsed);
}

void AcceptLoadedFile(Codeplug& cp, const LoadedFile& file) {
  if (!file.ok) return;
  cp.WorkingImage = file.image;
  cp.PatchVersion = file.patchVersion;
  cp.ImageFirmwareVersion = 0;
  cp.OutOfRangeTimerEdited = false;
  cp.CodeplugBandFamily = file.bandFamily;
  cp.CodeplugSubBand = file.subBand;
  cp.LedStayOnCapable = (cp.WorkingImage[map::kFeatureFlags] & map::kFeatureLedStayOnCapable) != 0;
  cp.NormalizeRfOptions();
}

// ---- Save ---------------------------------------------------------------------------------

void PrepareForSave(Codeplug& cp) {
  cp.ApplyForcedBytes();
  cp.StampSoftwareVersion();
}

bool PrepareImageForSave(Codeplug& cp, Messages& out) {
  Image& image = cp.WorkingImage;
  const PatchLayout patch = InspectPatch(image);
  if (!patch.headerOk || !BlockFits(patch)) {
    out.push_back(Plain(std::string(kSaveHeaderError)));
    return false;
  }
  if (!patch.blockOk) {
    out.push_back(Plain(std::string(kSaveBlockError)));
    return false;
  }
  std::fill(image.begin() + patch.start + patch.length, image.end(), map::kFillByte);

  cp.RestoreForcedDefaultRanges();

  RederiveFineBatteryThresholds(cp, out);

  if (cp.PatchVersion == 3 || cp.PatchVersion > 4)
    image[map::kFeatureFlags] |= map::kFeatureTimerFiveSecondSteps;
  StoreFirmwareVersion(image, cp.ImageFirmwareVersion);
  cp.UpdatePageChecksums();
  if (!PagerIdComplementary(image)) SetFlexPagerId(image);
  return true;
}

namespace {

// Where the extension of the last part of a path starts (its size when there is none).
std::size_t ExtensionStart(std::string_view path) {
  const std::size_t folderEnd = path.find_last_of("/\\:");
  const std::size_t nameStart = folderEnd == std::string_view::npos ? 0 : folderEnd + 1;
  const std::size_t dot = path.rfind('.');
  return (dot == std::string_view::npos || dot < nameStart) ? path.size() : dot;
}

bool EndsInDat(std::string_view path) {
  const std::string_view extension = path.substr(ExtensionStart(path));
  return std::equal(extension.begin(), extension.end(), kDataFileExtension.begin(),
                    kDataFileExtension.end(), [](char a, char b) {
                      return std::tolower(static_cast<unsigned char>(a)) == b;
                    });
}

} // namespace

bool HasDataFileExtension(const std::string& path) { return EndsInDat(path); }

std::string DataFileName(std::string_view chosen) {
  if (EndsInDat(chosen)) return std::string(chosen);
  return std::string(chosen.substr(0, ExtensionStart(chosen))) + std::string(kDataFileExtension);
}

OverwriteQuestion OverwriteQuestionFor(std::string_view fullName) {
  OverwriteQuestion question;
  question.message = Message{std::string(fullName) + std::string(kOverwriteSuffix),
                             std::string(kOverwriteCaption), Icon::Question};
  question.defaultNo = true;
  return question;
}

} // namespace pw
