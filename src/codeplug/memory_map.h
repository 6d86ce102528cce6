// SPDX-License-Identifier: GPL-3.0-or-later
// The codeplug memory map: every offset of the 2048-byte EEPROM image of an RV615 pager.
// Offsets equal EEPROM addresses. No other file writes a bare codeplug address.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace pw::map {

// ---- Image geometry -----------------------------------------------------------------------
inline constexpr std::size_t kImageSize = 0x800;       // whole EEPROM image
inline constexpr std::size_t kPersonalitySize = 0x1FF; // 0x000-0x1FE, what a Read receives

inline constexpr std::uint16_t kPage0Start = 0x000;
inline constexpr std::uint16_t kPage0Count = 256; // 0x000-0x0FF
inline constexpr std::uint16_t kPage0ChecksumHi = 0x0FE;
inline constexpr std::uint16_t kPage0ChecksumLo = 0x0FF;
inline constexpr std::uint16_t kPage1Start = 0x100;
inline constexpr std::uint16_t kPage1Count = 255; // 0x100-0x1FE
inline constexpr std::uint16_t kPage1ChecksumHi = 0x1FD;
inline constexpr std::uint16_t kPage1ChecksumLo = 0x1FE;

// ---- Page 0: synthesizer and RF options ---------------------------------------------------
inline constexpr std::uint16_t kRWord = 0x004; // 3 bytes, big-endian
inline constexpr std::uint16_t kNWord = 0x007; // 3 bytes, big-endian
inline constexpr std::uint16_t kRfOption1 = 0x00A; // IF, step, multiplier - 1
inline constexpr std::uint16_t kRfOption2 = 0x00B; // reference, injection, PLL type, flags
// RF option byte 1 fields.
inline constexpr int kIfShift = 5;             // bits 7-5: receiver IF
inline constexpr std::uint8_t kIfDecodedBelow = 0xA0; // larger values leave the IF as it was
inline constexpr int kStepShift = 3;           // bits 4-3: channel step
inline constexpr std::uint8_t kMultiplierMask = 0x07; // bits 2-0: multiplier - 1
// RF option byte 2 fields.
inline constexpr int kReferenceShift = 6;             // bits 7-6: reference oscillator
inline constexpr std::uint8_t kHighSideBit = 0x20;    // bit 5
inline constexpr std::uint8_t kPllTypeBit4 = 0x10;    // synthesizer type, low bit
inline constexpr std::uint8_t kPllTypeBit2 = 0x04;    // synthesizer type, high bit
inline constexpr std::uint8_t kSearchFlagsMask = 0x03; // bits 1-0

// ---- Page 0: packets ----------------------------------------------------------------------
inline constexpr std::uint16_t kPacketCount = 0x010;
inline constexpr std::uint16_t kMarker = 0x012;       // identifier of packet 0x78
inline constexpr std::uint8_t kMarkerValue = 0x78;
inline constexpr std::uint16_t kEnableCodesEF = 0x014; // E bits 1-0, F bits 3-2
inline constexpr std::uint16_t kEnableCodesAD = 0x015; // A 1-0, B 3-2, C 5-4, D 7-6
inline constexpr int kEnableDisabled = 0;
inline constexpr int kEnableShort = 1;
inline constexpr int kEnableLong = 3;

// Address words: code k (1 = A ... 6 = F) owns two packets; value bytes are big-endian.
constexpr std::uint16_t AddressWord1(int k) { return static_cast<std::uint16_t>(0x00F + 8 * k); }
constexpr std::uint16_t AddressWord2(int k) { return static_cast<std::uint16_t>(0x013 + 8 * k); }
inline constexpr std::uint8_t kLongAddressMark = 0x40; // in the high byte of both words
inline constexpr std::uint8_t kWordHighMask = 0x1F;    // bits 20-16 of the 21-bit word

struct EnableField {
  std::uint16_t byte;
  int shift; // the 2-bit field occupies bits shift+1..shift
};
inline constexpr std::array<EnableField, 7> kEnableFields = {{
    {0, 0},                // unused index 0
    {kEnableCodesAD, 0},   // A
    {kEnableCodesAD, 2},   // B
    {kEnableCodesAD, 4},   // C
    {kEnableCodesAD, 6},   // D
    {kEnableCodesEF, 0},   // E
    {kEnableCodesEF, 2},   // F
}};

