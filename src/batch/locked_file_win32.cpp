// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/locked_file.h"

#include <io.h>

#include "files/file_io.h"

#include <windows.h>

#include "base/unicode_paths.h"

namespace pw {
namespace {

HANDLE AsHandle(std::intptr_t h) {
  return reinterpret_cast<HANDLE>(h);
}

std::string SystemReason() {
  const DWORD code = GetLastError();
  char* text = nullptr;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string reason = n && text ? std::string(text, n) : "system error " + std::to_string(code);
  if (text)
    LocalFree(text);
  while (!reason.empty() &&
         (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.'))
    reason.pop_back();
  return reason;
}

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED ov{};
  ov.Offset = DWORD(offset);
  ov.OffsetHigh = DWORD(offset >> 32);
  return ov;
}

} // namespace

LockedFile::~LockedFile() {
  Close();
}

void LockedFile::Close() {
  if (handle_ == -1)
    return;
  OVERLAPPED whole = At(0);
  UnlockFileEx(AsHandle(handle_), 0, MAXDWORD, MAXDWORD, &whole);
  CloseHandle(AsHandle(handle_));
  handle_ = -1;
}

bool LockedFile::Open(const std::filesystem::path& path, std::string& reason) {
  Close();
  path_ = path;
  // Made or checked as a save makes or checks its file: no device, folder or read-only file.
  bool made = false;
  if (const int fd = OpenForAppending(path, false, made, reason); fd >= 0)
    _close(fd);
  else
    return false;
  // Append access without write access: every write lands at the end of the file.
  HANDLE h = CreateFileW(SystemPath(path).c_str(), GENERIC_READ | FILE_APPEND_DATA,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    reason = SystemReason();
    return false;
  }
  created_ = made;
  OVERLAPPED whole = At(0);
  if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
    reason = SystemReason();
    CloseHandle(h);
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
}

bool LockedFile::Size(std::uint64_t& size, std::string& reason) {
  LARGE_INTEGER n{};
  if (!GetFileSizeEx(AsHandle(handle_), &n)) {
    reason = SystemReason();
    return false;
  }
  size = std::uint64_t(n.QuadPart);
  return true;
}

bool LockedFile::ReadAt(std::uint64_t offset, std::span<char> out, std::string& reason) {
  std::size_t done = 0;
  while (done < out.size()) {
    OVERLAPPED ov = At(offset + done);
    DWORD n = 0;
    if (!ReadFile(AsHandle(handle_), out.data() + done, DWORD(out.size() - done), &n, &ov)) {
      reason = SystemReason();
      return false;
    }
    if (n == 0) {
      reason = "the file ended early";
      return false;
    }
    done += n;
  }
  return true;
}

bool LockedFile::Append(std::string_view data, std::string& reason) {
  while (!data.empty()) {
    DWORD n = 0;
    if (!WriteFile(AsHandle(handle_), data.data(), DWORD(data.size()), &n, nullptr)) {
      reason = SystemReason();
      return false;
    }
    if (n == 0) {
      reason = "nothing could be written";
      return false;
    }
    data.remove_prefix(n);
  }
  return true;
}

bool LockedFile::Flush(std::string& reason) {
  if (!FlushFileBuffers(AsHandle(handle_))) {
    reason = SystemReason();
    return false;
  }
  created_ = false;
  return true;
}

} // namespace pw
