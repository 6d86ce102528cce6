// SPDX-License-Identifier: GPL-3.0-or-later
// Steps the transactions share: reopening the port, the version query and stamp read with
// their Retry/Cancel question, the stamp refusal, block reads, the read-back of written
// blocks, the reset and the message boxes.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "transactions/transactions.h"

namespace pw::steps {

// What a run of block reads does between its blocks. stop is asked before each block: true
// ends the run there with Ending::Interrupted. countBytes moves the gauge byte by byte, the
// run's bytes counted from the link's ProgressBase on (the gauge of a Program whose backup
// and verify take their share of it).
struct BlockRun {
  std::function<bool()> stop{};
  bool countBytes = false;
};
bool StopRequested(const BlockRun& run);

void ShowFail(Host& host, std::string_view text); // "Error" with the error icon
void ShowInfo(Host& host, std::string_view text); // plain box
void ShowWarning(Host& host, std::string_view text);
void ShowInformation(Host& host, std::string_view text);

// Purge, close, reopen at 1200 8N1, purge.
void ReopenPort(TransactionContext& ctx);

// The version query and the stamp read. A missing reply asks Retry/Cancel and Retry asks the
// pager again without reopening the port; afterVersion runs after every good version reply
// and ends the transaction (as cancelled) when it returns false. Every other failure shows
// its box. True when both succeeded; otherwise outcome says where it ended. The firmware
// and the stamp go into outcome as they arrive.
bool QueryVersionAndStamp(TransactionContext& ctx, std::string_view failText,
                          const std::function<bool()>& afterVersion, TransactionOutcome& outcome);

// A pager programmed by a later release: the label shows its stamp while the warning is up.
// True when the pager was refused.
bool RefuseNewerStamp(TransactionContext& ctx, std::string_view warning);

// One block read into the link's ReceiveBuffer.
LinkResult ReadPagerBlock(TransactionContext& ctx, std::uint16_t address, int count,
                          int mode = kProgressNone);

// Records a failed link exchange in outcome.
void LinkFailed(TransactionOutcome& outcome, TransactionStep step, LinkResult result,
                std::uint16_t address);

// Reads every block back and compares it with image, in order, with a pause after each
// read, the way run says. True when all match; otherwise outcome holds the failed read (a link
// failure) or the first differing byte (a mismatch). Shows nothing.
bool VerifyBlocks(TransactionContext& ctx, const Image& image, std::span<const WrittenBlock> blocks,
                  TransactionOutcome& outcome, const BlockRun& run = {});

// "Verify Error at EEPROM address 0x01A6" followed by the advice.
std::string VerifyErrorText(std::uint16_t address, std::string_view advice);

// "SUniRST" up to three times, until the pager acknowledges it; the last result.
LinkResult ResetPager(TransactionContext& ctx);

// The whole EEPROM in blocks of one page, with the Read's pause before each; the gauge
// follows block by block when showProgress, or as run says. True when every block arrived;
// otherwise outcome holds the failed read. Shows nothing.
bool ReadWholeEeprom(TransactionContext& ctx, Image& eeprom, bool showProgress,
                     TransactionOutcome& outcome, const BlockRun& run = {});

// The ten serial-number characters of an image or a received block, as text.
std::string SerialNumberText(const std::uint8_t* serial);

// "R" followed by the six stamp digits, as lblCodeplug_Version shows it.
std::string CodeplugVersionText(std::string_view stamp);

} // namespace pw::steps
