// SPDX-License-Identifier: GPL-3.0-or-later
// File-system steps of the safe save and the bounded read on Windows. Files are replaced with
// ReplaceFileW, which keeps the replaced file's attributes and security, or moved into place
// with a write-through move; a file marked read-only is refused. Every path reaches the
// system in the form SystemPath gives it, so long paths work without the system's setting.
#include "files/file_io_platform.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cwctype>
#include <span>
#include <system_error>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include "base/sha256.h"
#include "base/unicode_paths.h"

namespace pw::fileio {

namespace {

constexpr unsigned kChunk = 8192;

std::string LastError() { return ErrorText(errno); }
std::string LastWin32Error() { return std::system_category().message(int(GetLastError())); }

// A path as the system's calls take it.
std::wstring Sys(const fs::path& path) {
  return SystemPath(path).native();
}

// _wstat64 of a path; a long one is looked up by its attributes, as the runtime's stat may
// refuse the "\\?\" form. (A long path never names a device.)
int Stat(const fs::path& path, struct _stat64& st) {
  const std::wstring system = Sys(path);
  if (system == path.native())
    return _wstat64(path.c_str(), &st);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(system.c_str(), GetFileExInfoStandard, &data)) {
    const DWORD error = GetLastError();
    errno = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ENOENT
            : error == ERROR_ACCESS_DENIED                                 ? EACCES
                                                                           : EIO;
    return -1;
  }
  st = {};
  st.st_mode = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? _S_IFDIR : _S_IFREG;
  st.st_size = static_cast<__int64>((std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  return 0;
}

std::string NotRegular(unsigned short mode) {
  if ((mode & _S_IFMT) == _S_IFDIR) return ErrorText(EISDIR);
  if ((mode & _S_IFMT) != _S_IFREG) return "Is a device, not a regular file";
  return {};
}

std::string Readable(const struct _stat64& st, std::uintmax_t limit) {
  if (std::string problem = NotRegular(st.st_mode); !problem.empty()) return problem;
  if (static_cast<std::uintmax_t>(st.st_size) > limit) return std::string(kTooLarge);
  return {};
}

std::string FolderExists(const fs::path& folder) {
  const DWORD attributes = GetFileAttributesW(Sys(folder).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastWin32Error();
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ErrorText(ENOTDIR);
  return {};
}

std::string OpenRegular(const fs::path& path, int flags, Fd& fd) {
  fd.reset(_wopen(Sys(path).c_str(), flags | _O_BINARY | _O_NOINHERIT));
  if (!fd.open()) return LastError();
  struct _stat64 st;
  if (_fstat64(fd.get(), &st) != 0) return LastError();
  return NotRegular(st.st_mode);
}

std::string CopyTo(int in, int out) {
  char buffer[kChunk];
  for (;;) {
    const int got = _read(in, buffer, kChunk);
    if (got < 0) return LastError();
    if (got == 0) return {};
    if (std::string problem = WriteAll(out, {buffer, static_cast<std::size_t>(got)});
        !problem.empty())
      return problem;
  }
}

} // namespace

Fd::~Fd() { reset(); }

void Fd::reset(int fd) {
  if (fd_ >= 0) _close(fd_);
  fd_ = fd;
}

std::string Fd::Close() {
  if (fd_ < 0) return {};
  const int result = _close(fd_);
  fd_ = -1;
  return result == 0 ? std::string() : LastError();
}

Target InspectTarget(const fs::path& path) {
  Target t;
  t.path = path;
  if (path.empty()) {
    t.problem = ErrorText(ENOENT);
    return t;
  }
  std::error_code ec;
  if (fs::is_symlink(path, ec)) {
    // Written through to the file it names, so the link stays a link.
    t.throughLink = true;
    t.path = fs::weakly_canonical(path, ec);
    if (ec) {
      t.problem = ec.message();
      return t;
    }
  }
  const DWORD attributes = GetFileAttributesW(Sys(t.path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    t.problem = error == ERROR_FILE_NOT_FOUND ? FolderExists(FolderOf(t.path))
                                              : std::system_category().message(int(error));
    return t;
  }
  t.exists = true;
  struct _stat64 st;
  if (Stat(t.path, st) != 0) {
    t.problem = LastError();
  } else if (t.problem = NotRegular(st.st_mode); t.problem.empty()) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) t.problem = kReadOnly;
  }
  // ReplaceFileW gives the new file the old one's name and identity; other hard links keep
  // the old content, as with every editor on this platform.
  return t;
}

std::string OpenForReading(const fs::path& path, std::uintmax_t limit, Fd& fd) {
  struct _stat64 st;
  if (Stat(path, st) != 0)
    return LastError();
  if (std::string problem = Readable(st, limit); !problem.empty()) return problem;
  if (std::string problem = OpenRegular(path, _O_RDONLY, fd); !problem.empty()) return problem;
  if (_fstat64(fd.get(), &st) != 0) return LastError();
  return Readable(st, limit);
}

std::string ReadAll(int fd, std::uintmax_t limit, std::string& text) {
  char buffer[kChunk];
  for (;;) {
    const int got = _read(fd, buffer, kChunk);
    if (got < 0) return LastError();
    if (got == 0) return {};
    text.append(buffer, static_cast<std::size_t>(got));
    if (text.size() > limit) return std::string(kTooLarge);
  }
}

std::string CreateTemporaryBeside(const fs::path& target, const Look&, fs::path& temp, Fd& fd) {
  for (int attempt = 0; attempt < 100 && !fd.open(); ++attempt) {
    temp = UnpredictableNameBeside(target);
    fd.reset(_wopen(Sys(temp).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                    _S_IREAD | _S_IWRITE));
    if (!fd.open() && errno != EEXIST) {
      const std::string problem = LastError();
      temp.clear();
      return problem;
    }
  }
  if (fd.open()) return {};
  temp.clear();
  return ErrorText(EEXIST);
}

std::string WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const unsigned size = bytes.size() > kChunk ? kChunk : static_cast<unsigned>(bytes.size());
    const int put = _write(fd, bytes.data(), size);
    if (put < 0) return LastError();
    if (put == 0) return ErrorText(EIO);
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
  return {};
}

std::string CopyFrom(const fs::path& source, int fd) {
  Fd in;
  if (std::string problem = OpenRegular(source, _O_RDONLY, in); !problem.empty()) return problem;
  return CopyTo(in.get(), fd);
}

std::string Sync(int fd) { return _commit(fd) == 0 ? std::string() : LastError(); }

std::string MoveOver(const fs::path& from, const fs::path& to) {
  const std::wstring source = Sys(from), destination = Sys(to);
  if (GetFileAttributesW(destination.c_str()) != INVALID_FILE_ATTRIBUTES &&
      ReplaceFileW(destination.c_str(), source.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                   nullptr, nullptr))
    return {};
  if (!MoveFileExW(source.c_str(), destination.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return LastWin32Error();
  return {};
}

std::string OverwriteInPlace(const Target& target, const fs::path& source) {
  Fd out, in;
  if (std::string problem = OpenRegular(target.path, _O_WRONLY, out); !problem.empty())
    return problem;
  if (std::string problem = OpenRegular(source, _O_RDONLY, in); !problem.empty()) return problem;
  if (std::string problem = CopyTo(in.get(), out.get()); !problem.empty()) return problem;
  const long long size = _telli64(out.get());
  if (size < 0 || _chsize_s(out.get(), size) != 0) return LastError();
  if (std::string problem = Sync(out.get()); !problem.empty()) return problem;
  return out.Close();
}

void RemoveQuietly(const fs::path& path) {
  if (!path.empty())
    DeleteFileW(Sys(path).c_str());
}

std::string OpenForAppending(const fs::path& path, bool readToo, Fd& fd, bool& created) {
  const int access = (readToo ? _O_RDWR : _O_WRONLY) | _O_APPEND | _O_BINARY | _O_NOINHERIT;
  fd.reset(_wopen(Sys(path).c_str(), access | _O_CREAT | _O_EXCL, _S_IREAD | _S_IWRITE));
  created = fd.open();
  if (!fd.open() && errno == EEXIST)
    fd.reset(_wopen(Sys(path).c_str(), access));
  if (!fd.open())
    return LastError();
  struct _stat64 st;
  if (_fstat64(fd.get(), &st) != 0)
    return LastError();
  if (std::string problem = NotRegular(st.st_mode); !problem.empty()) {
    fd.reset();
    return problem;
  }
  return {};
}


// The data file itself is never held open, so a save may replace it while the lock is held:
// the lock is a file of its own in the temporary folder, named after the data file's full
// path, locked with LockFileEx and deleted when its last holder closes it.
std::string LockExclusive(const fs::path& path, Fd& fd) {
  fd.reset();
  const DWORD attributes = GetFileAttributesW(Sys(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return {};
  std::error_code ec;
  std::wstring key = fs::absolute(path, ec).wstring();
  for (wchar_t& c : key)
    c = static_cast<wchar_t>(towlower(c));
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(key.data());
  const std::string name =
      "pagewright-" +
      Sha256Hex(std::span<const std::uint8_t>(bytes, key.size() * sizeof(wchar_t))).substr(0, 24) +
      ".lock";
  const fs::path lockFile = fs::temp_directory_path(ec) / name;
  if (ec)
    return ec.message();
  HANDLE h = CreateFileW(Sys(lockFile).c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return LastWin32Error();
  fd.reset(_open_osfhandle(reinterpret_cast<std::intptr_t>(h), _O_RDWR));
  if (!fd.open()) {
    CloseHandle(h);
    return LastError();
  }
  OVERLAPPED at{};
  if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) {
    const std::string error = LastWin32Error();
    fd.reset();
    return error;
  }
  return {};
}

void RemoveStaleTemporaries(const fs::path& folder) {
  std::error_code ec;
  const auto staleBefore =
      fs::file_time_type::clock::now() - std::chrono::seconds(kStaleTemporaryAgeSeconds);
  for (fs::directory_iterator it(SystemPath(folder), ec), end; !ec && it != end; it.increment(ec)) {
    const std::u8string name = it->path().filename().u8string();
    if (!IsTemporaryName(std::string_view(reinterpret_cast<const char*>(name.data()), name.size())))
      continue;
    std::error_code ignored;
    if (it->is_regular_file(ignored) && !it->is_symlink(ignored) &&
        it->last_write_time(ignored) < staleBefore)
      fs::remove(it->path(), ignored);
  }
}

} // namespace pw::fileio
