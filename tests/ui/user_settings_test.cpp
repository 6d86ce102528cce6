// SPDX-License-Identifier: GPL-3.0-or-later
// The program's own settings file: values survive a save and load, foreign lines are kept,
// and a missing file is empty settings.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include <sys/stat.h>
#include <unistd.h>

#include "ui/settings.h"
#include "ui/user_settings.h"

namespace pw::ui {
namespace {

namespace fs = std::filesystem;

TEST(UserSettings, SavedValuesLoadAgainWithUnknownKeysKept) {
  const fs::path dir = fs::temp_directory_path() / ("pw_user_settings_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  const fs::path file = dir / "nested" / "pagewright.conf";
  {
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    std::ofstream(file) << "# comment\nfuture.key=kept\r\nbroken line\nverify=0\n";
  }
  UserSettings s = UserSettings::Load(file);
  EXPECT_FALSE(s.Flag("verify", true));
  EXPECT_TRUE(s.Flag("absent", true));
  s.SetFlag("verify", true);
  s.Set("com.1", "/dev/ttyUSB0");
  s.Set("bad", "two\nlines"); // refused: it would split the line
  ASSERT_TRUE(s.Save());

  UserSettings again = UserSettings::Load(file);
  EXPECT_TRUE(again.Flag("verify", false));
  EXPECT_EQ(again.Get("com.1"), "/dev/ttyUSB0");
  EXPECT_EQ(again.Get("future.key"), "kept");
  EXPECT_FALSE(again.Get("bad").has_value());
  EXPECT_FALSE(UserSettings::Load(dir / "missing.conf").Get("verify").has_value());
  fs::remove_all(dir);
}

// Both settings files, "CorvaneF.ini" and our own, are read only when they are plain files of
// a sensible size: anything else gives the defaults and says why, and never blocks or grows.
TEST(UserSettings, HostileSettingsFilesGiveTheDefaultsAndSaySo) {
  const fs::path dir =
      fs::temp_directory_path() / ("pw_hostile_settings_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const struct {
    const char* what;
    std::function<void(const fs::path&)> make;
    const char* reason; // nullptr: nothing to report
  } cases[] = {
      {"missing", [](const fs::path&) {}, nullptr},
      {"a named pipe", [](const fs::path& p) { ::mkfifo(p.c_str(), 0666); },
       "Is a named pipe, not a regular file"},
      {"a link to an endless device", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); },
       "Is a device, not a regular file"},
      {"a link to random bytes", [](const fs::path& p) { fs::create_symlink("/dev/urandom", p); },
       "Is a device, not a regular file"},
      {"far too large",
       [](const fs::path& p) { std::ofstream(p) << "verify=0\n7\n"
                                                << std::string(1 << 20, '#'); },
       "File too large"},
  };
  ::alarm(20); // a read that blocks ends the run instead of hanging it
  int n = 0;
  for (const auto& c : cases) {
    const fs::path conf = dir / (std::to_string(++n) + ".conf");
    const fs::path ini = dir / (std::to_string(n) + ".ini");
    c.make(conf);
    c.make(ini);
    const UserSettings s = UserSettings::Load(conf);
    std::string iniProblem;
    const PortSettings port = ReadSettings(ini.string(), &iniProblem);
    EXPECT_TRUE(s.Flag("verify", true)) << c.what;
    EXPECT_EQ(port.port, kDefaultPort) << c.what;
    EXPECT_EQ(port.visiblePortCount, kDefaultVisiblePortCount) << c.what;
    auto problemOf = [&](const fs::path& p) {
      return c.reason ? "Cannot read file \"" + p.string() + "\": " + c.reason : std::string();
    };
    EXPECT_EQ(s.problem(), problemOf(conf)) << c.what;
    EXPECT_EQ(iniProblem, problemOf(ini)) << c.what;
  }
  ::alarm(0);
  fs::remove_all(dir);
}

} // namespace
} // namespace pw::ui