// Frame bitmap packets 0x20-0x27: packet i at 0x046 + 4i = [0x20+i, 0, b(2i), b(2i+1)].
inline constexpr std::uint16_t kFrameBitmap = 0x046;
inline constexpr int kFramePackets = 8;
inline constexpr std::uint8_t kFramePacketId = 0x20; // identifier of packet i is 0x20 + i
inline constexpr int kFrameCount = 128;
inline constexpr int kFrameBytes = 16;

// Option packets and forced bytes.
inline constexpr std::uint16_t kPacket01Value = 0x097; // forced to 3
inline constexpr std::uint8_t kPacket01ValueForced = 0x03;
inline constexpr std::uint16_t kDataPolarity = 0x098; // bits 1-0: 3 = not inverted
struct ForcedByte {
  std::uint16_t offset;
  std::uint8_t value;
};
inline constexpr std::array<ForcedByte, 7> kForcedBytes = {{
    {0x06C, 0x00}, {0x06D, 0x00}, {0x070, 0x11}, {0x071, 0x70},
    {0x090, 0x00}, {0x094, 0x00}, {0x097, 0x03},
}};

// Ranges restored from the default codeplug before every save and every Program.
struct Range {
  std::uint16_t first;
  std::uint16_t last; // inclusive
};
inline constexpr std::array<Range, 27> kForcedDefaultRanges = {{
    {0x000, 0x003}, {0x00C, 0x011}, {0x012, 0x013}, {0x016, 0x016}, {0x01A, 0x01A},
    {0x01E, 0x01E}, {0x022, 0x022}, {0x026, 0x026}, {0x02A, 0x02A}, {0x02E, 0x02E},
    {0x032, 0x032}, {0x036, 0x036}, {0x03A, 0x03A}, {0x03E, 0x03E}, {0x042, 0x042},
    {0x046, 0x047}, {0x04A, 0x04B}, {0x04E, 0x04F}, {0x052, 0x053}, {0x056, 0x057},
    {0x05A, 0x05B}, {0x05E, 0x05F}, {0x062, 0x063}, {0x066, 0x097}, {0x099, 0x09D},
    {0x09E, 0x0FD}, {0x1BC, 0x1E3},
}};

// ---- Page 1: per-code alert blocks --------------------------------------------------------
inline constexpr int kCodeCount = 6;
inline constexpr int kAlertBlockSize = 27;
constexpr std::uint16_t AlertBlock(int k) { return static_cast<std::uint16_t>(0x100 + 27 * (k - 1)); }
// Offsets inside an alert block.
inline constexpr int kBlockFlags = 0;   // bit 4 default, 3 VIB, 2 BEEP, 1 voice, 0 LED
inline constexpr int kBlockTime = 1;    // time - 1
inline constexpr int kBlockCadence = 2; // 8 steps, bit 7 first
inline constexpr int kBlockRepeat = 3;
inline constexpr int kSetVoiceSegment = 4;  // 1-10, 0 = none
inline constexpr int kSetTime = 5;          // LED flash time - 1
inline constexpr int kSetLed1Cadence = 6;   // 2 bytes
inline constexpr int kSetLed2Cadence = 8;   // 2 bytes
inline constexpr int kSetRepeat = 10;
inline constexpr int kSetExtendedIds = 11;  // 16 slots: bit 7 enabled, bits 6-0 function
inline constexpr int kExtendedIdSlots = 16;

inline constexpr std::uint8_t kFlagDefaultAlert = 0x10;
inline constexpr std::uint8_t kFlagVibrate = 0x08;
inline constexpr std::uint8_t kFlagBeep = 0x04;
inline constexpr std::uint8_t kFlagVoice = 0x02;
inline constexpr std::uint8_t kFlagLed = 0x01;
inline constexpr std::uint8_t kFlagResetKey = 0x10; // power alert flags only

