// SPDX-License-Identifier: GPL-3.0-or-later
// File-system steps of the safe save and the bounded read on POSIX systems.
#include "files/file_io_platform.h"

#include <cerrno>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pw::fileio {

namespace {

constexpr int kMaxLinks = 40; // as many as the kernel follows in one path
constexpr std::size_t kChunk = 8192;

std::string LastError() { return ErrorText(errno); }

// Pipes, devices and sockets are never read or replaced: a save would swap them for a plain
// file, a read could block for ever or never end.
std::string NotRegular(mode_t mode) {
  if (S_ISDIR(mode)) return ErrorText(EISDIR);
  if (S_ISFIFO(mode)) return "Is a named pipe, not a regular file";
  if (S_ISSOCK(mode)) return "Is a socket, not a regular file";
  if (!S_ISREG(mode)) return "Is a device, not a regular file";
  return {};
}

std::string Readable(const struct stat& st, std::uintmax_t limit) {
  if (std::string problem = NotRegular(st.st_mode); !problem.empty()) return problem;
  if (static_cast<std::uintmax_t>(st.st_size) > limit) return std::string(kTooLarge);
  return {};
}

// A new file goes into a folder the user may write; the temporary file needs that too.
std::string FolderWritable(const fs::path& folder) {
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0) return LastError();
  if (!S_ISDIR(st.st_mode)) return ErrorText(ENOTDIR);
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return LastError();
  return {};
}

// In a folder everyone may write to and only owners may delete from (/tmp), a link that
// neither the user nor the folder's owner made may have been planted to redirect the save.
std::string LinkTrusted(const fs::path& link, const struct stat& st) {
  struct stat folder;
  if (::stat(FolderOf(link).c_str(), &folder) != 0) return LastError();
  const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
  if (shared && st.st_uid != ::geteuid() && st.st_uid != folder.st_uid)
    return "Is a symbolic link that another user made in a shared folder";
  return {};
}

std::string ReadLink(const fs::path& link, fs::path& next) {
  std::string target(256, '\0');
  for (;;) {
    const ssize_t got = ::readlink(link.c_str(), target.data(), target.size());
    if (got < 0) return LastError();
    if (static_cast<std::size_t>(got) < target.size()) {
      target.resize(static_cast<std::size_t>(got));
      break;
    }
    target.resize(target.size() * 2);
  }
  const fs::path named(target);
  next = named.is_relative() ? FolderOf(link) / named : named; // next may be link itself
  return {};
}

Look LookOf(const struct stat& st) {
  return Look{true, static_cast<std::uint32_t>(st.st_mode & 07777), st.st_uid, st.st_gid};
}

std::string OpenRegular(const fs::path& path, int flags, Fd& fd, struct stat& st) {
  fd.reset(::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.open()) return LastError();
  if (::fstat(fd.get(), &st) != 0) return LastError();
  return NotRegular(st.st_mode);
}

} // namespace

Fd::~Fd() { reset(); }

void Fd::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

std::string Fd::Close() {
  if (fd_ < 0) return {};
  const int result = ::close(fd_);
  fd_ = -1;
  return result == 0 ? std::string() : LastError();
}

