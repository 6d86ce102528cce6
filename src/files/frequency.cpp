// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/frequency.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace pw {
namespace {

constexpr std::string_view kHelpLinePrefix = "Enter the Frequency of the pager receiver (Numeric - ";
constexpr std::string_view kOutOfRangeText =
    "*** Invalid Frequency ***\nFrequency was out of range!\nIt will be reset to ";
constexpr std::string_view kErrorHead = "** ERROR **\n(";
constexpr std::string_view kNotFloatTail = ") is not a valid floating point value.";
constexpr std::string_view kNotSupportedTail = ") Frequency is not support by this pager.";
constexpr int kNotFloatIndent = 20;
constexpr int kNotSupportedIndent = 28;

constexpr std::uint32_t kHz = 1000000;
constexpr std::uint32_t kGigahertz = 1000000000; // whole MHz of 1000 and more
constexpr std::uint32_t kRasterHz = 2500;         // every channel lies on this raster
constexpr double kAcceptHz = 500.0;               // synthesized within this of the request
constexpr double kBeatHz = 1.0;                   // a later R must beat the best by more
constexpr std::uint32_t kWordMask = 0xFFFFFF;     // register words are 24 bits
constexpr std::uint8_t kAboveFlag = 0x01;          // synthesized above the request
constexpr std::uint8_t kExactFlag = 0x02;          // synthesized exactly

enum PllOption { kFs8107Old = 0, kSm5170Old = 1, kFs8108New1 = 2, kMb15e03New = 3 };

// Option 3 loads fixed reference words and derives N from these channel rasters.
constexpr std::uint32_t kMbRaster900 = 6250;
constexpr std::uint32_t kMbRasterOther = 2500;
constexpr std::uint32_t kMbWordBase = 65537;
constexpr std::uint32_t kMbReference900 = 2048;
constexpr std::uint32_t kMbReferenceOther = 8380;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Value of the digits of a text, saturating well above any frequency.
std::uint64_t DigitsValue(std::string_view digits) {
  std::uint64_t v = 0;
  for (char c : digits) {
    if (!IsDigit(c)) continue;
    v = v * 10 + std::uint64_t(c - '0');
    if (v > 0xFFFFFFFFull) v = 0xFFFFFFFFull;
  }
  return v;
}

std::uint32_t WholeMegahertz(std::uint64_t mhz) {
  return mhz >= 1000 ? kGigahertz : std::uint32_t(mhz) * kHz;
}

bool ValidFamily(int family) { return family >= kBand900 && family <= kBandUhf; }

struct StoredDividers {
  std::uint32_t n = 0;
  std::uint32_t r = 0;
};

StoredDividers DecodeStoredDividers(int option, std::uint32_t rWord, std::uint32_t nWord) {
  switch (option) {
  case kSm5170Old: return {nWord / 128, (rWord / 256) * 4};
  case kMb15e03New: return {nWord / 2, rWord >= kMbWordBase ? (rWord - kMbWordBase) / 2 : 0};
  default: return {nWord / 2, (rWord / 16) * 8};
  }
}

std::uint32_t MbRaster(int family) { return family == kBand900 ? kMbRaster900 : kMbRasterOther; }

// Rounds a synthesized frequency to the 2.5 kHz raster (0 for nonsense below zero).
std::uint32_t RoundToRaster(double fs) {
  const double raster = std::floor((fs + kAcceptHz) / kRasterHz) * kRasterHz;
  if (!(raster > 0.0)) return 0;
  if (raster > 4294967295.0) return 0xFFFFFFFFu;
  return std::uint32_t(raster);
}

double SignedOffset(bool highSide, std::uint32_t ifOffset) {
  return highSide ? double(ifOffset) : -double(ifOffset);
}

bool ImageMarksHighSide(const Codeplug& cp) {
  return map::SubBand(cp.WorkingImage[map::kBandByte]) == kSubBandVhfDHighSide;
}

std::uint8_t PllOptionOf(std::uint8_t configB) {
  return std::uint8_t(((configB & map::kPllTypeBit2) ? 2 : 0) + ((configB & map::kPllTypeBit4) ? 1 : 0));
}

void StoreWords(Codeplug& cp, const RegisterWords& w) {
  cp.SetWord24(map::kNWord, w.n);
  cp.SetWord24(map::kRWord, w.r);
}

bool FitsWords(const RegisterWords& w) { return w.r <= kWordMask && w.n <= kWordMask; }

// ---- Chip selection table -------------------------------------------------------------------
constexpr int kUnchanged = -1;
struct ChipBytes {
  int a = kUnchanged;
  int b = kUnchanged;
  std::uint8_t bSet = 0; // bits set in B after the byte above
};
struct ChipRow {
  std::array<ChipBytes, 4> column; // 900 MHz, VHF, VHF sub-band 6, UHF
  bool retype;                     // afterwards B = (B AND 0xEB) OR typeBits
  std::uint8_t typeBits;
};
constexpr std::uint8_t kTypeBits = map::kPllTypeBit4 | map::kPllTypeBit2;
constexpr std::array<ChipRow, 4> kChipTable = {{
    {{{{}, {0x39, 0x42}, {0x39, 0x62}, {0x3B, 0x42}}}, false, 0},
    {{{{0x9B, 0x12}, {}, {}, {}}}, false, 0},
    {{{{0x9D}, {0x28}, {0x28, kUnchanged, map::kHighSideBit}, {0x3B}}}, true, map::kPllTypeBit2},
    {{{{0x89, 0x16}, {0x20, 0x56}, {0x20, 0x76}, {0x20, 0x56}}}, true, kTypeBits},
}};

int ChipColumn(const Codeplug& cp) {
  switch (cp.CodeplugBandFamily) {
  case kBand900: return 0;
  case kBandVhf: return cp.CodeplugSubBand == kSubBandVhfDHighSide ? 2 : 1;
  case kBandUhf: return 3;
  default: return -1;
  }
}

} // namespace

