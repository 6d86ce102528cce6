// SPDX-License-Identifier: GPL-3.0-or-later
// The device control block (DCB) of a Windows COM port, filled from the line parameters alone.
// Serial drivers keep these settings between opens, so a port another program left with
// XON/XOFF on would swallow the byte 0x11 of a pager's reply; here every field that changes how
// bytes pass is set, and nothing the driver held survives but its reserved bits. A template
// over the block's type, so the rule is tested on any system against a block with the same
// fields.
#pragma once

#include <cstdint>

#include "link/serial_port.h"

namespace pw::dcb {

// The values Windows gives these settings (winbase.h).
inline constexpr std::uint8_t kNoParity = 0;
inline constexpr std::uint8_t kOneStopBit = 0;
inline constexpr std::uint8_t kOne5StopBits = 1;
inline constexpr std::uint8_t kTwoStopBits = 2;
inline constexpr unsigned kDtrControlEnable = 1;
inline constexpr unsigned kRtsControlEnable = 1;
inline constexpr char kXonChar = 0x11;
inline constexpr char kXoffChar = 0x13;
// Unused while input flow control is off, and small enough for any driver's input buffer
// (SetCommState refuses limits beyond it).
inline constexpr std::uint16_t kXonLimit = 256;
inline constexpr std::uint16_t kXoffLimit = 256;

inline std::uint8_t StopBitsSetting(float stopBits) {
  switch (StopBitsFromFloat(stopBits)) {
  case StopBits::OneAndHalf:
    return kOne5StopBits;
  case StopBits::Two:
    return kTwoStopBits;
  case StopBits::One:
    break;
  }
  return kOneStopBit;
}

// Binary transfer, parity checked when the line has parity, DTR and RTS held on, and no flow
// control, DSR sensitivity, null stripping, error or event character, or abort on error.
template <class Block>
void FillDeviceControlBlock(Block& block, std::int32_t baudRate, std::uint8_t parity,
                            std::uint8_t dataBits, float stopBits) {
  block.DCBlength = sizeof(Block);
  block.BaudRate = static_cast<std::uint32_t>(baudRate);
  block.fBinary = 1;
  block.fParity = parity != kNoParity ? 1 : 0;
  block.fOutxCtsFlow = 0;
  block.fOutxDsrFlow = 0;
  block.fDtrControl = kDtrControlEnable;
  block.fDsrSensitivity = 0;
  block.fTXContinueOnXoff = 1;
  block.fOutX = 0;
  block.fInX = 0;
  block.fErrorChar = 0;
  block.fNull = 0;
  block.fRtsControl = kRtsControlEnable;
  block.fAbortOnError = 0;
  block.wReserved = 0;
  block.XonLim = kXonLimit;
  block.XoffLim = kXoffLimit;
  block.ByteSize = dataBits;
  block.Parity = parity;
  block.StopBits = StopBitsSetting(stopBits);
  block.XonChar = kXonChar;
  block.XoffChar = kXoffChar;
  block.ErrorChar = 0;
  block.EofChar = 0;
  block.EvtChar = 0;
}

} // namespace pw::dcb