Target InspectTarget(const fs::path& path) {
  Target t;
  fs::path p = path;
  if (path.empty()) {
    t.problem = ErrorText(ENOENT);
    return t;
  }
  for (int hop = 0; hop <= kMaxLinks; ++hop) {
    struct stat st;
    if (::lstat(p.c_str(), &st) != 0) {
      t.path = p;
      t.problem = errno == ENOENT ? FolderWritable(FolderOf(p)) : LastError();
      return t;
    }
    if (S_ISLNK(st.st_mode)) {
      // Written through to the file it names, so the link stays a link.
      t.problem = LinkTrusted(p, st);
      if (t.problem.empty()) t.problem = ReadLink(p, p);
      if (!t.problem.empty()) return t;
      t.throughLink = true;
      continue;
    }
    t.path = p;
    t.exists = true;
    t.look = LookOf(st);
    t.device = st.st_dev;
    t.inode = st.st_ino;
    t.multiplyLinked = st.st_nlink > 1;
    t.problem = NotRegular(st.st_mode);
    // A file without any write permission was made read-only on purpose; even the
    // administrator keeps out, as editors do.
    if (t.problem.empty() && (st.st_mode & 0222) == 0) t.problem = kReadOnly;
    if (t.problem.empty() && ::access(p.c_str(), W_OK) != 0) t.problem = LastError();
    if (t.problem.empty()) t.problem = FolderWritable(FolderOf(p));
    return t;
  }
  t.problem = ErrorText(ELOOP);
  return t;
}

std::string OpenForReading(const fs::path& path, std::uintmax_t limit, Fd& fd) {
  // Looked at before it is opened: opening a serial device would already toggle its lines.
  struct stat before;
  if (::stat(path.c_str(), &before) != 0) return LastError();
  if (std::string problem = Readable(before, limit); !problem.empty()) return problem;
  struct stat opened;
  if (std::string problem = OpenRegular(path, O_RDONLY, fd, opened); !problem.empty())
    return problem;
  return Readable(opened, limit); // it may have been swapped in between
}

std::string ReadAll(int fd, std::uintmax_t limit, std::string& text) {
  char buffer[kChunk];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return LastError();
    if (got == 0) return {};
    text.append(buffer, static_cast<std::size_t>(got));
    if (text.size() > limit) return std::string(kTooLarge);
  }
}

std::string CreateTemporaryBeside(const fs::path& target, const Look& look, fs::path& temp,
                                  Fd& fd) {
  // A file that replaces another is private until it has that file's owner and mode; a new
  // file gets the mode the user's umask (or the folder's default ACL) gives.
  const mode_t mode = look.known ? 0600 : 0666;
  for (int attempt = 0; attempt < 100 && !fd.open(); ++attempt) {
    temp = UnpredictableNameBeside(target);
    fd.reset(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!fd.open() && errno != EEXIST) {
      const std::string problem = LastError();
      temp.clear();
      return problem;
    }
  }
  if (!fd.open()) {
    temp.clear();
    return ErrorText(EEXIST);
  }
  if (!look.known) return {};
  // The owner first: a change of owner clears set-id bits that the mode then restores. A user
  // who may not give the file its owner may still give it its group.
  if (::fchown(fd.get(), static_cast<uid_t>(look.uid), static_cast<gid_t>(look.gid)) != 0 &&
      ::fchown(fd.get(), static_cast<uid_t>(-1), static_cast<gid_t>(look.gid)) != 0) {
    // The file keeps the user as its owner.
  }
  if (::fchmod(fd.get(), static_cast<mode_t>(look.mode)) != 0) return LastError();
  return {};
}

std::string WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t put = ::write(fd, bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return LastError();
    if (put == 0) return ErrorText(EIO);
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
  return {};
}

