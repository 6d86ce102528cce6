// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/serial_port_win32.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>

#include "base/host.h"
#include "link/device_control.h"

namespace pw {

namespace {

// What the system says about an error code, in its own words without the closing period.
std::string SystemText(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string reason;
  if (n > 0 && text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, int(n), nullptr, 0, nullptr, nullptr);
    reason.resize(size > 0 ? std::size_t(size) : 0);
    if (size > 0)
      WideCharToMultiByte(CP_UTF8, 0, text, int(n), reason.data(), size, nullptr, nullptr);
  }
  if (text)
    LocalFree(text);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                             reason.back() == ' ' || reason.back() == '.'))
    reason.pop_back();
  return reason.empty() ? "system error " + std::to_string(error) : reason;
}

// A single-byte read gives up after 200 + 5000 ms without data.
constexpr DWORD kReadIntervalTimeout = 1000;
constexpr DWORD kReadTotalTimeoutMultiplier = 200;

// A one-byte read waits the multiplier and the constant together.
DWORD ReadTotalTimeoutConstant(std::uint32_t readTimeoutMs) {
  return readTimeoutMs > kReadTotalTimeoutMultiplier ? readTimeoutMs - kReadTotalTimeoutMultiplier
                                                     : 1;
}
constexpr DWORD kWriteTotalTimeoutMultiplier = 200;
constexpr DWORD kWriteTotalTimeoutConstant = 5000;

static_assert(dcb::kNoParity == NOPARITY && dcb::kOneStopBit == ONESTOPBIT &&
              dcb::kOne5StopBits == ONE5STOPBITS && dcb::kTwoStopBits == TWOSTOPBITS &&
              dcb::kDtrControlEnable == DTR_CONTROL_ENABLE &&
              dcb::kRtsControlEnable == RTS_CONTROL_ENABLE);

} // namespace

Win32SerialPort::Win32SerialPort(std::string devicePath, std::string displayName, Host& host)
    : devicePath_(std::move(devicePath)), displayName_(std::move(displayName)), host_(host),
      handle_(INVALID_HANDLE_VALUE) {}

Win32SerialPort::~Win32SerialPort() {
  if (handle_ != INVALID_HANDLE_VALUE)
    CloseHandle(handle_);
}

bool Win32SerialPort::Open(std::int32_t baudRate, std::uint8_t parity, std::uint8_t dataBits,
                           float stopBits) {
  if (handle_ != INVALID_HANDLE_VALUE) {
    // The device is opened without sharing: let go of it before opening it again.
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    isOpen_ = false;
  }
  handle_ = CreateFileA(devicePath_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                        0, NULL);
  if (handle_ == INVALID_HANDLE_VALUE) {
    // A COM port another program holds answers "access denied".
    const DWORD error = GetLastError();
    const PortFailure failure =
        error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PortFailure::NoDevice
        : error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? PortFailure::Busy
                                                                           : PortFailure::Other;
    host_.Show(PortBusyMessage(
        displayName_,
        PortFailureText(failure, devicePath_,
                        failure == PortFailure::Other ? SystemText(error) : std::string())));
    return false;
  }

  if (!Configure(baudRate, parity, dataBits, stopBits)) {
    // A device that takes no line settings (NUL, a driver in a bad state) is no port to talk
    // through: say so, with the system's reason, and let it go.
    const DWORD error = GetLastError();
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    host_.Show(PortBusyMessage(
        displayName_, PortFailureText(PortFailure::NotSerial, devicePath_, SystemText(error))));
    return false;
  }
  isOpen_ = true;
  return true;
}

bool Win32SerialPort::Configure(std::int32_t baudRate, std::uint8_t parity, std::uint8_t dataBits,
                                float stopBits) {
  COMMTIMEOUTS timeouts{};
  if (!GetCommTimeouts(handle_, &timeouts))
    return false;
  timeouts.ReadIntervalTimeout = kReadIntervalTimeout;
  timeouts.ReadTotalTimeoutMultiplier = kReadTotalTimeoutMultiplier;
  timeouts.ReadTotalTimeoutConstant = ReadTotalTimeoutConstant(readTimeoutMs_);
  timeouts.WriteTotalTimeoutMultiplier = kWriteTotalTimeoutMultiplier;
  timeouts.WriteTotalTimeoutConstant = kWriteTotalTimeoutConstant;
  if (!SetCommTimeouts(handle_, &timeouts))
    return false;

  // Every field that shapes the line is set; what another program left on the port does not
  // carry over. Reading the state first keeps the driver's reserved bits.
  DCB dcb{};
  dcb.DCBlength = sizeof(dcb);
  if (!GetCommState(handle_, &dcb))
    return false;
  dcb::FillDeviceControlBlock(dcb, baudRate, parity, dataBits, stopBits);
  return SetCommState(handle_, &dcb) != 0;
}

bool Win32SerialPort::Close() {
  // INVALID_HANDLE_VALUE doubles as the current process's pseudo-handle: never close it.
  if (handle_ == INVALID_HANDLE_VALUE || !CloseHandle(handle_))
    return false;
  handle_ = INVALID_HANDLE_VALUE;
  isOpen_ = false;
  return true;
}

bool Win32SerialPort::WriteByte(std::uint8_t b) {
  if (handle_ == INVALID_HANDLE_VALUE)
    return false;
  DWORD written = 0;
  return WriteFile(handle_, &b, 1, &written, NULL) && written == 1;
}

bool Win32SerialPort::ReadByte(std::uint8_t& b) {
  if (handle_ == INVALID_HANDLE_VALUE)
    return false;
  DWORD got = 0;
  return ReadFile(handle_, &b, 1, &got, NULL) && got == 1;
}

bool Win32SerialPort::SetReadTimeout(std::uint32_t ms) {
  readTimeoutMs_ = ms;
  if (handle_ == INVALID_HANDLE_VALUE)
    return true; // taken when the port opens
  COMMTIMEOUTS timeouts{};
  if (!GetCommTimeouts(handle_, &timeouts))
    return false;
  timeouts.ReadTotalTimeoutConstant = ReadTotalTimeoutConstant(ms);
  return SetCommTimeouts(handle_, &timeouts) != 0;
}

bool Win32SerialPort::Purge() {
  if (handle_ == INVALID_HANDLE_VALUE)
    return false;
  return PurgeComm(handle_, PURGE_TXCLEAR | PURGE_RXCLEAR) != 0;
}

std::unique_ptr<SerialPort> MakeSystemSerialPort(int n, Host& host) {
  return std::make_unique<Win32SerialPort>(WindowsDevicePath(n), PortDisplayName(n), host);
}

std::unique_ptr<SerialPort> MakeSystemSerialPortOnDevice(int n, const std::string& devicePath,
                                                         Host& host) {
  // "COM12" as the port list names it opens only through the device namespace.
  const bool bareComName = devicePath.size() > 3 && devicePath.find('\\') == std::string::npos &&
                           _strnicmp(devicePath.c_str(), "COM", 3) == 0;
  return std::make_unique<Win32SerialPort>(bareComName ? "\\\\.\\" + devicePath : devicePath,
                                           PortDisplayName(n), host);
}

} // namespace pw
