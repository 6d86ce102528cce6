// SPDX-License-Identifier: GPL-3.0-or-later
// Whole-file reading and safe replacing of the files the user keeps: codeplug data files,
// raw images, settings. Failures are values carrying a message that names the file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace pw {

// What each kind of file the program reads may hold at most, far above what it ever writes
// there: data files (about 5.5 KB), raw images, dumps, JSON documents ...
inline constexpr std::uintmax_t kMaxReadFileBytes = 1u << 20;
// ... the program's own settings (a few lines) ...
inline constexpr std::uintmax_t kMaxSettingsFileBytes = 64u << 10;
// ... and "CorvaneF.ini" (two short lines) ...
inline constexpr std::uintmax_t kMaxIniFileBytes = 4u << 10;
// ... a manifest of units and its record of finished rows (a row per pager) ...
inline constexpr std::uintmax_t kMaxManifestBytes = 16u << 20;
// ... and a programming log brought into the ledger (years of a bench's lines).
inline constexpr std::uintmax_t kMaxProgrammingLogBytes = 256u << 20;

struct FileReadResult {
  bool ok = false;
  std::string text;  // the whole file, bytes unchanged
  std::string error; // e.g. "Cannot read file \"X\": No such file or directory"
  bool missing = false; // the failure was that nothing is there
};

struct FileWriteResult {
  bool ok = false;
  std::string error; // e.g. "Cannot write file \"X\": Permission denied"
};

// Reads a regular file of at most limit bytes. Folders, pipes and devices are refused before
// they are opened, so a read never blocks and never grows without end. Every file the program
// reads goes through here, with the bound of its kind.
FileReadResult ReadTextFile(const std::string& path, std::uintmax_t limit = kMaxReadFileBytes);
bool FileExists(const std::string& path);

// Whether a save to path can succeed, checked before long work whose result it would hold:
// the folder exists and may be written, and what is there is a regular file the user may
// replace (not a folder, pipe or device, not read-only). Links are followed as the save
// follows them. With backup, the same for path + ".bak" when the file exists.
FileWriteResult CheckWriteTarget(const std::string& path, bool backup = false);

// Replaces the file at path with text so that a failure at any point leaves the file, and its
// path + ".bak", as they were:
// - the text goes to a new temporary file beside the file (created exclusively under a name
//   nobody can guess) and is synced; with makeBackup and an existing file, its old content
//   goes to a second one; only then are the backup and the file moved into place, and the
//   folder synced;
// - a symbolic link is written through to its file (except a link another user planted in a
//   shared folder); the file keeps its mode and, where the user may, its owner;
// - a file with other hard links is rewritten in place once everything else has succeeded,
//   so every name shows the new content (and the old comes back if that write fails);
// - the backup follows the same rules; a new backup gets the file's mode and owner.
// The checks of CheckWriteTarget apply to the file and to the backup. Temporary files of this
// naming that a killed save left in the folder (older than a minute, the user's own) go first.
FileWriteResult WriteFileSafely(const std::string& path, std::string_view text, bool makeBackup);

// Opens a file the program appends records to (the serial trace, the programming log) as a
// save opens its file: links are followed, except one another user planted in a shared folder,
// and never to create the missing file a link names; pipes, devices and folders are refused
// before they are opened, with the save's reasons. A missing file is created (created says
// so). Returns the descriptor, or -1 with the reason.
int OpenForAppending(const std::filesystem::path& path, bool readToo, bool& created,
                     std::string& reason);

// An exclusive advisory lock (flock, LockFileEx) on a data file, held from Acquire until the
// object goes away, around a whole read-modify-write: a second writer waits, then reads what
// the first one saved. Other programs' reads are not hindered.
class FileLock {
public:
  FileLock() = default;
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  // Waits for the lock. A missing file (about to be created) or one that is not a regular file
  // (which the load refuses) is not locked and is no failure.
  bool Acquire(const std::string& path, std::string& error);

private:
  int fd_ = -1; // closing it releases the lock
};

} // namespace pw