// ---- Page 1: Standard page block ----------------------------------------------------------
inline constexpr std::uint16_t kOutOfRangeFlags = 0x1A2;
inline constexpr std::uint16_t kOutOfRangeTime = 0x1A3;
inline constexpr std::uint16_t kOutOfRangeCadence = 0x1A4;
inline constexpr std::uint16_t kOutOfRangeRepeat = 0x1A5;
inline constexpr std::uint16_t kOutOfRangeTimer = 0x1A6; // bit 7 indicator, bits 6-0 timer
inline constexpr std::uint8_t kOutOfRangeIndicatorBit = 0x80;
inline constexpr std::uint8_t kOutOfRangeTimerMask = 0x7F;  // seconds or 5-second steps
inline constexpr std::uint16_t kPowerAlertFlags = 0x1A7;
inline constexpr std::uint16_t kPowerAlertTime = 0x1A8;
inline constexpr std::uint16_t kPowerAlertCadence = 0x1A9;
inline constexpr std::uint16_t kPowerAlertRepeat = 0x1AA;
inline constexpr std::uint16_t kPowerLedOn = 0x1AB;  // 16-bit
inline constexpr std::uint16_t kPowerLedOff = 0x1AD; // 16-bit
inline constexpr std::uint16_t kBatteryThresholds = 0x1AF; // 12 bytes, item n at 0x1AE + n
inline constexpr int kBatteryItems = 12;
inline constexpr std::uint16_t kBeepFrequency = 0x1BB;
inline constexpr std::uint16_t kImageFirmwareVersion = 0x1E4; // 3 bytes packed BCD
inline constexpr std::uint16_t kFeatureFlags = 0x1E7;
inline constexpr std::uint8_t kFeatureLedStayOnCapable = 0x01;
inline constexpr std::uint8_t kFeatureLedFlashForever = 0x04;
inline constexpr std::uint8_t kFeatureTimerFiveSecondSteps = 0x08;
inline constexpr std::uint16_t kFineVoltages = 0x1E8; // 4 bytes, item n (9-12) at 0x1DF + n
inline constexpr std::uint16_t kBandByte = 0x1EC;
inline constexpr std::uint16_t kSerialNumber = 0x1ED; // 10 ASCII characters
inline constexpr int kSerialNumberLength = 10;
inline constexpr std::uint16_t kSoftwareStamp = 0x1F7; // 6 ASCII digits
inline constexpr int kStampLength = 6;

constexpr std::uint16_t BatteryByte(int item) { return static_cast<std::uint16_t>(0x1AE + item); }
constexpr std::uint16_t FineVoltageByte(int item) { return static_cast<std::uint16_t>(0x1DF + item); }

// Band byte bits.
inline constexpr std::uint8_t kBandFamilyMask = 0x06; // bits 2-1
inline constexpr std::uint8_t kSubBandMask = 0x38;    // bits 5-3
inline constexpr std::uint8_t kNarrowBandBit = 0x40;  // bit 6
inline constexpr std::uint8_t kStep2500Bit = 0x80;    // bit 7
constexpr int BandFamily(std::uint8_t band) { return (band >> 1) & 0x03; }
constexpr int SubBand(std::uint8_t band) { return (band >> 3) & 0x07; }

// ---- Patch region -------------------------------------------------------------------------
inline constexpr std::uint16_t kPatchSignature = 0x200; // "PATCH"
inline constexpr int kPatchSignatureLength = 5;
inline constexpr std::uint16_t kPatchRegion = 0x200;    // 0x200-0x7FF
inline constexpr std::uint16_t kPatchHeader = 0x205;    // 7 bytes
inline constexpr std::uint16_t kPatchStart = 0x205;     // 2 bytes: offset of the patch code
inline constexpr std::uint16_t kPatchLength = 0x207;    // 2 bytes: its length
inline constexpr int kPatchHeaderSummed = 6;            // 0x205-0x20A under the check byte
inline constexpr int kPatchTrailer = 3;                 // level byte and 2 checksum bytes
inline constexpr int kPatchHeaderLength = 7;
inline constexpr std::uint16_t kPatchHeaderCheck = 0x20B;
inline constexpr std::uint16_t kPagerId = 0x20C;        // 2 bytes, complements
inline constexpr std::uint8_t kPagerIdFlex = 0xF0;      // first byte of a FLEX pager
inline constexpr std::uint8_t kPagerIdPocsag = 0x0F;    // first byte of a POCSAG pager
inline constexpr std::uint16_t kStandbyTime = 0x220;
inline constexpr std::uint16_t kStandbyLed = 0x221;
inline constexpr std::uint16_t kStandbyCadence = 0x222;
inline constexpr std::uint8_t kStandbyLedEnableBit = 0x01;
inline constexpr std::uint16_t kPatchAreaFill = 0x500;  // 0x500-0x7FF refilled with 0x60 per set
inline constexpr std::uint16_t kPatchCode = 0x600;      // where built-in patch code goes
inline constexpr std::uint8_t kFillByte = 0x60;
inline constexpr std::uint16_t kDefaultPatchLevel = 0x601; // level byte of the default patch
inline constexpr std::uint8_t kDefaultPatchLevelValue = 0x02;
inline constexpr int kPatchBlockSize = 320; // built-in 320-byte patch blocks

} // namespace pw::map
