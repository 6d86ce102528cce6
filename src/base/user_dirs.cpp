// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/user_dirs.h"

#include <cstdlib>
#include <system_error>

#include "base/unicode_paths.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace pw {

namespace fs = std::filesystem;

namespace {

#ifndef _WIN32
fs::path FromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  // XDG asks that a relative value be ignored.
  if (!value || !*value || !fs::path(value).is_absolute()) return {};
  return fs::path(value);
}
#endif

#ifdef _WIN32
fs::path LocalAppData() {
  const wchar_t* value = _wgetenv(L"LOCALAPPDATA");
  if (!value || !*value) return {};
  return fs::path(value) / "Pagewright";
}
#endif

} // namespace

fs::path UserConfigDirectory() {
#ifdef _WIN32
  return LocalAppData();
#else
  if (fs::path base = FromEnvironment("XDG_CONFIG_HOME"); !base.empty()) return base / "pagewright";
  if (fs::path home = FromEnvironment("HOME"); !home.empty()) return home / ".config" / "pagewright";
  return {};
#endif
}

fs::path UserDataDirectory() {
#ifdef _WIN32
  return LocalAppData();
#else
  if (fs::path base = FromEnvironment("XDG_DATA_HOME"); !base.empty()) return base / "pagewright";
  if (fs::path home = FromEnvironment("HOME"); !home.empty())
    return home / ".local" / "share" / "pagewright";
  return {};
#endif
}

bool EnsureDirectory(const fs::path& dir, std::string* error) {
  std::error_code ec;
  if (dir.empty()) {
    if (error) *error = "no folder for the user's files is known (HOME is not set)";
    return false;
  }
#ifdef _WIN32
  // create_directories takes no "\\?\" path: a long one is made level by level, the levels
  // that exist already (the drive, the share) passed over.
  if (const fs::path system = SystemPath(dir); system != dir) {
    const std::wstring& text = system.native();
    DWORD failure = ERROR_PATH_NOT_FOUND;
    for (std::size_t end = text.find(L'\\', 4);; end = text.find(L'\\', end + 1)) {
      if (!CreateDirectoryW(text.substr(0, end).c_str(), nullptr) &&
          GetLastError() != ERROR_ALREADY_EXISTS)
        failure = GetLastError();
      if (end == std::wstring::npos)
        break;
    }
    const DWORD attributes = GetFileAttributesW(text.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
      return true;
    if (error)
      *error = std::system_category().message(int(failure));
    return false;
  }
#endif
  fs::create_directories(dir, ec);
  if (!ec && fs::is_directory(dir, ec)) return true;
  if (error) *error = ec ? ec.message() : std::string("not a folder");
  return false;
}

std::string ExecutableDirectory(const char* argv0) {
  std::error_code ec;
  fs::path exe;
#ifdef _WIN32
  wchar_t buffer[32768];
  DWORD n = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
  if (n > 0 && n < std::size(buffer)) exe = fs::path(std::wstring(buffer, n));
#else
  exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) exe.clear();
#endif
  if (exe.empty() && argv0) exe = fs::absolute(PathFromUtf8(argv0), ec);
  std::string dir = Utf8FromPath(exe.parent_path());
  if (dir.empty() || (dir.back() != '/' && dir.back() != '\\')) dir += '/';
  return dir;
}

} // namespace pw
