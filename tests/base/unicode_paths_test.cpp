// SPDX-License-Identifier: GPL-3.0-or-later
// File names and the program's folder as UTF-8, whatever the system's own encoding.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "base/unicode_paths.h"
#include "base/user_dirs.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

struct NameCase {
  const char* utf8;
  const wchar_t* wide; // what Windows is given
};

const NameCase kNames[] = {
    {"plain.Dat", L"plain.Dat"},
    {"J\xC3\xBCrgen.Dat", L"J\u00FCrgen.Dat"},
    {"\xCE\xA9mega \xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87.Dat", L"\u03A9mega \u043A\u043B\u044E\u0447.Dat"},
    {"\xE6\x9D\xB1\xE4\xBA\xAC.Dat", L"\u6771\u4EAC.Dat"},
    {"\xF0\x9F\x93\x9F pager.Dat", L"\U0001F4DF pager.Dat"}, // outside the BMP: a surrogate pair
};

TEST(UnicodePaths, NamesTravelToTheSystemAndBackUnchanged) {
  for (const NameCase& c : kNames) {
    SCOPED_TRACE(c.utf8);
    const fs::path path = PathFromUtf8(c.utf8);
#ifdef _WIN32
    EXPECT_EQ(path.wstring(), std::wstring(c.wide));
#endif
    EXPECT_EQ(Utf8FromPath(path), c.utf8);
  }
}

TEST(UnicodePaths, AFileOpenedByItsNameIsListedUnderThatName) {
  const fs::path folder = fs::temp_directory_path() / "pw_unicode_paths_test";
  fs::remove_all(folder);
  fs::create_directories(folder);
  for (const NameCase& c : kNames) {
    SCOPED_TRACE(c.utf8);
    std::FILE* f = OpenFile(folder / PathFromUtf8(c.utf8), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    bool listed = false;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
      listed = listed || Utf8FromPath(entry.path().filename()) == c.utf8;
    EXPECT_TRUE(listed);
  }
  fs::remove_all(folder);
}

TEST(UnicodePaths, BrokenTextGivesAPathNotAnException) {
  // Latin-1 "J\xFCrgen" as an ANSI code page hands it over.
  fs::path path;
  EXPECT_NO_THROW(path = PathFromUtf8("J\xFCrgen.Dat"));
  EXPECT_FALSE(path.empty());
  EXPECT_NO_THROW(Utf8FromPath(path));
}

TEST(ExecutableDirectory, IsTheFolderOfTheRunningProgramWhateverArgv0Says) {
  for (const char* argv0 : {"pagewright-cli", "no/such/folder/pagewright-cli.exe", ""}) {
    SCOPED_TRACE(argv0);
    const std::string dir = ExecutableDirectory(argv0);
    ASSERT_FALSE(dir.empty());
    EXPECT_TRUE(dir.back() == '/' || dir.back() == '\\');
    EXPECT_TRUE(PathFromUtf8(dir).is_absolute());
    EXPECT_TRUE(fs::is_regular_file(PathFromUtf8(dir) / PW_TEST_EXECUTABLE_NAME));
  }
}

TEST(WindowsDeviceNames, AreKnownByTheNameBeforeTheFirstDotInAnyCase) {
  struct Case {
    const char* path;
    bool device;
  };
  const Case cases[] = {
      {"COM1.Dat", true},
      {"nul.json", true},
      {"aux.Dat", true},
      {"C:\\tmp\\Lpt9", true},
      {"dir/con.tar.gz", true},
      {"PRN", true},
      {"com0.bin", true},
      {"NUL .txt", true},
      {"COM\xC2\xB9.Dat", true},
      {"conout$.txt", true},
      {"COM1:", true},
      {"COM10.Dat", false},
      {"COM.Dat", false},
      {"LPT", false},
      {"nullable.json", false},
      {"console.Dat", false},
      {"aux\\pager.Dat", false},
      {"COM1x.Dat", false},
      {"", false},
      {"pager.COM1", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsWindowsDeviceName(c.path), c.device) << c.path;
}

#ifdef _WIN32
TEST(SystemPath, GivesLongPathsTheirLongFormAndLeavesTheRestAlone) {
  const std::wstring deep = L"C:\\" + std::wstring(40, L'd') + L"\\" + std::wstring(300, L'f');
  EXPECT_EQ(SystemPath(deep).native(), L"\\\\?\\" + deep);
  EXPECT_EQ(SystemPath(L"C:/a/./b/../" + std::wstring(300, L'f')).native(),
            L"\\\\?\\C:\\a\\" + std::wstring(300, L'f'));
  EXPECT_EQ(SystemPath(L"\\\\server\\share\\" + std::wstring(300, L'f')).native(),
            L"\\\\?\\UNC\\server\\share\\" + std::wstring(300, L'f'));
  const std::wstring relative = std::wstring(300, L'r') + L".Dat";
  EXPECT_EQ(SystemPath(relative).native(), L"\\\\?\\" + fs::absolute(relative).native());
  for (const std::wstring& plain : {std::wstring(L"C:\\pager.Dat"), std::wstring(L"pager.Dat"),
                                    std::wstring(L"COM1.Dat"), L"\\\\?\\" + deep})
    EXPECT_EQ(SystemPath(plain).native(), plain);
}

TEST(SystemPath, AFileDeeperThan260CharactersIsWrittenAndReadBack) {
  const fs::path folder = fs::temp_directory_path() / "pw_long_path_test";
  fs::path deep = folder;
  for (int level = 0; level < 4; ++level)
    deep /= std::wstring(80, L'a' + level);
  const fs::path file = deep / L"pager.Dat";
  ASSERT_GT(file.native().size(), 300u);
  ASSERT_TRUE(EnsureDirectory(deep));
  std::FILE* f = OpenFile(file, "wb");
  ASSERT_NE(f, nullptr);
  EXPECT_GE(std::fputs("S0", f), 0);
  std::fclose(f);
  f = OpenFile(file, "rb");
  ASSERT_NE(f, nullptr);
  char text[4] = {};
  EXPECT_NE(std::fgets(text, sizeof text, f), nullptr);
  std::fclose(f);
  EXPECT_STREQ(text, "S0");
  std::error_code ignored;
  fs::remove_all(SystemPath(folder), ignored);
}
#endif

} // namespace
} // namespace pw
