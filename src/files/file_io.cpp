#include "files/file_io.h"

#include "base/unicode_paths.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace pw {

namespace fs = std::filesystem;

namespace {

// Paths arrive as UTF-8 from the dialogs and the command line.
fs::path ToPath(const std::string& path) { return PathFromUtf8(path); }

std::FILE* OpenFile(const fs::path& path, bool forWriting) {
#ifdef _WIN32
  return _wfopen(path.c_str(), forWriting ? L"wb" : L"rb");
#else
  return std::fopen(path.c_str(), forWriting ? "wb" : "rb");
#endif
}

std::string Describe(std::string_view verb, const std::string& path, const std::string& reason) {
  return "Cannot " + std::string(verb) + " file \"" + path + "\": " + reason;
}

std::string ErrnoText(int error) { return std::strerror(error != 0 ? error : EIO); }

// A name beside the target that is not taken yet.
fs::path TemporaryPathFor(const fs::path& target) {
  for (int n = 0;; ++n) {
    fs::path candidate = target;
    candidate += ".pwtmp" + std::to_string(n);
    std::error_code ec;
    if (!fs::exists(candidate, ec) || n >= 999) return candidate;
  }
}

#ifndef _WIN32
// Makes the rename itself durable; failure here leaves a complete file either way.
void SyncFolder(const fs::path& file) {
  fs::path folder = file.parent_path();
  if (folder.empty()) folder = ".";
  const int fd = ::open(folder.c_str(), O_RDONLY);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}
#endif

// Writes and flushes the whole text; returns 0 or the errno of the failure.
int WriteWhole(const fs::path& path, std::string_view text) {
  errno = 0;
  std::FILE* file = OpenFile(path, true);
  if (file == nullptr) return errno != 0 ? errno : EIO;
  int error = 0;
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file) != text.size())
    error = errno != 0 ? errno : EIO;
  if (error == 0 && std::fflush(file) != 0) error = errno != 0 ? errno : EIO;
#ifndef _WIN32
  if (error == 0 && ::fsync(::fileno(file)) != 0) error = errno != 0 ? errno : EIO;
#endif
  if (std::fclose(file) != 0 && error == 0) error = errno != 0 ? errno : EIO;
  return error;
}

} // namespace

FileReadResult ReadTextFile(const std::string& path) {
  FileReadResult result;
  errno = 0;
  std::FILE* file = OpenFile(ToPath(path), false);
  if (file == nullptr) {
    result.error = Describe("read", path, ErrnoText(errno));
    return result;
  }
  char buffer[8192];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) result.text.append(buffer, got);
  const bool failed = std::ferror(file) != 0;
  const int error = errno;
  std::fclose(file);
  if (failed) {
    result.text.clear();
    result.error = Describe("read", path, ErrnoText(error));
    return result;
  }
  result.ok = true;
  return result;
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(ToPath(path), ec);
}

FileWriteResult WriteFileSafely(const std::string& path, std::string_view text, bool makeBackup) {
  FileWriteResult result;
  const fs::path target = ToPath(path);

  if (makeBackup && FileExists(path)) {
    const FileReadResult old = ReadTextFile(path);
    if (!old.ok) {
      result.error = old.error;
      return result;
    }
    const FileWriteResult backup = WriteFileSafely(path + ".bak", old.text, false);
    if (!backup.ok) return backup;
  }

  const fs::path temporary = TemporaryPathFor(target);
  if (const int error = WriteWhole(temporary, text); error != 0) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    result.error = Describe("write", path, ErrnoText(error));
    return result;
  }

  std::error_code ec;
  fs::rename(temporary, target, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    result.error = Describe("write", path, ec.message());
    return result;
  }
#ifndef _WIN32
  SyncFolder(target);
#endif
  result.ok = true;
  return result;
}

} // namespace pw
