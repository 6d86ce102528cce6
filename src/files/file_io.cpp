// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/file_io.h"

#include "base/unicode_paths.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <random>
#include <system_error>

#include "files/file_io_platform.h"

namespace pw {

namespace fileio {

std::string ErrorText(int error) { return std::strerror(error != 0 ? error : EIO); }

fs::path FolderOf(const fs::path& file) {
  const fs::path folder = file.parent_path();
  return folder.empty() ? fs::path(".") : folder;
}

fs::path UnpredictableNameBeside(const fs::path& target) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  std::string suffix;
  for (int i = 0; i < 12; ++i) suffix += kLetters[random() % (sizeof kLetters - 1)];
  std::u8string name = target.filename().u8string().substr(0, 200); // stays within NAME_MAX
  return FolderOf(target) / (u8"." + name + u8"." +
                             std::u8string(suffix.begin(), suffix.end()) + u8".tmp");
}

bool IsTemporaryName(std::string_view name) {
  // "." + the file's name + "." + 12 letters or digits + ".tmp"
  constexpr std::size_t kSuffix = 1 + 12 + 4;
  if (name.size() < 1 + 1 + kSuffix || name.front() != '.' || !name.ends_with(".tmp"))
    return false;
  const std::string_view random = name.substr(name.size() - kSuffix + 1, 12);
  if (name[name.size() - kSuffix] != '.')
    return false;
  for (const char c : random)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
      return false;
  return true;
}

} // namespace fileio

namespace {

using fileio::Fd;
using fileio::Look;
using fileio::Target;
namespace fs = std::filesystem;

// Paths arrive as UTF-8 from the dialogs and the command line.
fs::path ToPath(const std::string& path) { return PathFromUtf8(path); }

std::string Describe(std::string_view verb, const std::string& path, const std::string& reason) {
  return "Cannot " + std::string(verb) + " file \"" + path + "\": " + reason;
}

FileWriteResult WriteFailed(const std::string& path, const std::string& reason) {
  return FileWriteResult{false, Describe("write", path, reason)};
}

// A save that failed once its checks had passed left the file and its backup as they were.
FileWriteResult SaveFailed(const std::string& path, const std::string& reason) {
  return WriteFailed(path, reason + "; the save failed and nothing was changed");
}

// What a temporary file is filled with: text, or the content of an existing file.
struct Content {
  std::string_view text;
  const fs::path* file = nullptr;
};

// Creates, fills and syncs a temporary file beside target.
std::string WriteTemporary(const fs::path& target, const Look& look, const Content& content,
                           fs::path& temp) {
  Fd fd;
  std::string problem = fileio::CreateTemporaryBeside(target, look, temp, fd);
  if (problem.empty())
    problem = content.file ? fileio::CopyFrom(*content.file, fd.get())
                           : fileio::WriteAll(fd.get(), content.text);
  if (problem.empty()) problem = fileio::Sync(fd.get());
  if (std::string closed = fd.Close(); problem.empty()) problem = closed;
  return problem;
}

// One file about to be replaced. Its new content waits, complete and synced, in a temporary
// file beside it; the file itself changes only at Commit, and Undo puts it back afterwards.
class Replacement {
public:
  explicit Replacement(Target target) : target_(std::move(target)) {}
  Replacement(const Replacement&) = delete;
  Replacement& operator=(const Replacement&) = delete;
  ~Replacement() {
    fileio::RemoveQuietly(temp_);
    fileio::RemoveQuietly(previous_);
  }

  const Target& target() const { return target_; }

  // undoable: keeps a copy of the old content, so Undo can restore it; a file rewritten in
  // place always keeps one, to restore it when the rewrite fails half-way.
  std::string Prepare(const Content& content, const Look& look, bool undoable) {
    std::string problem = WriteTemporary(target_.path, look, content, temp_);
    if (problem.empty() && target_.exists && (undoable || target_.multiplyLinked)) {
      const Content old{{}, &target_.path};
      problem = WriteTemporary(target_.path, target_.look, old, previous_);
    }
    return problem;
  }

  std::string Commit() {
    if (!target_.multiplyLinked) {
      std::string problem = fileio::MoveOver(temp_, target_.path);
      if (problem.empty()) temp_.clear();
      return problem;
    }
    std::string problem = fileio::OverwriteInPlace(target_, temp_);
    if (!problem.empty()) fileio::OverwriteInPlace(target_, previous_);
    return problem;
  }

