// SPDX-License-Identifier: GPL-3.0-or-later
// The progress line of the command line, and the port that tells it the current step.
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "app/cli/cli.h"
#include "codeplug/memory_map.h"
#include "transactions/outcome.h"

namespace pw::cli {

namespace {

// The step a request belongs to, from its first three bytes: the command letters, or the
// read or write letter and the address. Reads after a write in the same transaction are the
// verify.
TransactionStep StepOfRequest(const std::uint8_t* head, bool wroteAlready) {
  if (head[0] == 'S')
    return head[2] == 'j' ? TransactionStep::FirmwareVersion : TransactionStep::Reset;
  const unsigned address = unsigned(head[1]) << 8 | head[2];
  if (head[0] == 'w') {
    switch (address) {
    case map::kPage0Start:
      return TransactionStep::WritePage0;
    case map::kPage1Start:
      return TransactionStep::WritePage1;
    case map::kPatchSignature:
      return TransactionStep::WriteHeader;
    case map::kPagerId:
      return TransactionStep::WritePagerId;
    default:
      return address < map::kPatchSignature ? TransactionStep::Eeprom : TransactionStep::WritePatch;
    }
  }
  if (wroteAlready)
    return TransactionStep::Verify;
  struct Row {
    unsigned address;
    TransactionStep step;
  };
  static constexpr Row kReads[] = {
      {kStampAddress, TransactionStep::SoftwareStamp},
      {map::kPagerId, TransactionStep::PagerId},
      {map::kMarker, TransactionStep::Marker},
      {map::kBandByte, TransactionStep::Band},
      {map::kPatchSignature, TransactionStep::PatchHeader},
      {map::kSerialNumber, TransactionStep::SerialNumber},
      {map::kPage0Start, TransactionStep::Page0},
      {map::kPage1Start, TransactionStep::Page1},
  };
  for (const Row& row : kReads)
    if (row.address == address)
      return row.step;
  return address > map::kPatchSignature ? TransactionStep::Patch
                                        : TransactionStep::PagerConfiguration;
}

// What the progress line calls a step: what the program is doing now.
std::string_view PhaseName(TransactionStep step) {
  struct Row {
    TransactionStep step;
    std::string_view name;
  };
  static constexpr Row kPhases[] = {
      {TransactionStep::Backup, "backing up"},
      {TransactionStep::WritePage0, "writing page 0"},
      {TransactionStep::WritePage1, "writing page 1"},
      {TransactionStep::WriteHeader, "writing the patch header"},
      {TransactionStep::WritePatch, "writing the patch"},
      {TransactionStep::WritePagerId, "writing the pager ID"},
      {TransactionStep::Eeprom, "writing the EEPROM"},
      {TransactionStep::Verify, "verifying"},
      {TransactionStep::Reset, "resetting the pager"},
      {TransactionStep::Page0, "reading page 0"},
      {TransactionStep::Page1, "reading page 1"},
      {TransactionStep::Patch, "reading the patch"},
  };
  for (const Row& row : kPhases)
    if (row.step == step)
      return row.name;
  return StepName(step);
}

class StepWatchingPort final : public SerialPort {
public:
  StepWatchingPort(std::unique_ptr<SerialPort> inner, ProgressLine& line)
      : inner_(std::move(inner)), line_(line) {}

  bool Open(std::int32_t baudRate, std::uint8_t parity, std::uint8_t dataBits,
            float stopBits) override {
    return inner_->Open(baudRate, parity, dataBits, stopBits);
  }
  bool Close() override { return inner_->Close(); }
  bool ReadByte(std::uint8_t& b) override { return inner_->ReadByte(b); }
  bool IsOpen() const override { return inner_->IsOpen(); }
  bool SetReadTimeout(std::uint32_t ms) override { return inner_->SetReadTimeout(ms); }
  // Every request of the link begins with a purge.
  bool Purge() override {
    taken_ = 0;
    return inner_->Purge();
  }
  // Commands and writes are known by their first three bytes, reads by their whole header
  // (address and length).
  bool WriteByte(std::uint8_t b) override {
    if (taken_ < sizeof head_) {
      head_[taken_++] = b;
      if (taken_ == (head_[0] == 'r' ? sizeof head_ : 3))
        Noticed(StepOfRequest(head_, wrote_));
    }
    return inner_->WriteByte(b);
  }

private:
  void Noticed(TransactionStep step) {
    if (step == TransactionStep::FirmwareVersion)
      wrote_ = configured_ = false; // a new transaction
    if (head_[0] == 'w')
      wrote_ = true;
    if (step == TransactionStep::PagerConfiguration)
      configured_ = true;
    // After the pager's configuration, a Program reads whole pages only for its backup.
    const bool wholePage = head_[3] == 0 && head_[4] == 0xFF && head_[2] == 0;
    if (head_[0] == 'r' && configured_ && !wrote_ && wholePage)
      step = TransactionStep::Backup;
    taken_ = sizeof head_;
    line_.SetStep(PhaseName(step));
  }

  std::unique_ptr<SerialPort> inner_;
  ProgressLine& line_;
  std::uint8_t head_[5]{};
  std::size_t taken_ = sizeof head_;
  bool wrote_ = false;
  bool configured_ = false;
};

} // namespace

bool StderrIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(fileno(stderr)) != 0;
#endif
}

std::unique_ptr<SerialPort> WatchSteps(std::unique_ptr<SerialPort> port, ProgressLine& line) {
  if (!port)
    return port;
  return std::make_unique<StepWatchingPort>(std::move(port), line);
}

void ProgressLine::SetPercent(int percent) {
  // A transaction puts the gauge back to 0 when it ends, whatever the end.
  if (percent == 0 && percent_ > 0) {
    Finish();
    return;
  }
  percent_ = percent;
  Draw();
}

void ProgressLine::SetStep(std::string_view step) {
  if (!status_.empty())
    return; // the batch's quiet polls between pagers
  step_ = step;
  Draw();
}

void ProgressLine::SetStatus(std::string_view status) {
  status_ = status;
  step_.clear();
  percent_ = 0;
  if (status_.empty())
    Clear();
  else
    Draw();
}

void ProgressLine::Draw() {
  if (!enabled_)
    return;
  std::string text;
  if (!status_.empty()) {
    text = status_ + " ...";
  } else if (!step_.empty()) {
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", percent_);
    text = std::string(percent) + "  " + step_;
  }
  if (text == shown_)
    return;
  if (Sink) {
    shown_ = std::move(text);
    Sink(shown_);
    return;
  }
  // Spaces wipe out what a longer line left behind; the cursor stays at the line's end.
  std::string out = "\r" + text;
  if (shown_.size() > text.size()) {
    out.append(shown_.size() - text.size(), ' ');
    out += "\r" + text;
  }
  std::fputs(out.c_str(), stderr);
  std::fflush(stderr);
  shown_ = std::move(text);
}

void ProgressLine::Clear() {
  if (!enabled_ || shown_.empty())
    return;
  if (Sink) {
    shown_.clear();
    Sink(shown_);
    return;
  }
  std::fputs(("\r" + std::string(shown_.size(), ' ') + "\r").c_str(), stderr);
  std::fflush(stderr);
  shown_.clear();
}

} // namespace pw::cli
