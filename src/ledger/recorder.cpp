// SPDX-License-Identifier: GPL-3.0-or-later
#include "ledger/recorder.h"

namespace pw::ledger {

Recorder::Recorder(std::unique_ptr<Ledger> primary, std::string bench, std::string localUrl)
    : primary_(std::move(primary)), bench_(std::move(bench)), localUrl_(std::move(localUrl)) {}

bool Recorder::ServerResting() const {
  return failed_ && std::chrono::steady_clock::now() - failedAt_ < retryPause_;
}

std::string Recorder::Begin(Attempt& attempt) {
  attempt.bench = bench_;
  return Write(attempt, false);
}

std::string Recorder::Complete(Attempt& attempt) {
  return Write(attempt, true);
}

std::string Recorder::Write(Attempt& attempt, bool completion) {
  if (completion)
    Ledger::PrepareEnd(attempt);
  else
    Ledger::PrepareStart(attempt);
  // An attempt whose start was kept locally ends there too, so its two entries stay together.
  const bool followLocal = completion && keptAttempt_ == attempt.id;
  std::string error;
  if (followLocal) {
    error = "the database could not take the start of this unit";
  } else if (ServerResting()) {
    error = "the database did not answer a moment ago";
  } else if (failed_ && !primary_->Reachable()) {
    error = "the connection to the database is lost";
  } else {
    const bool ok =
        completion ? primary_->Complete(attempt, &error) : primary_->Begin(attempt, &error);
    if (ok) {
      failed_ = false;
      return {};
    }
  }
  if (!followLocal) {
    failed_ = true;
    failedAt_ = std::chrono::steady_clock::now();
  }
  std::string warning = "Cannot write the ledger " + primary_->Shown() + ": " + error;
  if (primary_->engine() == Engine::Postgresql) {
    if (!local_) {
      Ledger::Opened opened = Ledger::Open(localUrl_);
      local_ = std::move(opened.ledger);
      if (!local_)
        warning += "\n" + opened.message;
    }
    std::string localError;
    if (local_ && local_->Keep(attempt, completion, primary_->Shown(), &localError)) {
      if (!completion)
        keptAttempt_ = attempt.id;
      warning += "\nThe record is kept in " + local_->Shown() +
                 " until `pagewright-cli ledger sync` sends it.";
    } else if (local_) {
      warning += "\nNor could it be kept in " + local_->Shown() + ": " + localError;
    }
  }
  if (warnedAttempt_ == attempt.id)
    return {};
  warnedAttempt_ = attempt.id;
  return warning;
}

} // namespace pw::ledger