// ---- Bands ----------------------------------------------------------------------------------

const BandRow* FindBand(int family, int subBand) {
  for (const BandRow& row : kBandTable)
    if (row.family == family && (row.subBand == kAnySubBand || row.subBand == subBand)) return &row;
  return nullptr;
}

bool BandPairIsValid(int family, int subBand) {
  return FindBand(family, subBand) != nullptr && (family != kBand900 || subBand == 0);
}

std::string BandRangeText(int family, int subBand) {
  if (!BandPairIsValid(family, subBand)) return {};
  const BandRow& row = *FindBand(family, subBand);
  char text[40];
  std::snprintf(text, sizeof text, "%.4f~%.4f", row.lowHz / 1e6, row.highHz / 1e6);
  return text;
}

const BandRow* CurrentBand(const Codeplug& cp) {
  return FindBand(cp.CodeplugBandFamily, cp.CodeplugSubBand);
}

std::optional<std::string> FrequencyHelpLine(const Codeplug& cp) {
  const BandRow* row = CurrentBand(cp);
  // The high-side VHF D row names its range only while the synthesizer runs above the channel.
  if (row && row->subBand == kSubBandVhfDHighSide && !cp.Rf.HighSideInjection) row = nullptr;
  // A VHF synthesizer running above the channel covers VHF D whatever the sub-band says.
  if (!row && cp.CodeplugBandFamily == kBandVhf && cp.Rf.HighSideInjection) row = FindBand(kBandVhf, 7);
  if (!row) return std::nullopt;
  return std::string(kHelpLinePrefix) + std::string(row->helpRange) + ")";
}

// ---- Text -----------------------------------------------------------------------------------

std::uint32_t ParseFrequencyText(std::string_view text) {
  const std::size_t dot = text.find('.');
  if (dot == std::string_view::npos)
    return text.size() > 3 ? kGigahertz : WholeMegahertz(DigitsValue(text));
  if (dot == 0) return 0;
  std::uint32_t hz = WholeMegahertz(DigitsValue(text.substr(0, dot)));
  const std::string_view decimals = text.substr(dot + 1);
  if (decimals.empty() || decimals.size() > 4) return hz;
  std::uint32_t scale = 1;
  for (std::size_t i = decimals.size(); i < 6; ++i) scale *= 10;
  return hz + std::uint32_t(DigitsValue(decimals)) * scale;
}

bool FrequencyKeyAllowed(char ch) { return IsDigit(ch) || ch == '.' || ch == '\b'; }

// ---- Synthesizer ----------------------------------------------------------------------------

