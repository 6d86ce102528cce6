// SPDX-License-Identifier: GPL-3.0-or-later
// What the fuzz targets share: a pager line whose every reply byte comes from the fuzz input,
// a host that answers from it, the time a transaction may still take once the line has
// fallen silent, and the property that a codeplug taken into memory saves and loads again.
// A broken property aborts, so libFuzzer keeps the input that broke it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/host.h"
#include "codeplug/codeplug.h"
#include "files/data_file.h"
#include "link/serial_port.h"
#include "transactions/transactions.h"

namespace pw::fuzz {

[[noreturn]] inline void Broken(const char* property, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, property);
  std::abort();
}
#define PW_PROPERTY(condition)                                                                     \
  do {                                                                                             \
    if (!(condition))                                                                              \
      ::pw::fuzz::Broken(#condition, __FILE__, __LINE__);                                          \
  } while (0)

// One byte on the line at 1200 baud, 8N1: ten bits, rounded up.
inline constexpr std::uint32_t kByteTimeMs = 9;
// In the reply stream 0xFF starts an escape: FF 00 is the byte 0xFF itself, FF k (k > 0) is
// k x 100 ms of silence before the next byte.
inline constexpr std::uint8_t kEscape = 0xFF;
inline constexpr std::uint32_t kSilenceStepMs = 100;

// The longest a transaction may still wait once the line is dead: three reset attempts, each
// seven request bytes at 50 ms and one read time-out. A write waiting for its completion
// byte gives up sooner (10000 ms and one time-out).
inline constexpr std::uint64_t kDeadLineBudgetMs = 3 * (7 * 50 + kReadTimeoutMs) + 2 * 100;

// A serial line to a pager that answers with the bytes of the fuzz input. Each request burst
// and the replies read after it form one exchange, kept for the properties.
class ScriptedLine final : public SerialPort {
public:
  ScriptedLine(const std::uint8_t* data, std::size_t size, VirtualClock& clock) : clock_(clock) {
    for (std::size_t i = 0; i < size; ++i) {
      if (data[i] != kEscape) {
        events_.push_back({false, data[i]});
      } else if (i + 1 < size) {
        ++i;
        events_.push_back({data[i] != 0, data[i] == 0 ? kEscape : data[i]});
      }
    }
  }

  bool Open(std::int32_t, std::uint8_t, std::uint8_t, float) override { return open_ = true; }
  bool Close() override {
    open_ = false;
    return true;
  }
  bool Purge() override { return open_; }
  bool IsOpen() const override { return open_; }

  bool WriteByte(std::uint8_t b) override {
    if (!open_)
      return false;
    if (exchanges.empty() || !exchanges.back().replies.empty())
      exchanges.emplace_back();
    exchanges.back().request.push_back(b);
    return true;
  }

  bool ReadByte(std::uint8_t& b) override {
    if (!open_)
      return false;
    while (next_ < events_.size() && events_[next_].silence)
      silenceMs_ += kSilenceStepMs * events_[next_++].value;
    if (next_ == events_.size() && !deadSince)
      deadSince = clock_.Ticks();
    if (next_ == events_.size() || silenceMs_ >= kReadTimeoutMs) {
      silenceMs_ -= std::min<std::uint64_t>(silenceMs_, kReadTimeoutMs);
      clock_.Advance(kReadTimeoutMs);
      return false;
    }
    clock_.Advance(silenceMs_ + kByteTimeMs);
    silenceMs_ = 0;
    b = events_[next_++].value;
    if (exchanges.empty())
      exchanges.emplace_back();
    exchanges.back().replies.push_back(b);
    return true;
  }

  // Whether the transaction ended within the budget after the line fell silent.
  bool EndedInTime() const {
    return !deadSince || clock_.Ticks() - *deadSince <= kDeadLineBudgetMs;
  }

  struct Exchange {
    std::vector<std::uint8_t> request;
    std::vector<std::uint8_t> replies;
  };
  std::vector<Exchange> exchanges;
  std::optional<std::uint64_t> deadSince; // when a reply was first asked for that never came

private:
  struct Event {
    bool silence;
    std::uint8_t value; // the byte, or the silence in 100 ms steps
  };
  VirtualClock& clock_;
  std::vector<Event> events_;
  std::size_t next_ = 0;
  std::uint64_t silenceMs_ = 0;
  bool open_ = true;
};

// A user at the window: presses Retry a few times while the line still answers, answers
// Yes/No as the input says, and never sees the gauge leave 0-100.
class FuzzHost final : public Host {
public:
  FuzzHost(int retries, bool yes, const ScriptedLine& line)
      : retries_(retries), yes_(yes), line_(line) {}
  void Show(const Message& m) override { shown.push_back(m); }
  bool AskRetryCancel(const Message& m) override {
    shown.push_back(m);
    if (retries_ == 0 || line_.deadSince)
      return false;
    --retries_;
    return true;
  }
  bool AskYesNo(const Message& m, bool) override {
    shown.push_back(m);
    return yes_;
  }
  void SetProgress(int percent) override {
    PW_PROPERTY(percent >= 0 && percent <= 100);
    progress_ = percent;
  }
  int Progress() const override { return progress_; }
  void PumpMessages() override {}
  void SetText(const std::string& control, const std::string& text) override {
    texts_[control] = text;
  }
  std::string Text(const std::string& control) const override {
    auto it = texts_.find(control);
    return it == texts_.end() ? std::string() : it->second;
  }

  std::vector<Message> shown;

private:
  int retries_;
  bool yes_;
  const ScriptedLine& line_;
  int progress_ = 0;
  std::map<std::string, std::string> texts_;
};

// The first input byte of a transaction target: bits 0-1 the Retry presses, bit 2 the
// Yes/No answer, bit 3 the "LED Flash stay on" choice in the codeplug.
struct Options {
  int retries;
  bool yes;
  bool ledFlash;
  static Options From(std::uint8_t b) { return {b & 3, (b & 4) != 0, (b & 8) != 0}; }
};

// What a failed Read or Load must leave as it was.
struct CodeplugState {
  Image image;
  int bandFamily, subBand, patchVersion;
  std::uint32_t firmware;
  bool ledStayOn, timerEdited;
  bool operator==(const CodeplugState&) const = default;
  static CodeplugState Of(const Codeplug& cp) {
    return {cp.WorkingImage,         cp.CodeplugBandFamily,   cp.CodeplugSubBand,
            cp.PatchVersion,         cp.ImageFirmwareVersion, cp.LedStayOnCapable,
            cp.OutOfRangeTimerEdited};
  }
};

// A codeplug in memory agrees with itself: the band and patch version kept beside the image
// are the image's own.
inline void CheckCodeplugAgrees(const Codeplug& cp) {
  const std::uint8_t band = cp.WorkingImage[map::kBandByte];
  PW_PROPERTY(cp.CodeplugBandFamily == map::BandFamily(band));
  PW_PROPERTY(cp.CodeplugSubBand == map::SubBand(band));
  PW_PROPERTY(cp.PatchVersion == InspectPatch(cp.WorkingImage).version);
}

// Saves a copy of the codeplug as the Save command prepares it and loads the text again:
// it must be accepted and give back the saved image.
inline void CheckSavesAndLoadsAgain(const Codeplug& cp) {
  Codeplug saved = cp;
  PrepareForSave(saved);
  Messages messages;
  PW_PROPERTY(PrepareImageForSave(saved, messages));
  const LoadedFile back = LoadDataFile(WriteDataFile(saved.WorkingImage));
  PW_PROPERTY(back.ok);
  PW_PROPERTY(back.image == saved.WorkingImage);
  PW_PROPERTY(back.bandFamily == saved.CodeplugBandFamily && back.subBand == saved.CodeplugSubBand);
  PW_PROPERTY(back.patchVersion == saved.PatchVersion);
}

// The codeplug in memory before a transaction: the built-in default, marked so that any byte
// a failed Read lets through shows.
inline const Codeplug& StartingCodeplug() {
  static const Codeplug cp = [] {
    Codeplug c;
    const char serial[] = "FUZZ000001";
    std::copy_n(serial, map::kSerialNumberLength, c.WorkingImage.begin() + map::kSerialNumber);
    c.WorkingImage[map::AlertBlock(1) + map::kBlockRepeat] = 9;
    c.UpdatePageChecksums();
    return c;
  }();
  return cp;
}

} // namespace pw::fuzz
