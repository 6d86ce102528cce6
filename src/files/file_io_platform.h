// SPDX-License-Identifier: GPL-3.0-or-later
// The file-system steps that the safe save and the bounded read are made of, one set per
// platform (file_io_posix.cpp, file_io_win32.cpp). Every step returns the reason of its
// failure as text, empty when it succeeded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace pw::fileio {

namespace fs = std::filesystem;

// A file descriptor that is closed when it goes out of scope.
class Fd {
public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd();
  int get() const { return fd_; }
  bool open() const { return fd_ >= 0; }
  void reset(int fd = -1);
  void release() { fd_ = -1; } // the descriptor now belongs to someone else
  std::string Close(); // reports the close error a delayed write can leave

private:
  int fd_ = -1;
};

// The owner and permissions a file is given, taken from another file.
struct Look {
  bool known = false;
  std::uint32_t mode = 0; // permission bits
  std::int64_t uid = -1, gid = -1;
};

// Where a save to a path lands and whether it may.
struct Target {
  std::string problem;  // why the file cannot be written; empty when it can
  fs::path path;        // the file written: the path itself, or where its links lead
  bool exists = false;
  bool multiplyLinked = false; // other names share the file: it is rewritten in place
  Look look;            // of the existing file
  std::uint64_t device = 0, inode = 0;
  bool throughLink = false; // path is a symbolic link that led here
};

// Follows symbolic links (a link another user planted in a shared folder is refused) and
// checks that the result is a regular file the user may write, or a free name in a folder
// the user may write.
Target InspectTarget(const fs::path& path);

// Opens a regular file of at most limit bytes for reading; pipes and devices are refused
// before they are opened, so nothing blocks.
std::string OpenForReading(const fs::path& path, std::uintmax_t limit, Fd& fd);
// Reads to the end; more than limit bytes is a failure.
std::string ReadAll(int fd, std::uintmax_t limit, std::string& text);

// Creates a new file beside target under an unpredictable name, exclusively and without
// following any link already there. With look.known it gets that owner (where the user may
// give it) and those permissions, otherwise those of a new file.
std::string CreateTemporaryBeside(const fs::path& target, const Look& look, fs::path& temp,
                                  Fd& fd);
std::string WriteAll(int fd, std::string_view bytes);
// Appends the content of a regular file.
std::string CopyFrom(const fs::path& source, int fd);
std::string Sync(int fd);

// Moves from over to, replacing what is there, and makes the move durable.
std::string MoveOver(const fs::path& from, const fs::path& to);
// Rewrites the file InspectTarget found (the same file, checked) with the content of source.
std::string OverwriteInPlace(const Target& target, const fs::path& source);
void RemoveQuietly(const fs::path& path);

// Opens for appending (and reading, with readToo) the file InspectTarget found, without
// following any link put there since; a missing file is created, never the missing file a
// link names. Pipes and devices are refused before they are opened.
std::string OpenForAppending(const fs::path& path, bool readToo, Fd& fd, bool& created);
// Waits for an exclusive advisory lock on the regular file at path, held while fd stays open;
// a file that was replaced while waiting is locked again under its new identity. A missing
// file, or one that is not regular, is not locked (fd stays closed).
std::string LockExclusive(const fs::path& path, Fd& fd);
// Removes from folder the temporary files of our own naming that a killed save left: older
// than kStaleTemporaryAgeSeconds and (where the system knows owners) this user's.
void RemoveStaleTemporaries(const fs::path& folder);
inline constexpr int kStaleTemporaryAgeSeconds = 60;

// Shared by both platforms (file_io.cpp).
std::string ErrorText(int error);
fs::path FolderOf(const fs::path& file);
// A hidden name beside target that nobody can guess: "." + name + "." + 12 random characters.
fs::path UnpredictableNameBeside(const fs::path& target);
// Whether name is one UnpredictableNameBeside gives.
bool IsTemporaryName(std::string_view name);
inline constexpr std::string_view kReadOnly = "The file is read-only";
inline constexpr std::string_view kTooLarge = "File too large";

} // namespace pw::fileio
