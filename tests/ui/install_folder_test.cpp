// SPDX-License-Identifier: GPL-3.0-or-later
// Where an installed program keeps its settings: never beside an executable in a folder the
// package manager owns, even when run as root; a built or unpacked copy keeps them beside
// itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "ui/settings.h"

namespace pw::ui {
namespace {

namespace fs = std::filesystem;

TEST(InstallFolder, SystemPrefixesAreNeverWrittenBesideTheProgram) {
  struct Case {
    const char* dir;
    bool system;
  };
  const Case cases[] = {
      {"/usr/bin/", true},
      {"/usr/local/bin/", true},
      {"/opt/pagewright/bin", true},
      {"/usr", true},
      {"/bin/", true},
      {"/usr/../usr/games/", true},
      {"/usrlocal/bin/", false},
      {"/optional/bin/", false},
      {"/home/tech/pw/build/bin/", false},
      {"build/bin/", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(UnderSystemPrefix(c.dir), c.system) << c.dir;

  const fs::path root =
      fs::temp_directory_path() / ("pw-install-folder-" + std::to_string(::getpid()));
  fs::create_directories(root / "build");
  ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  const std::string config = (root / "config" / "pagewright").string() + "/";
  const std::string build = (root / "build").string() + "/";
  EXPECT_EQ(SettingsDirectory("/usr/bin/"), config) << "also for root, who may write /usr/bin";
  EXPECT_EQ(SettingsDirectory("/opt/pagewright/bin/"), config);
  EXPECT_EQ(SettingsDirectory(build), build);
  EXPECT_TRUE(WorksBesideProgram(build));
  EXPECT_FALSE(WorksBesideProgram("/usr/bin/"));
  ::unsetenv("XDG_CONFIG_HOME");
  fs::remove_all(root);
}

} // namespace
} // namespace pw::ui