std::optional<SearchParameters> SearchParametersFor(int family, int pllOption) {
  struct Psd {
    int p, d;
    std::uint32_t s;
  };
  static constexpr Psd kTable[3][4] = {
      {{4, 4, 12500}, {4, 4, 12500}, {8, 6, 12500}, {1, 1, 6250}}, // 900 MHz
      {{8, 2, 12500}, {8, 2, 12500}, {8, 1, 6250}, {1, 1, 2500}},  // VHF
      {{8, 4, 12500}, {8, 4, 12500}, {8, 4, 12500}, {1, 1, 2500}}, // UHF
  };
  if (!ValidFamily(family) || pllOption < 0 || pllOption > 3) return std::nullopt;
  const Psd& e = kTable[family][pllOption];
  SearchParameters p{e.p, e.d, e.s, 7500, 6250};
  switch (e.s) {
  case 12500: p.rMax = 12500, p.rMin = 10000; break;
  case 6250:
  case 5000: p.rMax = 6250, p.rMin = 5000; break;
  case 2500: p.rMax = 3125, p.rMin = 2500; break;
  default: break;
  }
  return p;
}

std::optional<DividerPair> SearchDividers(std::uint32_t hz, double offsetHz, double referenceHz,
                                          const SearchParameters& p) {
  const double f = double(hz);
  // A loop frequency at or below zero has no divider.
  if (f + offsetHz <= 0.0 || referenceHz <= 0.0) return std::nullopt;
  const double perPrescaler = referenceHz / p.prescaler;
  const double rStart = std::max(1.0, std::floor(perPrescaler / (p.rMax / p.stepMultiplier)));
  const double rEnd = std::ceil(perPrescaler / (p.rMin / p.stepMultiplier));

  std::optional<DividerPair> kept;
  double best = kAcceptHz;
  for (double r = rStart; r <= rEnd; r += 1.0) {
    const double step = (referenceHz / p.prescaler / r) * p.stepMultiplier;
    const double x = (f + offsetHz) / step;
    const double n = (x - std::floor(x) >= 0.5) ? std::ceil(x) : std::floor(x);
    const double fs = n * step - offsetHz;
    const double err = std::fabs(fs - f);
    if (fs >= f - kAcceptHz && fs <= f + kAcceptHz && err - best < -kBeatHz && n >= 1.0) {
      best = err;
      DividerPair pair;
      pair.r = std::uint32_t(r);
      pair.n = std::uint32_t(n);
      pair.flags = std::uint8_t((fs > f ? kAboveFlag : 0) | (fs == f ? kExactFlag : 0));
      kept = pair;
    }
  }
  return kept;
}

RegisterWords RegisterWordsFor(int pllOption, int family, const DividerPair& pair, std::uint32_t hz,
                               double offsetHz) {
  switch (pllOption) {
  case kSm5170Old: return {pair.r * 256 + 0x11, pair.n * 128};
  case kMb15e03New: {
    // The loop frequency over the chip's raster, rounded up, in exact integers.
    const std::int64_t loop = std::int64_t(hz) + std::int64_t(offsetHz);
    const std::int64_t raster = MbRaster(family);
    const std::int64_t steps = loop > 0 ? (loop + raster - 1) / raster : 0;
    const std::uint32_t ref = family == kBand900 ? kMbReference900 : kMbReferenceOther;
    return {2 * ref + kMbWordBase, std::uint32_t(2 * steps)};
  }
  default: return {pair.r * 16 + 1, pair.n * 2};
  }
}

std::string WordHexText(std::uint32_t word) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%06X", unsigned(word & kWordMask));
  return buf;
}

std::string RWordText(const Codeplug& cp) { return WordHexText(cp.Word24(map::kRWord)); }
std::string NWordText(const Codeplug& cp) { return WordHexText(cp.Word24(map::kNWord)); }

std::uint32_t FrequencyHzFromImage(const Codeplug& cp) {
  const int family = cp.CodeplugBandFamily;
  if (!ValidFamily(family)) return 0;
  const int option = cp.Rf.PllIcOption;
  const StoredDividers d = DecodeStoredDividers(option, cp.Word24(map::kRWord), cp.Word24(map::kNWord));
  double step;
  if (option == kMb15e03New) {
    step = MbRaster(family);
  } else {
    if (d.r == 0) return 0; // blank words: no frequency rather than a division by zero
    step = double(cp.Rf.Multiplier[std::size_t(family)]) * double(cp.Rf.ReferenceFrequency) / double(d.r);
  }
  const bool highSide = ImageMarksHighSide(cp);
  const double fs = double(d.n) * step - SignedOffset(highSide, cp.Rf.IfOffset);
  return RoundToRaster(fs);
}