  void Undo() {
    if (!target_.exists) {
      fileio::RemoveQuietly(target_.path);
    } else if (target_.multiplyLinked) {
      fileio::OverwriteInPlace(target_, previous_);
    } else if (fileio::MoveOver(previous_, target_.path).empty()) {
      previous_.clear();
    }
  }

private:
  Target target_;
  fs::path temp_;
  fs::path previous_;
};

// The backup keeps its own mode and owner, but never lets others read what the file itself
// keeps from them; a new backup is made like the file.
Look BackupLook(const Target& backup, const Target& file) {
  if (!backup.exists) return file.look;
  Look look = backup.look;
  look.mode &= file.look.mode | 07700;
  return look;
}

// The backup of an existing file must be replaceable too, and must not be the file itself.
std::string BackupProblem(const Target& backup, const Target& file) {
  if (!backup.problem.empty()) return backup.problem;
  if (backup.exists && backup.inode != 0 && backup.device == file.device &&
      backup.inode == file.inode)
    return "Is the file itself";
  return {};
}

} // namespace

FileReadResult ReadTextFile(const std::string& path, std::uintmax_t limit) {
  FileReadResult result;
  Fd fd;
  std::string problem = fileio::OpenForReading(ToPath(path), limit, fd);
  result.missing = !fd.open() && problem == fileio::ErrorText(ENOENT);
  if (problem.empty())
    problem = fileio::ReadAll(fd.get(), limit, result.text);
  if (!problem.empty()) {
    result.text.clear();
    result.error = Describe("read", path, problem);
    return result;
  }
  result.ok = true;
  return result;
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(ToPath(path), ec);
}

FileWriteResult CheckWriteTarget(const std::string& path, bool backup) {
  const Target target = fileio::InspectTarget(ToPath(path));
  if (!target.problem.empty()) return WriteFailed(path, target.problem);
  if (backup && target.exists) {
    const std::string backupPath = path + ".bak";
    const std::string problem = BackupProblem(fileio::InspectTarget(ToPath(backupPath)), target);
    if (!problem.empty()) return WriteFailed(backupPath, problem);
  }
  return FileWriteResult{true, {}};
}

FileWriteResult WriteFileSafely(const std::string& path, std::string_view text, bool makeBackup) {
  Replacement file(fileio::InspectTarget(ToPath(path)));
  const Target& target = file.target();
  if (!target.problem.empty()) return WriteFailed(path, target.problem);
  fileio::RemoveStaleTemporaries(fileio::FolderOf(target.path));
  if (std::string problem = file.Prepare(Content{text}, target.exists ? target.look : Look{}, false);
      !problem.empty())
    return SaveFailed(path, problem);

  std::optional<Replacement> backup;
  const std::string backupPath = path + ".bak";
  if (makeBackup && target.exists) {
    backup.emplace(fileio::InspectTarget(ToPath(backupPath)));
    const Target& old = backup->target();
    if (std::string problem = BackupProblem(old, target); !problem.empty())
      return WriteFailed(backupPath, problem);
    if (fileio::FolderOf(old.path) != fileio::FolderOf(target.path))
      fileio::RemoveStaleTemporaries(fileio::FolderOf(old.path));
    if (std::string problem =
            backup->Prepare(Content{{}, &target.path}, BackupLook(old, target), true);
        !problem.empty())
      return SaveFailed(path, problem + " (while writing the backup \"" + backupPath + "\")");
  }

  // All new content is on disk; only now do the backup and the file change.
  if (backup) {
    if (std::string problem = backup->Commit(); !problem.empty())
      return SaveFailed(path, problem + " (while writing the backup \"" + backupPath + "\")");
  }
  if (std::string problem = file.Commit(); !problem.empty()) {
    if (backup) backup->Undo();
    return WriteFailed(path, problem);
  }
  return FileWriteResult{true, {}};
}

int OpenForAppending(const std::filesystem::path& path, bool readToo, bool& created,
                     std::string& reason) {
  created = false;
  const Target target = fileio::InspectTarget(path);
  reason = target.problem;
  if (reason.empty() && target.throughLink && !target.exists)
    reason = "Is a symbolic link to a file that does not exist";
  Fd fd;
  if (reason.empty())
    reason = fileio::OpenForAppending(target.path, readToo, fd, created);
  if (!reason.empty())
    return -1;
  const int descriptor = fd.get();
  fd.release();
  return descriptor;
}

FileLock::~FileLock() { Fd closed(fd_); }

bool FileLock::Acquire(const std::string& path, std::string& error) {
  {
    Fd held(fd_); // a lock held before is given up first
    fd_ = -1;
  }
  Fd fd;
  const std::string problem = fileio::LockExclusive(ToPath(path), fd);
  if (!problem.empty()) {
    error = "Cannot lock file \"" + path + "\": " + problem;
    return false;
  }
  fd_ = fd.get();
  fd.release();
  return true;
}

} // namespace pw
