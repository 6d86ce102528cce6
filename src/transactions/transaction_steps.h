// Steps the Read and Program transactions share: reopening the port, the version query and
// stamp read with their Retry/Cancel question, the stamp refusal, block reads and the
// message boxes.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "transactions/transactions.h"

namespace pw::steps {

void ShowFail(Host& host, std::string_view text); // "Error" with the error icon
void ShowInfo(Host& host, std::string_view text); // plain box
void ShowWarning(Host& host, std::string_view text);
void ShowInformation(Host& host, std::string_view text);

// Purge, close, reopen at 1200 8N1, purge.
void ReopenPort(TransactionContext& ctx);

// The version query and the stamp read. A missing reply asks Retry/Cancel and Retry asks the
// pager again without reopening the port; afterVersion runs after every good version reply
// and ends the transaction when it returns false. Every other failure shows its box.
// True when both succeeded.
bool QueryVersionAndStamp(TransactionContext& ctx, std::string_view failText,
                          const std::function<bool()>& afterVersion);

// A pager programmed by a later release: the label shows its stamp while the warning is up.
// True when the pager was refused.
bool RefuseNewerStamp(TransactionContext& ctx, std::string_view warning);

// One block read into the link's ReceiveBuffer; true on success.
bool ReadPagerBlock(TransactionContext& ctx, std::uint16_t address, int count,
                    int mode = kProgressNone);

// "R" followed by the six stamp digits, as lblCodeplug_Version shows it.
std::string CodeplugVersionText(std::string_view stamp);

} // namespace pw::steps