std::string FrequencyFromImage(const Codeplug& cp) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%3.4f", double(FrequencyHzFromImage(cp)) / kHz);
  return buf;
}

// ---- The field ------------------------------------------------------------------------------

void FrequencyFieldEnter(FrequencyField& field, const std::string& text) {
  field.LastGoodFrequencyText = text;
}

FrequencyOutcome ValidateFrequency(Codeplug& cp, FrequencyField& field, std::string& text,
                                   Messages& out) {
  FrequencyOutcome result;
  bool corrected = false;
  const BandRow* band = CurrentBand(cp);

  auto refuse = [&](int indent, std::string_view tail) {
    out.push_back(Plain(std::string(std::size_t(indent), ' ') + std::string(kErrorHead) + text +
                        std::string(tail)));
    text = field.LastGoodFrequencyText;
    field.FieldInvalid = true;
    result.focusBack = true;
    return result;
  };

  if (text.empty()) {
    if (band) text = std::string(band->resetText);
    out.push_back(Plain(std::string(kOutOfRangeText) + text));
    field.FieldInvalid = true;
    corrected = true;
  }

  int dots = 0;
  bool onlyNumeric = true;
  for (char c : text) {
    if (c == '.') ++dots;
    else if (!IsDigit(c)) onlyNumeric = false;
  }
  // Pasted text can bypass the key filter; it is no number either.
  if (dots > 1 || !onlyNumeric) return refuse(kNotFloatIndent, kNotFloatTail);

  std::uint32_t hz = ParseFrequencyText(text);
  if (band && (hz < band->lowHz || hz > band->highHz)) {
    out.push_back(Plain(std::string(kOutOfRangeText) + std::string(band->resetText)));
    hz = band->resetHz;
    field.FieldInvalid = true;
    corrected = true;
  }

  if (hz % kRasterHz != 0) return refuse(kNotSupportedIndent, kNotSupportedTail);
  const int family = cp.CodeplugBandFamily;
  const int option = cp.Rf.PllIcOption;
  const std::optional<SearchParameters> params = SearchParametersFor(family, option);
  if (!params) return refuse(kNotSupportedIndent, kNotSupportedTail);
  const double offset = SignedOffset(cp.Rf.HighSideInjection, cp.Rf.IfOffset);
  const std::optional<DividerPair> pair =
      SearchDividers(hz, offset, double(cp.Rf.ReferenceFrequency), *params);
  if (!pair) return refuse(kNotSupportedIndent, kNotSupportedTail);
  const RegisterWords words = RegisterWordsFor(option, family, *pair, hz, offset);
  if (!FitsWords(words)) return refuse(kNotSupportedIndent, kNotSupportedTail);

  StoreWords(cp, words);
  std::uint8_t& configB = cp.At(map::kRfOption2);
  configB = std::uint8_t((configB & ~map::kSearchFlagsMask) | pair->flags);
  result.stored = true;
  result.rText = RWordText(cp);
  result.nText = NWordText(cp);

  text = FrequencyFromImage(cp);
  field.LastGoodFrequencyText = text;
  result.accepted = !corrected;
  result.focusBack = field.FieldInvalid;
  return result;
}

// ---- Radio groups and refill helpers --------------------------------------------------------

void SetBandOption(Codeplug& cp, int item) {
  std::uint8_t& band = cp.At(map::kBandByte);
  if (item == 0) band = std::uint8_t(band & ~map::kNarrowBandBit);
  else if (item == 1) band = std::uint8_t(band | map::kNarrowBandBit);
}

int BandOptionItem(const Codeplug& cp) {
  return (cp.WorkingImage[map::kBandByte] & map::kNarrowBandBit) ? 1 : 0;
}

