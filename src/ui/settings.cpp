#include "ui/settings.h"

#include "base/user_dirs.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace pw::ui {

namespace fs = std::filesystem;

bool DirectoryWritable(const std::string& dir) {
  std::error_code ec;
  if (dir.empty() || !fs::is_directory(dir, ec)) return false;
  fs::path probe = fs::path(dir) / ".pagewright-write-test";
  {
    std::ofstream f(probe);
    if (!f) return false;
  }
  fs::remove(probe, ec);
  return true;
}

namespace {

// A line of at most four characters, converted up to its first non-digit.
int ReadNumberLine(std::FILE* f, bool& ok) {
  char line[5] = {};
  if (!std::fgets(line, sizeof line, f)) {
    ok = false;
    return 0;
  }
  int value = 0;
  int digits = 0;
  for (const char* p = line; *p >= '0' && *p <= '9'; ++p, ++digits) value = value * 10 + (*p - '0');
  if (digits == 0) ok = false;
  // Skip the rest of a longer line so the next read starts on the next line.
  if (!std::strchr(line, '\n')) {
    int ch;
    while ((ch = std::fgetc(f)) != EOF && ch != '\n') {
    }
  }
  return value;
}

} // namespace

std::string SettingsDirectory(const std::string& programDir) {
  if (DirectoryWritable(programDir)) return programDir;
  fs::path dir = UserConfigDirectory();
  if (!EnsureDirectory(dir)) return programDir;
  std::string s = dir.string();
  if (!s.empty() && s.back() != '/' && s.back() != '\\') s += '/';
  return s;
}

PortSettings ReadSettings(const std::string& path) {
  PortSettings s;
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return s;
  bool portOk = true, countOk = true;
  int port = ReadNumberLine(f, portOk);
  int count = ReadNumberLine(f, countOk);
  std::fclose(f);
  if (portOk && port >= 1 && port <= 256) s.port = port;
  if (countOk && count >= 0 && count <= 256) s.visiblePortCount = count;
  return s;
}

bool WriteSettings(const std::string& path, const PortSettings& settings) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return false;
  bool ok = std::fprintf(f, "%d\n%d\n", settings.port, settings.visiblePortCount) > 0;
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

} // namespace pw::ui
