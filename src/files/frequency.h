// SPDX-License-Identifier: GPL-3.0-or-later
// Frequency and band rules: the typed frequency, the synthesizer words that encode it, and
// the band families and sub-bands of the receiver.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/message.h"
#include "codeplug/codeplug.h"

namespace pw {

// ---- Bands --------------------------------------------------------------------------------
inline constexpr int kBand900 = 0;
inline constexpr int kBandVhf = 1;
inline constexpr int kBandUhf = 2;
inline constexpr int kAnySubBand = -1;
inline constexpr int kSubBandVhfDHighSide = 6; // VHF D received with high-side injection

struct BandRow {
  int family;
  int subBand; // kAnySubBand: every sub-band of the family
  std::string_view name;
  std::uint32_t lowHz;  // accepted, inclusive
  std::uint32_t highHz; // accepted, inclusive
  std::uint32_t resetHz;
  std::string_view resetText; // resetHz as the field shows it
  std::string_view helpRange; // range on the help line
};

inline constexpr std::array<BandRow, 8> kBandTable = {{
    {kBand900, kAnySubBand, "900 MHz", 929000000, 932000000, 930512500, "930.5125",
     "929.0000 ~ 932.0000"},
    {kBandVhf, 1, "VHF A", 143000000, 152987500, 148512500, "148.5125", "143.0000 ~ 152.9999"},
    {kBandVhf, 2, "VHF B", 153000000, 162987500, 158512500, "158.5125", "153.0000 ~ 162.9999"},
    {kBandVhf, 3, "VHF C", 163000000, 174000000, 168512500, "168.5125", "163.0000 ~ 174.0000"},
    {kBandVhf, 6, "VHF D (high-side injection)", 137000000, 142987500, 140512500, "140.5125",
     "137.0000 ~ 142.9999"},
    {kBandVhf, 7, "VHF D", 137000000, 142987500, 140512500, "140.5125", "137.0000 ~ 142.9999"},
    {kBandUhf, 4, "UHF A", 450000000, 459987500, 455512500, "455.5125", "450.0000 ~ 459.9999"},
    {kBandUhf, 5, "UHF B", 460000000, 470000000, 465512500, "465.5125", "460.0000 ~ 470.0000"},
}};

// The only band family / sub-band pairs a codeplug or a pager may carry (the 900 MHz family
// only with sub-band 0).
bool BandPairIsValid(int family, int subBand);
// The accepted range of a valid pair as the band messages show it ("143.0000~152.9875");
// empty for any other pair.
std::string BandRangeText(int family, int subBand);
// Shown when a pager or a file carries a pair that is not valid.
inline constexpr std::string_view kBandPairError =
    "EEPROM Data Error,please\ncontact service center for further information.";

// The row of a band family and sub-band, or nullptr when the pair is not in the table.
const BandRow* FindBand(int family, int subBand);
// The row of the current codeplug (CodeplugBandFamily, CodeplugSubBand).
const BandRow* CurrentBand(const Codeplug& cp);

// The help line of edtFrequency for the current band, or nothing (the line stays as it was).
std::optional<std::string> FrequencyHelpLine(const Codeplug& cp);

// ---- Text ---------------------------------------------------------------------------------
// The typed text in whole Hz. Whole MHz of 1000 or more count as 1,000,000,000 Hz; up to four
// decimals count, five or more are ignored ("9305.125" -> 1000125000, "93.05125" -> 93000000).
std::uint32_t ParseFrequencyText(std::string_view text);

// Digits, '.' and Backspace reach edtFrequency; the Enter key is the caller's.
bool FrequencyKeyAllowed(char ch);
inline constexpr int kFrequencyMaxLength = 8;

// ---- Synthesizer --------------------------------------------------------------------------
struct SearchParameters {
  int prescaler;        // P
  int stepMultiplier;   // D
  std::uint32_t stepHz; // S
  double rMax;          // comparison-step window
  double rMin;
};
// P, D, S and the window for a band family and PLL option; nothing for an unknown family.
std::optional<SearchParameters> SearchParametersFor(int family, int pllOption);

struct DividerPair {
  std::uint32_t r = 0;
  std::uint32_t n = 0;
  std::uint8_t flags = 0; // bit 0 synthesized above the request, bit 1 exact
};
// Searches the reference and loop dividers that synthesize hz within 500 Hz, lowest R first.
// offsetHz is +IF with high-side injection, -IF otherwise.
std::optional<DividerPair> SearchDividers(std::uint32_t hz, double offsetHz,
                                          double referenceHz, const SearchParameters& p);

struct RegisterWords {
  std::uint32_t r;
  std::uint32_t n;
};
// The R and N register words of a PLL option for a kept pair.
RegisterWords RegisterWordsFor(int pllOption, int family, const DividerPair& pair,
                               std::uint32_t hz, double offsetHz);

// Six upper-case hex digits of a 24-bit word, most significant byte first (edtR, edtN).
std::string WordHexText(std::uint32_t word);
std::string RWordText(const Codeplug& cp);
std::string NWordText(const Codeplug& cp);

// The frequency the stored words give, in Hz rounded to 2.5 kHz (0 when the words are blank),
// and as edtFrequency shows it ("%3.4f" MHz).
std::uint32_t FrequencyHzFromImage(const Codeplug& cp);
std::string FrequencyFromImage(const Codeplug& cp);

// ---- The field ----------------------------------------------------------------------------
struct FrequencyField {
  std::string LastGoodFrequencyText;
  bool FieldInvalid = false;
};

struct FrequencyOutcome {
  bool accepted = false;  // taken as typed, no message
  bool focusBack = false; // the field must get the focus again
  bool stored = false;    // R and N words written
  std::string rText;      // edtR and edtN when stored
  std::string nText;
};

// Validates edtFrequency: corrects or refuses the text, stores R, N and the result flags, and
// rewrites the text from the image.
FrequencyOutcome ValidateFrequency(Codeplug& cp, FrequencyField& field, std::string& text,
                                   Messages& out);

// edtFrequencyEnter: remembers the text the field had when the user came in.
void FrequencyFieldEnter(FrequencyField& field, const std::string& text);

// ---- Radio groups and refill helpers ------------------------------------------------------
// rgpBandOption: item 0 "Wide Band" clears, item 1 "Narrow Band" sets bit 6 of the band byte.
void SetBandOption(Codeplug& cp, int item);
int BandOptionItem(const Codeplug& cp);

// rgpPLLICOption: writes the configuration bytes of the chosen chip and re-derives Rf.
void SetPllIcOption(Codeplug& cp, int item);

// The sub-band a frequency falls in for a family (0: none).
int InferSubBand(int family, bool highSideInjection, std::uint32_t hz);
// For a VHF or UHF codeplug without sub-band, chooses it from the stored frequency and writes
// it into the band byte and CodeplugSubBand. Returns whether a sub-band was written.
bool InferSubBandFromImage(Codeplug& cp);

// Sets the exact-result flag when the R word is the plain divider of the current band.
void MarkExactDividerFlag(Codeplug& cp);

// Re-encodes the frequency programmed in the image for a pager whose own configuration
// bytes are pagerA (0x00A), pagerB (0x00B) and whose band byte is pagerBand. When a divider
// pair is found, the register words are stored and the pager's three bytes replace the
// image's; otherwise nothing changes. Returns whether the image was re-encoded.
bool ReencodeFrequencyForPager(Codeplug& cp, std::uint8_t pagerA, std::uint8_t pagerB,
                               std::uint8_t pagerBand);

} // namespace pw