std::string CopyFrom(const fs::path& source, int fd) {
  Fd in;
  struct stat st;
  if (std::string problem = OpenRegular(source, O_RDONLY | O_NOFOLLOW, in, st); !problem.empty())
    return problem;
  char buffer[kChunk];
  for (;;) {
    const ssize_t got = ::read(in.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return LastError();
    if (got == 0) return {};
    if (std::string problem = WriteAll(fd, {buffer, static_cast<std::size_t>(got)});
        !problem.empty())
      return problem;
  }
}

std::string Sync(int fd) { return ::fsync(fd) == 0 ? std::string() : LastError(); }

std::string MoveOver(const fs::path& from, const fs::path& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) return LastError();
  // The new name reaches the disk only with its folder; a failure here leaves a complete
  // file either way.
  Fd folder(::open(FolderOf(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.open()) ::fsync(folder.get());
  return {};
}

std::string OverwriteInPlace(const Target& target, const fs::path& source) {
  Fd out;
  struct stat st;
  if (std::string problem = OpenRegular(target.path, O_WRONLY | O_NOFOLLOW, out, st);
      !problem.empty())
    return problem;
  if (st.st_dev != target.device || st.st_ino != target.inode)
    return "Was replaced by another file during the save";
  Fd in;
  struct stat sourceSt;
  if (std::string problem = OpenRegular(source, O_RDONLY | O_NOFOLLOW, in, sourceSt);
      !problem.empty())
    return problem;
  char buffer[kChunk];
  off_t offset = 0;
  for (;;) {
    const ssize_t got = ::read(in.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return LastError();
    if (got == 0) break;
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::pwrite(out.get(), buffer + done, static_cast<std::size_t>(got - done),
                                   offset + done);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return put < 0 ? LastError() : ErrorText(EIO);
      done += put;
    }
    offset += got;
  }
  if (::ftruncate(out.get(), offset) != 0) return LastError();
  if (std::string problem = Sync(out.get()); !problem.empty()) return problem;
  return out.Close();
}

void RemoveQuietly(const fs::path& path) {
  if (!path.empty()) ::unlink(path.c_str());
}

std::string OpenForAppending(const fs::path& path, bool readToo, Fd& fd, bool& created) {
  // O_NOFOLLOW: a link put at the name since it was inspected is not followed; O_NONBLOCK: a
  // pipe put there is not waited on, and refused below.
  const int access = (readToo ? O_RDWR : O_WRONLY) | O_APPEND | O_NOFOLLOW;
  fd.reset(
      ::open(path.c_str(), access | O_CREAT | O_EXCL | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666));
  created = fd.open();
  if (!fd.open() && errno == EEXIST)
    fd.reset(::open(path.c_str(), access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.open())
    return errno == ELOOP ? ErrorText(ELOOP) : LastError();
  struct stat st;
  if (::fstat(fd.get(), &st) != 0)
    return LastError();
  if (std::string problem = NotRegular(st.st_mode); !problem.empty()) {
    fd.reset();
    return problem;
  }
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags >= 0)
    ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
  return {};
}

std::string LockExclusive(const fs::path& path, Fd& fd) {
  for (;;) {
    // Looked at before it is opened: opening a serial device would already toggle its lines.
    struct stat before;
    if (::stat(path.c_str(), &before) != 0 || !S_ISREG(before.st_mode))
      return {};
    fd.reset(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.open())
      return errno == ENOENT ? std::string() : LastError();
    struct stat held;
    if (::fstat(fd.get(), &held) != 0)
      return LastError();
    if (!S_ISREG(held.st_mode)) {
      fd.reset();
      return {};
    }
    int locked;
    do
      locked = ::flock(fd.get(), LOCK_EX);
    while (locked != 0 && errno == EINTR);
    if (locked != 0)
      return LastError();
    // A save replaces the file with a new one: the lock on the old one guards nothing then.
    struct stat now;
    if (::stat(path.c_str(), &now) != 0) {
      fd.reset();
      if (errno == ENOENT)
        return {};
      return LastError();
    }
    if (now.st_dev == held.st_dev && now.st_ino == held.st_ino)
      return {};
  }
}

void RemoveStaleTemporaries(const fs::path& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir)
    return;
  const int dirFd = ::dirfd(dir);
  const std::time_t staleBefore = std::time(nullptr) - kStaleTemporaryAgeSeconds;
  while (const dirent* entry = ::readdir(dir)) {
    if (!IsTemporaryName(entry->d_name))
      continue;
    struct stat st;
    if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
      continue;
    if (S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_mtime < staleBefore)
      ::unlinkat(dirFd, entry->d_name, 0);
  }
  ::closedir(dir);
}

} // namespace pw::fileio
