// SPDX-License-Identifier: GPL-3.0-or-later
// FLEX addresses of the six codes A-F: what the user types in a code edit becomes address
// words, enable bits and the frame bitmap of the working image, and stored words become the
// text shown again. One routine serves all six codes; they differ only in their map rows.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/message.h"
#include "codeplug/codeplug.h"

namespace pw {

// ---- Capcode ranges -------------------------------------------------------------------------
inline constexpr std::int64_t kShortFirst = 1;
inline constexpr std::int64_t kShortLast = 1933312;       // end of the first short range
inline constexpr std::int64_t kUpperShortFirst = 2009088; // second short range
inline constexpr std::int64_t kUpperShortLast = 2025471;
inline constexpr std::int64_t kLongFirst = 2101249;
inline constexpr std::int64_t kLongLast = 999999999;

enum class CapcodeClass { Illegal, Short, Long };
CapcodeClass ClassOf(std::int64_t value);

// The value of a code edit's text: empty is 0; leading zeros are ignored. The edit admits
// digits only; anything else (or more digits than a capcode can have) reads as 0.
std::int64_t ParseCapcodeText(std::string_view text);
// Short values padded to 7 digits, long values to 9, anything else plain decimal.
std::string CapcodeText(std::int64_t value);

// ---- Texts the address rules show -----------------------------------------------------------
inline constexpr std::string_view kIllegalAddressLead = "Address ";
inline constexpr std::string_view kIllegalAddressTail =
    " is an illegal FLEX address! The nearest default will be used.";
inline constexpr std::string_view kDuplicateCodes = "ERROR: Duplicate codes exists.";

// ---- Editor state the rules read and write --------------------------------------------------
// Index k-1 for code k (1 = A ... 6 = F).
struct CodeEdits {
  std::array<std::string, map::kCodeCount> text{}; // edtCodeA ... edtCodeF
  std::array<bool, map::kCodeCount> enabled{};     // chkCapCode1, chkSecondAddress, chkCapCode3-6
};

struct AddressState {
  std::array<int, map::kCodeCount> homeFrame{};  // 0-127
  std::array<bool, map::kCodeCount> duplicate{}; // last validation of the code found a duplicate
};

struct CodeCheck {
  bool stored = false;       // words (and, for an enabled code, enable bits) written
  bool fieldInvalid = false; // the value had to be repaired; focus goes back to the edit
  bool duplicate = false;    // refused: image and text left as they were
  Messages messages;         // to show, in order
};

// ---- Address words --------------------------------------------------------------------------
struct AddressWords {
  std::uint32_t word1 = 0; // 21-bit words, with 0x400000 set for a word of a long address
  std::uint32_t word2 = 0;
};
// The two words a legal capcode is stored as (short: value + 0x8000 and 0; long: both).
AddressWords EncodeCapcode(std::int64_t value);
// The capcode two stored words stand for (a long address when word 1 carries the long mark).
std::int64_t DecodeCapcode(const Codeplug& codeplug, int k);
// Writes the three bytes of a 24-bit stored word (21-bit word plus the long mark).
void StoreAddressWords(Codeplug& codeplug, int k, const AddressWords& words);
// The 2-bit enable field of code k: 0 disabled, 1 short, 3 long.
int EnableBits(const Codeplug& codeplug, int k);
void SetEnableBits(Codeplug& codeplug, int k, int bits);
// (value div 16) mod 128, never negative.
int HomeFrame(std::int64_t value);

// ---- The rules ------------------------------------------------------------------------------
// Validates the text of code k and stores it: repairs illegal values to the nearest default,
// refuses duplicates of another enabled code, pads and rewrites edits.text[k-1], updates the
// home frame. Enable bits are written only while the code is enabled.
CodeCheck ValidateCode(Codeplug& codeplug, int k, CodeEdits& edits, AddressState& state);

// True when code k is enabled, non-zero and equal to another enabled code; sets or clears
// state.duplicate[k-1] and adds the duplicate message when true.
bool IsDuplicateCode(int k, const CodeEdits& edits, AddressState& state, Messages& messages);

// Rebuilds packets 0x20-0x27 from the home frames of the enabled codes (every 16th frame).
void RebuildFrameBitmap(Codeplug& codeplug, const CodeEdits& edits, const AddressState& state);

// The text code k's stored words decode to, updating its home frame. With repairBlank, a
// blank first word (all 00 or all FF) shows k and is rewritten as a short address k.
std::string ShowCode(Codeplug& codeplug, int k, AddressState& state, bool repairBlank);

// The click of code k's enable box, image part: records the new state in edits.enabled;
// checking sets enable bits 01/11 and rebuilds the bitmap unless the code duplicates another
// (then the duplicate message is added and false returned); unchecking clears the bits and
// rebuilds the bitmap.
bool SetCodeEnabled(Codeplug& codeplug, int k, bool enabled, CodeEdits& edits, AddressState& state,
                    Messages& messages);

} // namespace pw
