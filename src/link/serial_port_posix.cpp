// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/serial_port_posix.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <iterator>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sstream>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "base/host.h"
#include "files/file_io.h"

namespace pw {

namespace {

bool BaudConstant(std::int32_t baudRate, speed_t& speed) {
  struct Entry {
    std::int32_t rate;
    speed_t speed;
  };
  static constexpr Entry kRates[] = {
      {300, B300},   {600, B600},     {1200, B1200},   {2400, B2400},   {4800, B4800},
      {9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200},
  };
  for (const Entry& e : kRates) {
    if (e.rate == baudRate) {
      speed = e.speed;
      return true;
    }
  }
  return false;
}

bool SizeFlag(std::uint8_t dataBits, tcflag_t& flag) {
  switch (dataBits) {
  case 5:
    flag = CS5;
    return true;
  case 6:
    flag = CS6;
    return true;
  case 7:
    flag = CS7;
    return true;
  case 8:
    flag = CS8;
    return true;
  default:
    return false;
  }
}

bool ProcessAlive(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

std::string ProcessText(pid_t pid) {
  std::string text = "process " + std::to_string(pid);
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  if (std::getline(comm, name) && !name.empty())
    text += " (" + name + ")";
  return text;
}

// The process holding an flock on the device, from the kernel's list of file locks:
// "1: FLOCK  ADVISORY  WRITE 1234 00:05:678 0 EOF" (device numbers in hex, then the inode).
pid_t FlockHolder(const struct stat& device) {
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    std::istringstream fields(line);
    std::string id, kind, mode, access, file;
    long pid = 0;
    if (!(fields >> id >> kind) || kind == "->" ||
        !(fields >> mode >> access >> pid >> file))
      continue; // a waiting request, or a line of another form
    unsigned fsMajor = 0, fsMinor = 0;
    unsigned long inode = 0;
    if (std::sscanf(file.c_str(), "%x:%x:%lu", &fsMajor, &fsMinor, &inode) != 3)
      continue;
    if (fsMajor == major(device.st_dev) && fsMinor == minor(device.st_dev) &&
        inode == device.st_ino && ProcessAlive(static_cast<pid_t>(pid)))
      return static_cast<pid_t>(pid);
  }
  return 0;
}

constexpr std::uintmax_t kMaxLockFileBytes = 64;

// The process named in a UUCP lock file (LCK..ttyUSB0), as terminal programs leave them:
// its pid in ASCII, or as a binary int from older programs.
pid_t UucpLockHolder(const std::string& devicePath) {
  char resolved[PATH_MAX];
  const std::string real = ::realpath(devicePath.c_str(), resolved) ? resolved : devicePath;
  const std::string name = "LCK.." + real.substr(real.find_last_of('/') + 1);
  for (const char* folder : {"/run/lock/", "/var/lock/", "/var/spool/lock/"}) {
    // Anyone may create names in these folders: a pipe or device put there is not read.
    const std::string text = ReadTextFile(std::string(folder) + name, kMaxLockFileBytes).text;
    pid_t pid = 0;
    const bool ascii = text.find_first_not_of("0123456789 \n") == std::string::npos;
    if (text.size() == sizeof(std::int32_t) && !ascii) {
      std::int32_t binary = 0;
      std::memcpy(&binary, text.data(), sizeof binary);
      pid = binary;
    } else {
      pid = static_cast<pid_t>(std::atol(text.c_str()));
    }
    if (ProcessAlive(pid))
      return pid;
  }
  return 0;
}

// What to tell a user the device's permissions keep out: the group that may use it.
std::string PermissionAdvice(const std::string& devicePath) {
  struct stat device {};
  if (::stat(devicePath.c_str(), &device) != 0)
    return {};
  const group* g = ::getgrgid(device.st_gid);
  const bool groupMayUse = (device.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
  if (g == nullptr || device.st_gid == 0 || !groupMayUse)
    return "Only its owner may use it; ask the administrator of this computer for access.";
  const std::string name = g->gr_name;
  bool listed = false;
  for (char** member = g->gr_mem; member && *member; ++member)
    if (const passwd* me = ::getpwuid(::geteuid()); me && std::strcmp(*member, me->pw_name) == 0)
      listed = true;
  // Group changes reach only the sessions started after them.
  if (listed)
    return "You are in the group \"" + name +
           "\" that may use it, but this session started before you were added: log out and "
           "log in again.";
  return "Members of the group \"" + name + "\" may use it: add yourself (sudo usermod -a -G " +
         name + " $USER), then log out and log in again.";
}

} // namespace

std::string DescribeOpenFailure(const std::string& devicePath, int error) {
  if (devicePath.empty())
    return "No device is set for this port.";
  switch (error) {
  case ENOENT:
  case ENODEV:
  case ENXIO:
  case EIO: // a serial driver's node with no hardware behind it
    return PortFailureText(PortFailure::NoDevice, devicePath);
  case EACCES:
  case EPERM:
    return PortFailureText(PortFailure::NoPermission, devicePath, PermissionAdvice(devicePath));
  case EBUSY:
  case EWOULDBLOCK: {
    struct stat device {};
    pid_t holder = ::stat(devicePath.c_str(), &device) == 0 ? FlockHolder(device) : 0;
    if (holder == 0)
      holder = UucpLockHolder(devicePath);
    return PortFailureText(PortFailure::Busy, devicePath,
                           holder != 0 ? ProcessText(holder) : std::string());
  }
  case ENOTTY:
    return PortFailureText(PortFailure::NotSerial, devicePath);
  default:
    return PortFailureText(PortFailure::Other, devicePath, std::strerror(error));
  }
}

PosixSerialPort::PosixSerialPort(std::string devicePath, std::string displayName, Host& host)
    : devicePath_(std::move(devicePath)), displayName_(std::move(displayName)), host_(host) {}

PosixSerialPort::~PosixSerialPort() {
  if (fd_ >= 0)
    Close();
}

bool PosixSerialPort::Open(std::int32_t baudRate, std::uint8_t parity, std::uint8_t dataBits,
                           float stopBits) {
  if (fd_ >= 0) {
    // Opening an open port again starts afresh on the same device; letting go of it as Close
    // does keeps its exclusive hold from locking this very open out.
    Close();
    isOpen_ = false;
  }
  // Non-blocking only for the open itself, so a port without carrier does not hang here.
  int fd = devicePath_.empty() ? -1 : ::open(devicePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  int error = fd < 0 ? (devicePath_.empty() ? ENOENT : errno) : 0;
  if (fd >= 0) {
    int flags = ::fcntl(fd, F_GETFL);
    if (!::isatty(fd))
      error = ENOTTY;
    else if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
      error = errno;
    // TIOCEXCL keeps other users out; flock also keeps out root, whom TIOCEXCL lets through.
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0)
      error = errno;
    if (error != 0) {
      ::close(fd);
      fd = -1;
    }
  }
  if (fd < 0) {
    host_.Show(PortBusyMessage(displayName_, DescribeOpenFailure(devicePath_, error)));
    return false;
  }
  fd_ = fd;
  if (!Configure(baudRate, parity, dataBits, stopBits))
    return false;
  isOpen_ = true;
  return true;
}

bool PosixSerialPort::Configure(std::int32_t baudRate, std::uint8_t parity, std::uint8_t dataBits,
                                float stopBits) {
  termios tio{};
  if (::tcgetattr(fd_, &tio) != 0)
    return false;
  // Raw: every byte value passes untouched in both directions.
  tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY | INPCK);
  tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  tio.c_cflag |= CLOCAL | CREAD;
  tcflag_t size = CS8;
  if (!SizeFlag(dataBits, size))
    return false;
  tio.c_cflag |= size;
  // Parity as the line settings number it: 0 none, 1 odd, 2 even.
  if (parity == 1)
    tio.c_cflag |= PARENB | PARODD;
  else if (parity == 2)
    tio.c_cflag |= PARENB;
  else if (parity != 0)
    return false;
  // termios has no one-and-a-half stop bits; that setting sends one.
  if (StopBitsFromFloat(stopBits) == StopBits::Two)
    tio.c_cflag |= CSTOPB;
  // Reads wait in poll(); read() itself returns what is there.
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  speed_t speed = B1200;
  if (!BaudConstant(baudRate, speed))
    return false;
  if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0)
    return false;
  if (::tcsetattr(fd_, TCSANOW, &tio) != 0)
    return false;
  int lines = TIOCM_DTR | TIOCM_RTS;
  // Pseudo-terminals have no modem lines.
  if (::ioctl(fd_, TIOCMBIS, &lines) != 0 && errno != ENOTTY && errno != EINVAL)
    return false;
  return true;
}

