// SPDX-License-Identifier: GPL-3.0-or-later
// A file opened for appending under an exclusive lock that other programs honour: flock on
// POSIX, LockFileEx on Windows. The lock is held from Open until the object goes away.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace pw {

class LockedFile {
public:
  LockedFile() = default;
  ~LockedFile();
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;

  // Opens path for reading and appending, creating it when missing, and waits for the lock.
  // On failure, reason holds the system's text.
  bool Open(const std::filesystem::path& path, std::string& reason);
  bool Size(std::uint64_t& size, std::string& reason);
  // Reads exactly out.size() bytes starting at offset.
  bool ReadAt(std::uint64_t offset, std::span<char> out, std::string& reason);
  // Writes data at the end of the file, in one call unless the system takes less.
  bool Append(std::string_view data, std::string& reason);
  // Waits until what was appended is on the disk (with the folder entry of a new file).
  bool Flush(std::string& reason);

private:
  void Close();

  std::intptr_t handle_ = -1; // descriptor on POSIX, HANDLE on Windows
  std::filesystem::path path_;
  bool created_ = false;
};

} // namespace pw
