// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/locked_file.h"

#include "files/file_io.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pw {
namespace {

std::string SystemReason() {
  return std::strerror(errno);
}

int OpenRetrying(const char* path, int flags) {
  int fd;
  do
    fd = ::open(path, flags | O_CLOEXEC, 0666);
  while (fd < 0 && errno == EINTR);
  return fd;
}

// The folder entry of a new file survives a power cut only once the folder is synced too.
void SyncFolderOf(const std::filesystem::path& path) {
  std::filesystem::path folder = path.parent_path();
  if (folder.empty())
    folder = ".";
  const int fd = OpenRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0)
    return;
  ::fsync(fd);
  ::close(fd);
}

} // namespace

LockedFile::~LockedFile() {
  Close();
}

void LockedFile::Close() {
  if (handle_ < 0)
    return;
  ::close(int(handle_)); // releases the lock
  handle_ = -1;
}

bool LockedFile::Open(const std::filesystem::path& path, std::string& reason) {
  Close();
  path_ = path;
  int fd;
  if (path == "/dev/null") {
    // For a user who wants no log.
    fd = OpenRetrying(path.c_str(), O_RDWR | O_APPEND);
    created_ = false;
    if (fd < 0) {
      reason = SystemReason();
      return false;
    }
  } else {
    // Opened as a save opens its file: no pipe, device or planted link.
    fd = OpenForAppending(path, true, created_, reason);
    if (fd < 0)
      return false;
  }
  int locked;
  do
    locked = ::flock(fd, LOCK_EX);
  while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    reason = SystemReason();
    ::close(fd);
    return false;
  }
  handle_ = fd;
  return true;
}

bool LockedFile::Size(std::uint64_t& size, std::string& reason) {
  struct stat st {};
  if (::fstat(int(handle_), &st) != 0) {
    reason = SystemReason();
    return false;
  }
  size = std::uint64_t(st.st_size);
  return true;
}

bool LockedFile::ReadAt(std::uint64_t offset, std::span<char> out, std::string& reason) {
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t n =
        ::pread(int(handle_), out.data() + done, out.size() - done, off_t(offset + done));
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      reason = n == 0 ? "the file ended early" : SystemReason();
      return false;
    }
    done += std::size_t(n);
  }
  return true;
}

bool LockedFile::Append(std::string_view data, std::string& reason) {
  while (!data.empty()) {
    const ssize_t n = ::write(int(handle_), data.data(), data.size());
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      reason = n == 0 ? "nothing could be written" : SystemReason();
      return false;
    }
    data.remove_prefix(std::size_t(n));
  }
  return true;
}

bool LockedFile::Flush(std::string& reason) {
  int synced;
  do
    synced = ::fsync(int(handle_));
  while (synced != 0 && errno == EINTR);
  // EINVAL: a device that has nothing to sync (/dev/null).
  if (synced != 0 && errno != EINVAL) {
    reason = SystemReason();
    return false;
  }
  if (created_)
    SyncFolderOf(path_);
  created_ = false;
  return true;
}

} // namespace pw
