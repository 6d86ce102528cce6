// Whole-file text reading and crash-safe writing for codeplug data files. Failures are
// values carrying a message that names the file.
#pragma once

#include <string>
#include <string_view>

namespace pw {

struct FileReadResult {
  bool ok = false;
  std::string text;  // the whole file, bytes unchanged
  std::string error; // e.g. "Cannot read file \"X\": No such file or directory"
};

struct FileWriteResult {
  bool ok = false;
  std::string error; // e.g. "Cannot write file \"X\": Permission denied"
};

FileReadResult ReadTextFile(const std::string& path);
bool FileExists(const std::string& path);

// Writes text to a temporary file beside path, flushes it to disk and renames it over path,
// so the target is either the old or the complete new content. With makeBackup and an
// existing target, the old file is first copied to path + ".bak" (an older backup is
// replaced). On failure the temporary file is removed.
FileWriteResult WriteFileSafely(const std::string& path, std::string_view text, bool makeBackup);

} // namespace pw