bool PosixSerialPort::Close() {
  if (fd_ < 0)
    return false;
  // The tty outlives this descriptor when someone else holds it too (a pseudo-terminal's
  // server): leave it open to the next user.
  ::ioctl(fd_, TIOCNXCL);
  int rc = ::close(fd_);
  fd_ = -1; // the descriptor is gone even when close reports an error
  if (rc != 0)
    return false;
  isOpen_ = false;
  return true;
}

bool PosixSerialPort::WriteByte(std::uint8_t b) {
  if (fd_ < 0)
    return false;
  // Wait for room rather than block in write(): a stalled line (nobody reading the other
  // end of a pseudo-terminal, an adapter that stopped sending) fails the byte in time.
  using namespace std::chrono;
  const auto deadline = steady_clock::now() + milliseconds(kWriteTimeoutMs);
  for (;;) {
    auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    if (left < 0)
      return false;
    pollfd p{fd_, POLLOUT, 0};
    int rc = ::poll(&p, 1, static_cast<int>(left));
    if (rc < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    if (rc == 0 || (p.revents & POLLOUT) == 0)
      return false;
    ssize_t n = ::write(fd_, &b, 1);
    if (n == 1)
      return true;
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
      continue;
    return false;
  }
}

bool PosixSerialPort::ReadByte(std::uint8_t& b) {
  if (fd_ < 0)
    return false;
  // A deadline rather than a per-call time-out, so signals do not stretch the wait.
  using namespace std::chrono;
  const auto deadline = steady_clock::now() + milliseconds(readTimeoutMs_);
  for (;;) {
    auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    if (left < 0)
      return false;
    pollfd p{fd_, POLLIN, 0};
    int rc = ::poll(&p, 1, static_cast<int>(left));
    if (rc < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    if (rc == 0)
      return false;
    if ((p.revents & POLLIN) != 0) {
      ssize_t n = ::read(fd_, &b, 1);
      if (n == 1)
        return true;
      if (n < 0 && (errno == EINTR || errno == EAGAIN))
        continue;
    }
    // A device that went away (an unplugged adapter, a closed pseudo-terminal) reports an
    // error at once; it is treated as a silent line, so callers that keep reading for a
    // while wait instead of spinning.
    std::this_thread::sleep_until(deadline);
    return false;
  }
}

bool PosixSerialPort::Purge() {
  if (fd_ < 0)
    return false;
  return ::tcflush(fd_, TCIOFLUSH) == 0;
}

std::unique_ptr<SerialPort> MakeSystemSerialPort(int n, Host& host) {
  return std::make_unique<PosixSerialPort>(PosixDevicePath(n), PortDisplayName(n), host);
}

std::unique_ptr<SerialPort> MakeSystemSerialPortOnDevice(int n, const std::string& devicePath,
                                                         Host& host) {
  return std::make_unique<PosixSerialPort>(devicePath, PortDisplayName(n), host);
}

} // namespace pw
