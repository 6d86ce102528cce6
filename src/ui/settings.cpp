// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings.h"

#include "base/unicode_paths.h"
#include "base/user_dirs.h"
#include "files/file_io.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace pw::ui {

namespace fs = std::filesystem;

bool DirectoryWritable(const std::string& dirText) {
  const fs::path dir = PathFromUtf8(dirText);
  std::error_code ec;
  if (dir.empty() || !fs::is_directory(dir, ec)) return false;
#ifdef _WIN32
  // The folder's access list against this process's token, as opening a file would test it.
  const SECURITY_INFORMATION info =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD needed = 0;
  GetFileSecurityW(dir.c_str(), info, nullptr, 0, &needed);
  if (needed == 0) return false;
  std::vector<unsigned char> descriptor(needed);
  if (!GetFileSecurityW(dir.c_str(), info, descriptor.data(), needed, &needed)) return false;
  HANDLE process = nullptr, token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(),
                        TOKEN_IMPERSONATE | TOKEN_QUERY | TOKEN_DUPLICATE | STANDARD_RIGHTS_READ,
                        &process))
    return false;
  const bool duplicated = DuplicateToken(process, SecurityImpersonation, &token);
  CloseHandle(process);
  if (!duplicated) return false;
  GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                             FILE_ALL_ACCESS};
  DWORD wanted = FILE_ADD_FILE;
  MapGenericMask(&wanted, &mapping);
  PRIVILEGE_SET privileges = {};
  DWORD privilegesLength = sizeof privileges, granted = 0;
  BOOL allowed = FALSE;
  const bool checked = AccessCheck(descriptor.data(), token, wanted, &mapping, &privileges,
                                   &privilegesLength, &granted, &allowed);
  CloseHandle(token);
  return checked && allowed;
#else
  return access(dir.c_str(), W_OK | X_OK) == 0;
#endif
}

namespace {

// A line of which at most the first four characters count, converted up to its first
// non-digit; rest moves on to the next line.
int ReadNumberLine(std::string_view& rest, bool& ok) {
  if (rest.empty()) {
    ok = false;
    return 0;
  }
  const std::size_t end = rest.find('\n');
  const std::string_view line = rest.substr(0, std::min<std::size_t>(end, 4));
  rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  int value = 0;
  int digits = 0;
  for (const char c : line) {
    if (c < '0' || c > '9')
      break;
    value = value * 10 + (c - '0');
    ++digits;
  }
  if (digits == 0)
    ok = false;
  return value;
}

} // namespace

bool UnderSystemPrefix(const std::string& dirText) {
#ifdef _WIN32
  (void)dirText;
  return false;
#else
  std::error_code ec;
  fs::path dir = fs::weakly_canonical(PathFromUtf8(dirText), ec);
  if (ec || dir.empty())
    dir = PathFromUtf8(dirText);
  if (!dir.is_absolute())
    return false;
  for (const char* prefix : {"/usr", "/opt", "/bin", "/sbin"}) {
    const fs::path inside = dir.lexically_relative(prefix);
    if (!inside.empty() && *inside.begin() != "..")
      return true;
  }
  return false;
#endif
}

bool WorksBesideProgram(const std::string& programDir) {
  return DirectoryWritable(programDir) && !UnderSystemPrefix(programDir);
}

std::string SettingsDirectory(const std::string& programDir) {
  if (WorksBesideProgram(programDir)) return programDir;
  // Created when the settings are first written, not here.
  fs::path dir = UserConfigDirectory();
  if (dir.empty()) return programDir;
  std::string s = Utf8FromPath(dir);
  if (!s.empty() && s.back() != '/' && s.back() != '\\') s += '/';
  return s;
}

PortSettings ReadSettings(const std::string& path, std::string* problem) {
  PortSettings s;
  const FileReadResult read = ReadTextFile(path, kMaxIniFileBytes);
  if (!read.ok) {
    if (problem && !read.missing)
      *problem = read.error;
    return s;
  }
  std::string_view rest = read.text;
  bool portOk = true, countOk = true;
  int port = ReadNumberLine(rest, portOk);
  int count = ReadNumberLine(rest, countOk);
  if (portOk && port >= 1 && port <= 256) s.port = port;
  if (countOk && count >= 0 && count <= 256) s.visiblePortCount = count;
  return s;
}

bool WriteSettings(const std::string& path, const PortSettings& settings) {
  const fs::path folder = PathFromUtf8(path).parent_path();
  if (!folder.empty() && !EnsureDirectory(folder)) return false;
  std::FILE* f = OpenFile(PathFromUtf8(path), "w");
  if (!f) return false;
  bool ok = std::fprintf(f, "%d\n%d\n", settings.port, settings.visiblePortCount) > 0;
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

} // namespace pw::ui
