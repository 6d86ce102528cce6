// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/unicode_paths.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>
#endif

namespace pw {

namespace fs = std::filesystem;

#ifdef _WIN32

namespace {

std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring wide(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), n);
  return wide;
}

std::string Narrow(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string utf8(n > 0 ? n : 0, '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), n, nullptr, nullptr);
  return utf8;
}

} // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
    std::vector<std::string> args;
    args.reserve(count);
    for (int i = 0; i < count; ++i) args.push_back(Narrow(wide[i]));
    LocalFree(wide);
    return args;
  }
  return std::vector<std::string>(argv, argv + argc);
}

fs::path PathFromUtf8(std::string_view utf8) { return fs::path(Widen(utf8)); }

std::string Utf8FromPath(const fs::path& path) { return Narrow(path.native()); }

std::FILE* OpenFile(const fs::path& path, const char* mode) {
  return _wfopen(SystemPath(path).c_str(), Widen(mode).c_str());
}

fs::path SystemPath(const fs::path& path) {
  // CreateDirectoryW's limit (MAX_PATH less room for an 8.3 file name) is the lowest.
  constexpr std::size_t kLongestPlain = MAX_PATH - 12;
  const std::wstring& native = path.native();
  if (native.empty() || native.starts_with(L"\\\\?\\") || native.starts_with(L"\\\\.\\"))
    return path;
  if (path.is_absolute() && native.size() < kLongestPlain)
    return path;
  // The long form is taken as it stands: the full path resolves "." and ".." and turns
  // slashes into backslashes first.
  const DWORD n = GetFullPathNameW(native.c_str(), 0, nullptr, nullptr);
  if (n == 0)
    return path;
  std::wstring full(n, L'\0');
  const DWORD got = GetFullPathNameW(native.c_str(), n, full.data(), nullptr);
  if (got == 0 || got >= n)
    return path;
  full.resize(got);
  if (full.size() < kLongestPlain || full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\"))
    return path; // short enough as it is, or a device
  if (full.starts_with(L"\\\\"))
    return fs::path(L"\\\\?\\UNC\\" + full.substr(2));
  return fs::path(L"\\\\?\\" + full);
}

#else

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

fs::path PathFromUtf8(std::string_view utf8) { return fs::path(std::string(utf8)); }

std::string Utf8FromPath(const fs::path& path) { return path.native(); }

std::FILE* OpenFile(const fs::path& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

fs::path SystemPath(const fs::path& path) {
  return path;
}

#endif

bool IsWindowsDeviceName(std::string_view utf8Path) {
  const std::size_t slash = utf8Path.find_last_of("/\\");
  std::string_view name = slash == std::string_view::npos ? utf8Path : utf8Path.substr(slash + 1);
  // The device is named by what comes before the first dot (or a drive-style colon), trailing
  // spaces ignored.
  name = name.substr(0, name.find_first_of(".:"));
  while (!name.empty() && name.back() == ' ')
    name.remove_suffix(1);
  std::string upper;
  for (char c : name)
    upper += (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (upper == device)
      return true;
  if (upper.size() < 4 || (upper.compare(0, 3, "COM") != 0 && upper.compare(0, 3, "LPT") != 0))
    return false;
  const std::string_view digit = std::string_view(upper).substr(3);
  return (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') || digit == "\xC2\xB9" ||
         digit == "\xC2\xB2" || digit == "\xC2\xB3"; // superscript 1-3
}

} // namespace pw
