// SPDX-License-Identifier: GPL-3.0-or-later
// Whether a pager may be served, and how the codeplug is adapted to its firmware: firmware
// thresholds, the built-in patch set per firmware, the pager ID, marker, band and stamp
// rules, the LED timer scales and the out-of-range timer of old firmware. Also the texts
// the Read and Program transactions show.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/message.h"
#include "codeplug/codeplug.h"
#include "files/frequency.h"
#include "link/link_protocol.h"

namespace pw {

// ---- Texts ---------------------------------------------------------------------------------
namespace text {
inline constexpr std::string_view kProtocolError =
    "*** Protocol Error ***\n\nNo line-echo detected!  Check\nhard-contact port is properly "
    "setup\nand connected.";
inline constexpr std::string_view kFirmwareNotSupported =
    "PPS not support this firmware version, please\ncontact service center for further "
    "information";
inline constexpr std::string_view kReadingFail = "Reading Fail";
inline constexpr std::string_view kProgrammingFail = "Programming Fail";
inline constexpr std::string_view kProgramingFail = "Programing Fail"; // page and patch writes
inline constexpr std::string_view kLaterPpsRead =
    "This pager has been programmed with a later\nPPS version. It cannot be read by this PPS.";
inline constexpr std::string_view kLaterPpsProgram =
    "This pager has been programmed with a later\nPPS version. It cannot be program by this "
    "PPS.";
inline constexpr std::string_view kPocsagRead =
    "Pager ID is POCSAG, This PPS version  is not support";
inline constexpr std::string_view kPocsagProgram =
    "Pager ID is POCSAG, This PPS version is not support";
inline constexpr std::string_view kMarkerError =
    "Codeplug Data Error, Please Programming Pager again";
inline constexpr std::string_view kBandByteError = kBandPairError;
inline constexpr std::string_view kEepromEmpty = "EEPROM empty";
inline constexpr std::string_view kPatchHeaderError = "EEPROM Data Error, Please Update Codeplug.";
inline constexpr std::string_view kLaterPatchRead =
    "This pager has been programmed with a later\nPatch version. It cannot be read by this PPS.";
inline constexpr std::string_view kLaterPatchProgram =
    "This pager has been programmed with a later\nPatch version. It cannot be program by this "
    "PPS.";
inline constexpr std::string_view kPageDataError = "Data Error, Please Update Pager Codeplug";
inline constexpr std::string_view kSerialNumberError =
    "Serail Number Error, Please Read Pager or Load Codeplug again.";
inline constexpr std::string_view kCodeplugRead = "Codeplug  has  been  Read!";
inline constexpr std::string_view kLedFlashQuestion =
    "This pager has not \"LED Flash stay on\" function. Does it continue programming?";
inline constexpr std::string_view kPreparedHeaderError =
    "FAT data Error,Please Read Pager or Load Codeplug again";
inline constexpr std::string_view kPreparedPatchError =
    "Data Error,Please Read Pager or Load Codeplug again";
inline constexpr std::string_view kOldFirmwareTimer =
    "This Out of Range Timer of FW version only supports 10-120 seconds, please contact "
    "service center for further information.";
inline constexpr std::string_view kProgrammed = "Codeplug  Programmed  Successfully!";
inline constexpr std::string_view kBandNoMatch =
    "Frequency band no Match, Please Read Pager or Load Codeplug again.\nPager's frequency "
    "range is ";
inline constexpr std::string_view kFrequencyNoMatch =
    "Frequency no Match, Please Read Pager or Load Codeplug again.\nPager's frequency range is ";

// Read-back after writing, backup and restore.
inline constexpr std::string_view kVerifyErrorAt = "Verify Error at EEPROM address ";
inline constexpr std::string_view kProgramAgain = ", Please Program Pager again";
inline constexpr std::string_view kRestoreAgain = ", Please Restore Pager again";
inline constexpr std::string_view kBackupFail = "Backup Fail, the pager has not been programmed.";
inline constexpr std::string_view kSerialNumberNoMatch =
    "Serial Number no Match, Please Restore the backup of this pager.\nPager's serial number is ";
inline constexpr std::string_view kRestored = "Pager Restored Successfully!";
inline constexpr std::string_view kRestoreDamaged =
    "Backup Data Error, nothing has been written to the pager.";

inline constexpr std::string_view kCaptionError = "Error";
inline constexpr std::string_view kCaptionWarning = "Warning";
inline constexpr std::string_view kCaptionInformation = "Information";
} // namespace text

// Controls of the main window the transactions write.
namespace control {
inline constexpr std::string_view kFirmwareVersionLabel = "lblFireware_Version";
inline constexpr std::string_view kCodeplugVersionLabel = "lblCodeplug_Version";
inline constexpr std::string_view kOutOfRangeTimer = "edtOutofRangeTimer";
// The battery threshold edits, item 1-12 at index item - 1.
inline constexpr std::string_view kBatteryEdits[12] = {
    "edtUp1",   "edtDown1", "edtUp2",        "edtDown2",  "edtUp3",
    "edtDown3", "edtUp4",   "edtDown4",      "edtChargeroff", "edtRecharg",
    "edtLowBatteryRecovery", "edtLowBatteryWarning",
};
} // namespace control

enum class TransactionMode { Read, Program };

// ---- Firmware thresholds -------------------------------------------------------------------
namespace firmware {
inline constexpr int kLedStayOn = 10201;         // and above: LED times on the 150 scale
inline constexpr int kLastWithoutLedFlash = 10202; // and below: no "LED Flash stay on"
inline constexpr int kFirstPatched = 10101;      // below: no patch set, no patch limit
inline constexpr int kPatchLimitSplit = 10204;   // up to here patch 4 is too new, above it 6
} // namespace firmware

bool LedStayOnCapableFirmware(int firmware);
// The "LED Flash stay on" question before programming a pager that lacks the function.
bool AsksLedFlashQuestion(int firmware, std::uint8_t featureFlags);
bool UsesOutOfRangeTimerField(int firmware);
// A pager whose patch is newer than this software knows is refused.
bool PatchVersionTooNew(int firmware, int patchVersion);

// Built-in patch set for the firmware, or -1 when the firmware takes none.
inline constexpr int kNoPatchSet = -1;
int PatchSetForFirmware(int firmware);

// ---- Pager ID ------------------------------------------------------------------------------
enum class PagerIdVerdict {
  Accept,        // complementary pair, not POCSAG
  AcceptRewrite, // not complementary: Program writes the FLEX pair after the patch
  RefusePocsag,
};
PagerIdVerdict CheckPagerId(std::uint8_t b0, std::uint8_t b1);
std::string_view PocsagText(TransactionMode mode);

// ---- Marker, stamp, serial number -----------------------------------------------------------
bool MarkerIsSound(std::uint8_t marker);
bool PagerStampTooNew(int pagerStamp, int softwareStamp);
// Ten digits or upper-case letters, as a codeplug in memory must carry.
bool SerialNumberIsStrict(const std::uint8_t* serial);
// Ten letters or digits of either case, as a pager may carry.
bool SerialNumberIsAlphanumeric(const std::uint8_t* serial);

// ---- Band ----------------------------------------------------------------------------------
// Band validity and range texts: BandPairIsValid and BandRangeText of files/frequency.h.

enum class BandMatch { Accept, RefuseWithMessage, RefuseSilently };
struct BandMatchResult {
  BandMatch outcome = BandMatch::Accept;
  std::string text; // only with RefuseWithMessage
};
// Whether a codeplug of band (cf, cs) may go into a pager of band (pf, ps).
BandMatchResult MatchBand(int codeplugFamily, int codeplugSubBand, int pagerFamily,
                          int pagerSubBand);

// ---- Patch header and plan -----------------------------------------------------------------
inline constexpr int kPatchSegmentMax = 255;
// The longest block one read can bring: data and checksum must fit the receive buffer.
inline constexpr int kLargestBlockRead = static_cast<int>(kLinkBufferSize) - 2;
// A pager header describes a block that can be read: 3 <= length, and the block lies
// inside the image and the receive buffer.
bool PatchHeaderFits(std::uint16_t start, std::uint16_t length);
bool PatchHeaderCheckOk(const std::uint8_t* header); // 7 bytes

struct PatchSegment {
  std::uint16_t address;
  int count;
};
std::vector<PatchSegment> PlanPatchSegments(std::uint16_t start, int length);

// ---- LED timers ----------------------------------------------------------------------------
inline constexpr int kLedScaleCapable = 150; // counts per displayed unit with LED stay-on
inline constexpr int kLedScaleOld = 4092;

// The timer in tenths on the given scale, rounded half up.
int LedTimerTenths(std::uint16_t value, int scale);
// Converts a timer to the capable scale (toCapable) or to the old one. A result beyond 16
// bits saturates at 0xFFFF.
std::uint16_t RescaleLedTimer(std::uint16_t value, bool toCapable);
// Puts both LED times on the scale of this firmware; onCapableScale says which scale they
// are on now. Sets LedStayOnCapable and bit 0 of 0x1E7 to match.
void ApplyLedTimerScale(Codeplug& cp, int firmware, bool onCapableScale);
// After a Read: a timer outside its range is replaced by its default on the current scale.
// Returns how many timers were replaced.
int CheckLedTimerRanges(Codeplug& cp);

// ---- Firmware version in the codeplug ----------------------------------------------------
// Six decimal digits as packed BCD, most significant pair first (10209 gives 01 02 09).
void PackFirmwareVersion(std::uint32_t version, std::uint8_t* out3);

} // namespace pw