void SetPllIcOption(Codeplug& cp, int item) {
  const int column = ChipColumn(cp);
  if (item < 0 || item >= int(kChipTable.size()) || column < 0) return;
  const ChipRow& row = kChipTable[std::size_t(item)];
  const ChipBytes& bytes = row.column[std::size_t(column)];
  std::uint8_t& a = cp.At(map::kRfOption1);
  std::uint8_t& b = cp.At(map::kRfOption2);
  if (bytes.a != kUnchanged) a = std::uint8_t(bytes.a);
  if (bytes.b != kUnchanged) b = std::uint8_t(bytes.b);
  b |= bytes.bSet;
  if (row.retype) b = std::uint8_t((b & ~kTypeBits) | row.typeBits);
  cp.DeriveRfQuantities();
}

int InferSubBand(int family, bool highSideInjection, std::uint32_t hz) {
  const auto in = [hz](std::uint32_t lowMHz, std::uint32_t highMHz, bool highIncluded) {
    return hz >= lowMHz * kHz && (highIncluded ? hz <= highMHz * kHz : hz < highMHz * kHz);
  };
  if (family == kBandVhf) {
    if (in(143, 153, false)) return 1;
    if (in(153, 163, false)) return 2;
    if (in(163, 174, true)) return 3;
    if (in(137, 143, false)) return highSideInjection ? kSubBandVhfDHighSide : 7;
  } else if (family == kBandUhf) {
    if (in(450, 460, false)) return 4;
    if (in(460, 470, true)) return 5;
  }
  return 0;
}

bool InferSubBandFromImage(Codeplug& cp) {
  const int family = cp.CodeplugBandFamily;
  if ((family != kBandVhf && family != kBandUhf) || cp.CodeplugSubBand != 0) return false;
  const int sub = InferSubBand(family, cp.Rf.HighSideInjection, FrequencyHzFromImage(cp));
  std::uint8_t& band = cp.At(map::kBandByte);
  band = std::uint8_t((band & ~map::kSubBandMask) | (sub << 3));
  cp.CodeplugSubBand = sub;
  return sub != 0;
}

void MarkExactDividerFlag(Codeplug& cp) {
  const int family = cp.CodeplugBandFamily;
  if (!ValidFamily(family) || cp.Rf.ChannelStep == 0) return;
  const std::uint64_t plain = std::uint64_t(cp.Rf.ReferenceFrequency) *
                              std::uint64_t(cp.Rf.Multiplier[std::size_t(family)]) / cp.Rf.ChannelStep;
  if (std::uint64_t(cp.Word24(map::kRWord)) == plain * 64 + 17) cp.At(map::kRfOption2) |= kExactFlag;
}

bool ReencodeFrequencyForPager(Codeplug& cp, std::uint8_t pagerA, std::uint8_t pagerB,
                               std::uint8_t pagerBand) {
  const int family = cp.CodeplugBandFamily;
  const int ownOption = cp.Rf.PllIcOption;
  const std::optional<SearchParameters> own = SearchParametersFor(family, ownOption);
  if (!own) return false;

  // The frequency the codeplug holds, decoded with its own chip's step.
  const StoredDividers d = DecodeStoredDividers(ownOption, cp.Word24(map::kRWord), cp.Word24(map::kNWord));
  double step;
  if (ownOption == kMb15e03New) {
    step = MbRaster(family);
  } else {
    if (d.r == 0) return false;
    step = double(own->stepMultiplier) * double(cp.Rf.ReferenceFrequency) / double(d.r);
  }
  const bool highSide = ImageMarksHighSide(cp);
  const double offset = SignedOffset(highSide, cp.Rf.IfOffset);
  const std::uint32_t hz = RoundToRaster(double(d.n) * step - offset);
  if (hz == 0) return false;

  const int pagerOption = PllOptionOf(pagerB);
  const std::optional<SearchParameters> params = SearchParametersFor(family, pagerOption);
  if (!params) return false;
  const std::optional<DividerPair> pair =
      SearchDividers(hz, offset, double(cp.Rf.ReferenceFrequency), *params);
  if (!pair) return false;
  const RegisterWords words = RegisterWordsFor(pagerOption, family, *pair, hz, offset);
  if (!FitsWords(words)) return false;

  StoreWords(cp, words);
  cp.At(map::kRfOption1) = pagerA;
  cp.At(map::kRfOption2) = pagerB;
  cp.At(map::kBandByte) = pagerBand;
  return true;
}

} // namespace pw
