// The program's own settings file: values survive a save and load, foreign lines are kept,
// and a missing file is empty settings.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

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

} // namespace
} // namespace pw::ui
