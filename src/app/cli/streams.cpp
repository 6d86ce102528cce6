// SPDX-License-Identifier: GPL-3.0-or-later
// Files the commands read and write, where "-" names standard input or output.
#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "app/cli/cli.h"
#include "files/file_io.h"

namespace pw::cli {

namespace {

// Data files end their lines CR LF: the Windows runtime must not add another CR.
void BinaryMode(std::FILE* stream) {
#ifdef _WIN32
  _setmode(_fileno(stream), _O_BINARY);
#else
  (void)stream;
#endif
}

} // namespace

std::string StreamName(const std::string& path, bool output) {
  if (!IsStandardStream(path))
    return path;
  return output ? "standard output" : "standard input";
}

std::optional<std::string> ReadInput(const std::string& path) {
  if (!IsStandardStream(path)) {
    FileReadResult read = ReadTextFile(path);
    if (!read.ok) {
      std::fprintf(stderr, "%s\n", read.error.c_str());
      return std::nullopt;
    }
    return std::move(read.text);
  }
  // As much as a file may hold, and not a byte more is kept.
  BinaryMode(stdin);
  std::string text;
  char buffer[16384];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;) {
    if (text.size() + n > kMaxReadFileBytes) {
      Complain("standard input holds more than " + std::to_string(kMaxReadFileBytes) +
               " bytes, more than any codeplug");
      return std::nullopt;
    }
    text.append(buffer, n);
  }
  if (std::ferror(stdin)) {
    Complain("cannot read standard input");
    return std::nullopt;
  }
  return text;
}

bool WriteOutput(const std::string& path, std::string_view text, bool backup) {
  if (!IsStandardStream(path)) {
    const FileWriteResult w = WriteFileSafely(path, text, backup);
    if (!w.ok)
      std::fprintf(stderr, "%s\n", w.error.c_str());
    return w.ok;
  }
  BinaryMode(stdout);
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    Complain("cannot write standard output");
    return false;
  }
  return true;
}

bool LoadCodeplug(Session& s, const std::string& path) {
  if (!IsStandardStream(path))
    return s.model.LoadFile(path);
  const std::optional<std::string> text = ReadInput(path);
  return text && s.model.LoadText(*text);
}

bool SaveCodeplug(Session& s, const std::string& path) {
  if (!IsStandardStream(path))
    return s.model.SaveFile(path);
  const std::optional<std::string> text = s.model.SaveText();
  return text && WriteOutput(path, *text, false);
}

} // namespace pw::cli
