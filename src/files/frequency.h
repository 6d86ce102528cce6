// Frequency and band rules: the typed frequency, the synthesizer words that encode it, and
// the band families and sub-bands of the receiver.
#pragma once

#include <cstdint>
#include <string>

#include "base/message.h"
#include "codeplug/codeplug.h"

namespace pw {

// Re-encodes the frequency programmed in the image for a pager whose own configuration
// bytes are pagerA (0x00A), pagerB (0x00B) and whose band byte is pagerBand. When a divider
// pair is found, the register words are stored and the pager's three bytes replace the
// image's; otherwise nothing changes. Returns whether the image was re-encoded.
bool ReencodeFrequencyForPager(Codeplug& cp, std::uint8_t pagerA, std::uint8_t pagerB,
                               std::uint8_t pagerBand);

} // namespace pw
