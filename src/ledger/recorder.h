// SPDX-License-Identifier: GPL-3.0-or-later
// What a Program, a batch or a restore writes its attempts through: the ledger the user chose,
// and when that is a server that has gone away, the local SQLite ledger, which keeps the
// entries until `ledger sync` pushes them. A pager is never held waiting for the server: after
// a failure the server is tried again only for a later unit, once a pause has passed.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "ledger/ledger.h"

namespace pw::ledger {

class Recorder {
public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  // primary: the chosen ledger; localUrl: where the entries go while a server cannot take them
  // ("" the user's default SQLite file).
  Recorder(std::unique_ptr<Ledger> primary, std::string bench, std::string localUrl = {});

  const std::string& Bench() const { return bench_; }
  void SetBench(std::string bench) { bench_ = std::move(bench); }
  Ledger& Primary() { return *primary_; }
  // How long the server rests after a failure before a unit tries it again.
  void SetRetryPause(std::chrono::milliseconds pause) { retryPause_ = pause; }

  // The attempt starts (its bench is set here) and ends. Each answers a warning for the user,
  // empty when all went well; an attempt is warned of once.
  std::string Begin(Attempt& attempt);
  std::string Complete(Attempt& attempt);

private:
  std::string Write(Attempt& attempt, bool completion);
  bool ServerResting() const;

  std::unique_ptr<Ledger> primary_;
  std::unique_ptr<Ledger> local_;
  std::string bench_;
  std::string localUrl_;
  std::string warnedAttempt_;
  std::string keptAttempt_; // an attempt whose start went local: its end follows it there
  std::chrono::milliseconds retryPause_{30000};
  std::chrono::steady_clock::time_point failedAt_{};
  bool failed_ = false;
};

} // namespace pw::ledger
