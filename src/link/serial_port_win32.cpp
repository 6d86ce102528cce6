#include "link/serial_port_win32.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "base/host.h"

namespace pw {

namespace {

// A single-byte read gives up after 200 + 5000 ms without data.
constexpr DWORD kReadIntervalTimeout = 1000;
constexpr DWORD kReadTotalTimeoutMultiplier = 200;
constexpr DWORD kReadTotalTimeoutConstant = 5000;
constexpr DWORD kWriteTotalTimeoutMultiplier = 200;
constexpr DWORD kWriteTotalTimeoutConstant = 5000;

BYTE StopBitsSetting(float stopBits) {
  switch (StopBitsFromFloat(stopBits)) {
  case StopBits::OneAndHalf:
    return ONE5STOPBITS;
  case StopBits::Two:
    return TWOSTOPBITS;
  case StopBits::One:
    break;
  }
  return ONESTOPBIT;
}

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
        displayName_, PortFailureText(failure, devicePath_,
                                      failure == PortFailure::Other
                                          ? "system error " + std::to_string(error)
                                          : std::string())));
    return false;
  }

  COMMTIMEOUTS timeouts{};
  GetCommTimeouts(handle_, &timeouts);
  timeouts.ReadIntervalTimeout = kReadIntervalTimeout;
  timeouts.ReadTotalTimeoutMultiplier = kReadTotalTimeoutMultiplier;
  timeouts.ReadTotalTimeoutConstant = kReadTotalTimeoutConstant;
  timeouts.WriteTotalTimeoutMultiplier = kWriteTotalTimeoutMultiplier;
  timeouts.WriteTotalTimeoutConstant = kWriteTotalTimeoutConstant;
  SetCommTimeouts(handle_, &timeouts);

  // Only these fields change; the rest stay as the driver reports them (no flow control).
  DCB dcb{};
  dcb.DCBlength = sizeof(dcb);
  GetCommState(handle_, &dcb);
  dcb.BaudRate = static_cast<DWORD>(baudRate);
  dcb.Parity = parity;
  dcb.ByteSize = dataBits;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.StopBits = StopBitsSetting(stopBits);
  if (!SetCommState(handle_, &dcb))
    return false;
  isOpen_ = true;
  return true;
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
  DWORD written = 0;
  return WriteFile(handle_, &b, 1, &written, NULL) && written == 1;
}

bool Win32SerialPort::ReadByte(std::uint8_t& b) {
  DWORD got = 0;
  return ReadFile(handle_, &b, 1, &got, NULL) && got == 1;
}

bool Win32SerialPort::Purge() {
  return PurgeComm(handle_, PURGE_TXCLEAR | PURGE_RXCLEAR) != 0;
}

std::unique_ptr<SerialPort> MakeSystemSerialPort(int n, Host& host) {
  return std::make_unique<Win32SerialPort>(WindowsDevicePath(n), PortDisplayName(n), host);
}

std::unique_ptr<SerialPort> MakeSystemSerialPortOnDevice(int n, const std::string& devicePath,
                                                         Host& host) {
  return std::make_unique<Win32SerialPort>(devicePath, PortDisplayName(n), host);
}

} // namespace pw
