// SPDX-License-Identifier: GPL-3.0-or-later
// The line settings a Windows COM port is opened with, whatever state another program left
// the port in.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <tuple>

#include "link/device_control.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace pw {
namespace {

#ifdef _WIN32
using Block = DCB;
#else
// The device control block with Windows' field names and widths.
struct Block {
  std::uint32_t DCBlength;
  std::uint32_t BaudRate;
  std::uint32_t fBinary : 1;
  std::uint32_t fParity : 1;
  std::uint32_t fOutxCtsFlow : 1;
  std::uint32_t fOutxDsrFlow : 1;
  std::uint32_t fDtrControl : 2;
  std::uint32_t fDsrSensitivity : 1;
  std::uint32_t fTXContinueOnXoff : 1;
  std::uint32_t fOutX : 1;
  std::uint32_t fInX : 1;
  std::uint32_t fErrorChar : 1;
  std::uint32_t fNull : 1;
  std::uint32_t fRtsControl : 2;
  std::uint32_t fAbortOnError : 1;
  std::uint32_t fDummy2 : 17;
  std::uint16_t wReserved;
  std::uint16_t XonLim;
  std::uint16_t XoffLim;
  std::uint8_t ByteSize;
  std::uint8_t Parity;
  std::uint8_t StopBits;
  char XonChar;
  char XoffChar;
  char ErrorChar;
  char EofChar;
  char EvtChar;
  std::uint16_t wReserved1;
};
#endif

// Every field but the driver's reserved bits.
auto Fields(const Block& b) {
  return std::make_tuple(
      b.DCBlength, b.BaudRate, b.fBinary, b.fParity, b.fOutxCtsFlow, b.fOutxDsrFlow, b.fDtrControl,
      b.fDsrSensitivity, b.fTXContinueOnXoff, b.fOutX, b.fInX, b.fErrorChar, b.fNull,
      b.fRtsControl, b.fAbortOnError, b.wReserved, b.XonLim, b.XoffLim, b.ByteSize, b.Parity,
      b.StopBits, b.XonChar, b.XoffChar, b.ErrorChar, b.EofChar, b.EvtChar);
}

struct LineCase {
  const char* name;
  std::int32_t baud;
  std::uint8_t parity, dataBits;
  float stopBits;
  unsigned fParity;
  std::uint8_t stopSetting;
};

TEST(DeviceControlBlock, EveryFieldIsSetFromTheLineAloneWhateverThePortHeld) {
  const LineCase cases[] = {
      {"the pager's line, 1200 8N1", 1200, 0, 8, 1.0f, 0, 0},
      {"even parity is checked, two stop bits", 9600, 2, 7, 2.0f, 1, 2},
      {"odd parity, one and a half stop bits", 4800, 1, 8, 1.5f, 1, 1},
      {"an unknown stop-bit count sends one", 1200, 0, 8, 3.0f, 0, 0},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    // One port left with every flag and character set, one fresh from the driver.
    Block used, fresh;
    std::memset(&used, 0xFF, sizeof used);
    std::memset(&fresh, 0, sizeof fresh);
    dcb::FillDeviceControlBlock(used, c.baud, c.parity, c.dataBits, c.stopBits);
    dcb::FillDeviceControlBlock(fresh, c.baud, c.parity, c.dataBits, c.stopBits);
    EXPECT_EQ(Fields(used), Fields(fresh));

    const Block& b = used;
    EXPECT_EQ(b.DCBlength, sizeof(Block));
    EXPECT_EQ(b.BaudRate, static_cast<std::uint32_t>(c.baud));
    EXPECT_EQ(std::make_tuple(b.ByteSize, b.Parity, b.StopBits),
              std::make_tuple(c.dataBits, c.parity, c.stopSetting));
    EXPECT_EQ(b.fBinary, 1u);
    EXPECT_EQ(b.fParity, c.fParity);
    // DTR and RTS held on; no hardware or XON/XOFF flow control, no DSR sensitivity.
    EXPECT_EQ(std::make_tuple(b.fDtrControl, b.fRtsControl), std::make_tuple(1u, 1u));
    EXPECT_EQ(std::make_tuple(b.fOutxCtsFlow, b.fOutxDsrFlow, b.fDsrSensitivity, b.fOutX, b.fInX),
              std::make_tuple(0u, 0u, 0u, 0u, 0u));
    EXPECT_EQ(b.fTXContinueOnXoff, 1u);
    // Every byte value passes: no null stripping, no error character, no abort on error.
    EXPECT_EQ(std::make_tuple(b.fNull, b.fErrorChar, b.fAbortOnError), std::make_tuple(0u, 0u, 0u));
    EXPECT_EQ(std::make_tuple(b.ErrorChar, b.EofChar, b.EvtChar), std::make_tuple('\0', '\0', '\0'));
    // Drivers refuse equal XON and XOFF characters, or limits beyond their buffer.
    EXPECT_EQ(std::make_tuple(b.XonChar, b.XoffChar), std::make_tuple('\x11', '\x13'));
    EXPECT_LE(b.XonLim + b.XoffLim, 1024);
    EXPECT_EQ(b.wReserved, 0u);
  }
}

} // namespace
} // namespace pw
