// Reading and safely replacing codeplug files on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include <unistd.h>

#include "files/file_io.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

class FileIo : public ::testing::Test {
protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = fs::temp_directory_path() /
              (std::string("pw_file_io_") + info->name() + "_" + std::to_string(::getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_))
      names.insert(entry.path().filename().string());
    return names;
  }
  std::string Contents(const std::string& name) const {
    std::ifstream in(folder_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path folder_;
};

const std::string kOld = "S0 old\r\nS1 old\r\n";
const std::string kNew = std::string("S0 new\r\n\0binary\xFF\r\n", 18);

TEST_F(FileIo, WritesANewFileAndReadsItBackUnchanged) {
  const FileWriteResult written = WriteFileSafely(PathOf("code.dat"), kNew, true);
  ASSERT_TRUE(written.ok) << written.error;
  EXPECT_EQ(Names(), (std::set<std::string>{"code.dat"})); // no backup, no temporary left
  const FileReadResult read = ReadTextFile(PathOf("code.dat"));
  ASSERT_TRUE(read.ok) << read.error;
  EXPECT_EQ(read.text, kNew);
  EXPECT_TRUE(FileExists(PathOf("code.dat")));
}

TEST_F(FileIo, ReplacingKeepsTheOldContentInTheBackup) {
  ASSERT_TRUE(WriteFileSafely(PathOf("code.dat"), "older backup", false).ok);
  ASSERT_TRUE(WriteFileSafely(PathOf("code.dat.bak"), "stale", false).ok);
  ASSERT_TRUE(WriteFileSafely(PathOf("code.dat"), kOld, false).ok);
  EXPECT_EQ(Contents("code.dat.bak"), "stale");

  const FileWriteResult written = WriteFileSafely(PathOf("code.dat"), kNew, true);
  ASSERT_TRUE(written.ok) << written.error;
  EXPECT_EQ(Contents("code.dat"), kNew);
  EXPECT_EQ(Contents("code.dat.bak"), kOld);
  EXPECT_EQ(Names(), (std::set<std::string>{"code.dat", "code.dat.bak"}));
}

TEST_F(FileIo, ReplacingWithoutBackupMakesNone) {
  ASSERT_TRUE(WriteFileSafely(PathOf("code.dat"), kOld, false).ok);
  ASSERT_TRUE(WriteFileSafely(PathOf("code.dat"), kNew, false).ok);
  EXPECT_EQ(Contents("code.dat"), kNew);
  EXPECT_EQ(Names(), (std::set<std::string>{"code.dat"}));
}

TEST_F(FileIo, WritingIntoAMissingFolderFailsAndLeavesNothing) {
  const std::string path = PathOf("no such folder/code.dat");
  const FileWriteResult written = WriteFileSafely(path, kNew, true);
  EXPECT_FALSE(written.ok);
  EXPECT_EQ(written.error, "Cannot write file \"" + path + "\": No such file or directory");
  EXPECT_TRUE(Names().empty());
}

TEST_F(FileIo, AFailedReplaceLeavesTheTargetAndNoTemporary) {
  // A folder where the file should go: the rename over it fails.
  fs::create_directories(folder_ / "code.dat" / "inside");
  const FileWriteResult written = WriteFileSafely(PathOf("code.dat"), kNew, false);
  EXPECT_FALSE(written.ok);
  EXPECT_EQ(written.error.rfind("Cannot write file \"" + PathOf("code.dat") + "\": ", 0), 0u)
      << written.error;
  EXPECT_EQ(Names(), (std::set<std::string>{"code.dat"}));
  EXPECT_TRUE(fs::is_directory(folder_ / "code.dat" / "inside"));
}

TEST_F(FileIo, ReadingAMissingFileNamesIt) {
  const std::string path = PathOf("missing.dat");
  const FileReadResult read = ReadTextFile(path);
  EXPECT_FALSE(read.ok);
  EXPECT_EQ(read.error, "Cannot read file \"" + path + "\": No such file or directory");
  EXPECT_FALSE(FileExists(path));
}

} // namespace
} // namespace pw
