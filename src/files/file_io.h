// Whole-file reading and safe replacing of the files the user keeps: codeplug data files,
// raw images, settings. Failures are values carrying a message that names the file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pw {

// Far above a data file (about 5.5 KB); anything larger is not one.
inline constexpr std::uintmax_t kMaxReadFileBytes = 1u << 20;

struct FileReadResult {
  bool ok = false;
  std::string text;  // the whole file, bytes unchanged
  std::string error; // e.g. "Cannot read file \"X\": No such file or directory"
};

struct FileWriteResult {
  bool ok = false;
  std::string error; // e.g. "Cannot write file \"X\": Permission denied"
};

// Reads a regular file of at most kMaxReadFileBytes. Folders, pipes and devices are refused
// before they are opened, so a read never blocks and never grows without end.
FileReadResult ReadTextFile(const std::string& path);
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
// The checks of CheckWriteTarget apply to the file and to the backup.
FileWriteResult WriteFileSafely(const std::string& path, std::string_view text, bool makeBackup);

} // namespace pw
