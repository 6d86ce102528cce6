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
  return _wfopen(path.c_str(), Widen(mode).c_str());
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

#endif

} // namespace pw
