// SPDX-License-Identifier: GPL-3.0-or-later
// Reading and safely replacing codeplug files on disk.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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
  std::set<std::string> Names(const fs::path& folder = {}) const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.empty() ? folder_ : folder))
      names.insert(entry.path().filename().string());
    return names;
  }
  std::string Contents(const std::string& name) const {
    std::ifstream in(folder_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  void Put(const std::string& name, const std::string& text) const {
    std::ofstream(folder_ / name, std::ios::binary) << text;
  }
  fs::perms Mode(const std::string& name) const {
    return fs::status(folder_ / name).permissions() & fs::perms::mask;
  }

  fs::path folder_;
};

bool Root() { return ::geteuid() == 0; }

// A read or write that blocks ends the run at once instead of hanging it.
struct Deadline {
  Deadline() { ::alarm(20); }
  ~Deadline() { ::alarm(0); }
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

TEST_F(FileIo, RefusesWhatASaveMayNotReplaceAndLeavesItAsItWas) {
  const fs::path victim = folder_ / "victim.dat";
  const struct {
    const char* what;
    std::function<bool(const fs::path& target)> make; // false: cannot be made here
    const char* reason;
    bool appendedToo = true; // a file records are appended to is refused alike
  } cases[] = {
      {"a read-only file",
       [&](const fs::path& t) {
         std::ofstream(t) << kOld;
         fs::permissions(t, fs::perms::owner_read | fs::perms::group_read);
         return true;
       },
       "The file is read-only"},
      {"a folder", [](const fs::path& t) { return fs::create_directory(t); }, "Is a directory"},
      {"a named pipe", [](const fs::path& t) { return ::mkfifo(t.c_str(), 0666) == 0; },
       "Is a named pipe, not a regular file"},
      {"a device",
       [](const fs::path& t) { return ::mknod(t.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0; },
       "Is a device, not a regular file"},
      {"a link another user planted in a shared folder",
       [&](const fs::path& t) {
         fs::permissions(t.parent_path(), fs::perms::all | fs::perms::sticky_bit);
         fs::create_symlink(victim, t);
         return ::lchown(t.c_str(), 4242, 4242) == 0;
       },
       "Is a symbolic link that another user made in a shared folder"},
      {"a link that leads in a circle",
       [](const fs::path& t) {
         fs::create_symlink(t, t);
         return true;
       },
       "Too many levels of symbolic links"},
      {"a file whose backup is read-only",
       [](const fs::path& t) {
         std::ofstream(t) << kOld;
         std::ofstream(t.string() + ".bak") << "older";
         fs::permissions(t.string() + ".bak", fs::perms::owner_read);
         return true;
       },
       "The file is read-only", false},
  };
  Deadline deadline;
  int n = 0;
  for (const auto& c : cases) {
    const fs::path dir = folder_ / std::to_string(++n);
    fs::create_directories(dir);
    Put("victim.dat", kOld);
    const fs::path target = dir / "code.dat";
    if (!c.make(target)) {
      std::printf("skipped: %s (needs the administrator)\n", c.what);
      continue;
    }
    const std::set<std::string> before = Names(dir);
    const fs::file_type type = fs::symlink_status(target).type();

    const FileWriteResult checked = CheckWriteTarget(target.string(), true);
    const FileWriteResult written = WriteFileSafely(target.string(), kNew, true);
    EXPECT_FALSE(written.ok) << c.what;
    EXPECT_NE(written.error.find(std::string("\": ") + c.reason), std::string::npos)
        << c.what << ": " << written.error;
    EXPECT_EQ(checked.error, written.error) << "the check foresees the save's refusal";
    if (c.appendedToo) {
      bool created = true;
      std::string reason;
      EXPECT_EQ(OpenForAppending(target, false, created, reason), -1) << c.what;
      EXPECT_EQ("Cannot write file \"" + target.string() + "\": " + reason, written.error);
      EXPECT_FALSE(created);
    }
    EXPECT_EQ(Names(dir), before) << c.what << ": nothing made, nothing left behind";
    EXPECT_EQ(fs::symlink_status(target).type(), type) << c.what;
    EXPECT_EQ(Contents("victim.dat"), kOld) << c.what;
    if (fs::is_regular_file(fs::symlink_status(target))) {
      EXPECT_EQ(Contents(fs::relative(target, folder_)), kOld) << c.what;
    }
  }
}

TEST_F(FileIo, AReplacedFileKeepsItsModeOwnerAndLinks) {
  const struct {
    const char* what;
    const char* saved;   // the name the save is given
    std::function<void()> make;
    const char* written; // where the new content lands
    std::function<void()> check;
  } cases[] = {
      {"a private file stays private, and so does its backup", "code.dat",
       [&] {
         Put("code.dat", kOld);
         fs::permissions(folder_ / "code.dat", fs::perms::owner_read | fs::perms::owner_write);
       },
       "code.dat",
       [&] {
         EXPECT_EQ(Mode("code.dat"), fs::perms::owner_read | fs::perms::owner_write);
         EXPECT_EQ(Mode("code.dat.bak"), fs::perms::owner_read | fs::perms::owner_write);
       }},
      {"an existing backup keeps its mode but lets no one read what the file hides", "code.dat",
       [&] {
         Put("code.dat", kOld);
         Put("code.dat.bak", "older");
         fs::permissions(folder_ / "code.dat", fs::perms::owner_read | fs::perms::owner_write);
         fs::permissions(folder_ / "code.dat.bak", fs::perms::owner_read | fs::perms::owner_write |
                                                       fs::perms::group_read |
                                                       fs::perms::others_read);
       },
       "code.dat",
       [&] {
         EXPECT_EQ(Mode("code.dat.bak"), fs::perms::owner_read | fs::perms::owner_write);
       }},
      {"a symbolic link stays a link and its file gets the content", "link.dat",
       [&] {
         fs::create_directory(folder_ / "real");
         Put("real/code.dat", kOld);
         fs::create_symlink("real/code.dat", folder_ / "link.dat");
       },
       "real/code.dat",
       [&] {
         EXPECT_TRUE(fs::is_symlink(folder_ / "link.dat"));
         EXPECT_EQ(Contents("link.dat.bak"), kOld);
       }},
      {"hard links all show the new content", "code.dat",
       [&] {
         Put("code.dat", kOld);
         fs::create_hard_link(folder_ / "code.dat", folder_ / "other.dat");
       },
       "other.dat",
       [&] {
         EXPECT_TRUE(fs::equivalent(folder_ / "code.dat", folder_ / "other.dat"));
         EXPECT_EQ(fs::hard_link_count(folder_ / "code.dat"), 2u);
         EXPECT_EQ(Contents("code.dat.bak"), kOld);
       }},
      {"the owner is kept where the user may keep it", "code.dat",
       [&] {
         Put("code.dat", kOld);
         EXPECT_EQ(::chown((folder_ / "code.dat").c_str(), Root() ? 4242 : ::geteuid(), 4243),
                   Root() ? 0 : -1);
       },
       "code.dat",
       [&] {
         if (!Root()) return;
         struct stat st;
         ASSERT_EQ(::stat((folder_ / "code.dat").c_str(), &st), 0);
         EXPECT_EQ(st.st_uid, 4242u);
         EXPECT_EQ(st.st_gid, 4243u);
         ASSERT_EQ(::stat((folder_ / "code.dat.bak").c_str(), &st), 0);
         EXPECT_EQ(st.st_uid, 4242u) << "the backup belongs to the file's owner";
       }},
  };
  for (const auto& c : cases) {
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    c.make();
    const std::string path = PathOf(c.saved);
    EXPECT_TRUE(CheckWriteTarget(path).ok) << c.what << ": " << CheckWriteTarget(path).error;
    const FileWriteResult written = WriteFileSafely(path, kNew, true);
    ASSERT_TRUE(written.ok) << c.what << ": " << written.error;
    EXPECT_EQ(Contents(c.written), kNew) << c.what;
    SCOPED_TRACE(c.what);
    c.check();
  }
}

TEST_F(FileIo, APlantedLinkInASharedFolderNeverRedirectsTheSave) {
  // Anyone may create names here; the temporary files must not follow a link planted in
  // their way, whatever name it has, into a place where it would create a file.
  fs::permissions(folder_, fs::perms::all | fs::perms::sticky_bit);
  fs::create_directory(folder_ / "home");
  const char* planted[] = {"code.dat.pwtmp0", "code.dat.pwtmp1", "code.dat.tmp", "code.dat~",
                           "code.dat.bak.pwtmp0"};
  for (const char* name : planted) fs::create_symlink(folder_ / "home" / name, folder_ / name);
  Put("code.dat", kOld);
  const std::set<std::string> before = Names();

  ASSERT_TRUE(WriteFileSafely(PathOf("code.dat"), kNew, true).ok);
  EXPECT_TRUE(fs::is_empty(folder_ / "home")) << "nothing written where the links lead";
  EXPECT_EQ(Contents("code.dat"), kNew);
  EXPECT_FALSE(fs::is_symlink(folder_ / "code.dat"));
  std::set<std::string> expected = before;
  expected.insert("code.dat.bak");
  EXPECT_EQ(Names(), expected) << "no temporary file left, every planted link still there";
}

// A save that fails while its new files are being written leaves the file and its backup
// byte for byte as they were.
TEST_F(FileIo, AWriteThatRunsOutOfRoomLeavesFileAndBackupAsTheyWere) {
  const std::string big(64 * 1024, 'S');
  const struct {
    const char* what;
    std::string old, text;
  } cases[] = {
      {"the new content does not fit", kOld, big},
      {"the copy of the old content does not fit", big, kOld},
  };
  ::signal(SIGXFSZ, SIG_IGN);
  for (const auto& c : cases) {
    Put("code.dat", c.old);
    Put("code.dat.bak", "older backup");
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 16 * 1024; // files may not grow beyond this
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const FileWriteResult written = WriteFileSafely(PathOf("code.dat"), c.text, true);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(written.ok) << c.what;
    EXPECT_NE(written.error.find("File too large"), std::string::npos) << written.error;
    EXPECT_EQ(written.error.rfind("Cannot write file \"" + PathOf("code.dat") + "\": ", 0), 0u)
        << "names the file saved, not only its backup: " << written.error;
    EXPECT_TRUE(written.error.ends_with("; the save failed and nothing was changed"))
        << written.error;
    EXPECT_EQ(Contents("code.dat"), c.old) << c.what;
    EXPECT_EQ(Contents("code.dat.bak"), "older backup") << c.what;
    EXPECT_EQ(Names(), (std::set<std::string>{"code.dat", "code.dat.bak"})) << c.what;
  }
  ::signal(SIGXFSZ, SIG_DFL);
}

TEST_F(FileIo, AFullDiskLeavesFileAndBackupAsTheyWere) {
  const fs::path disk = folder_ / "disk";
  fs::create_directory(disk);
  if (::mount("pw-test", disk.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "a small file system cannot be mounted here";
  struct Unmount {
    const fs::path& at;
    ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{disk};
  Put("disk/code.dat", kOld);
  Put("disk/code.dat.bak", "older backup");
  {
    // Fill the disk, then free two pages: room for a backup of the old file, none for the
    // new content.
    std::ofstream filler(disk / "filler", std::ios::binary);
    const std::string page(4096, 'F');
    while (filler.write(page.data(), page.size()) && filler.flush()) {
    }
  }
  fs::resize_file(disk / "filler", fs::file_size(disk / "filler") - 8192);

  const FileWriteResult written =
      WriteFileSafely((disk / "code.dat").string(), std::string(32 * 1024, 'S'), true);
  EXPECT_FALSE(written.ok);
  EXPECT_NE(written.error.find("No space left on device"), std::string::npos) << written.error;
  EXPECT_TRUE(written.error.ends_with("; the save failed and nothing was changed"))
      << written.error;
  EXPECT_EQ(Contents("disk/code.dat"), kOld);
  EXPECT_EQ(Contents("disk/code.dat.bak"), "older backup");
  EXPECT_EQ(Names(disk), (std::set<std::string>{"code.dat", "code.dat.bak", "filler"}));
}

TEST_F(FileIo, ReadsOnlyRegularFilesOfBoundedSizeAndNeverBlocks) {
  ASSERT_EQ(::mkfifo(PathOf("pipe.dat").c_str(), 0666), 0);
  fs::create_directory(folder_ / "folder.dat");
  Put("limit.dat", std::string(kMaxReadFileBytes, 'S'));
  Put("over.dat", std::string(kMaxReadFileBytes + 1, 'S'));
  const struct {
    std::string path;
    const char* reason; // nullptr: read whole
  } cases[] = {
      {PathOf("pipe.dat"), "Is a named pipe, not a regular file"},
      {"/dev/zero", "Is a device, not a regular file"},
      {PathOf("folder.dat"), "Is a directory"},
      {PathOf("over.dat"), "File too large"},
      {PathOf("limit.dat"), nullptr},
  };
  Deadline deadline;
  for (const auto& c : cases) {
    const FileReadResult read = ReadTextFile(c.path);
    if (!c.reason) {
      EXPECT_TRUE(read.ok) << c.path << ": " << read.error;
      EXPECT_EQ(read.text.size(), kMaxReadFileBytes);
      continue;
    }
    EXPECT_FALSE(read.ok) << c.path;
    EXPECT_TRUE(read.text.empty()) << c.path;
    EXPECT_EQ(read.error, "Cannot read file \"" + c.path + "\": " + c.reason);
  }
}

TEST_F(FileIo, RecordFilesAreOpenedWhereASaveWouldWriteButNeverThroughADanglingLink) {
  fs::create_directory(folder_ / "elsewhere");
  Put("elsewhere/kept.txt", "earlier\n");
  const struct {
    const char* what;
    std::function<void(const fs::path& name)> make;
    const char* reason;  // nullptr: opened
    const char* written; // where the appended text lands
    bool created;
  } cases[] = {
      {"a new file", [](const fs::path&) {}, nullptr, "1/log.txt", true},
      {"an existing file", [&](const fs::path&) { Put("2/log.txt", "earlier\n"); }, nullptr,
       "2/log.txt", false},
      {"a link to the user's file",
       [&](const fs::path& t) { fs::create_symlink(folder_ / "elsewhere" / "kept.txt", t); },
       nullptr, "elsewhere/kept.txt", false},
      {"a link to a missing file",
       [&](const fs::path& t) { fs::create_symlink(folder_ / "elsewhere" / "made.txt", t); },
       "Is a symbolic link to a file that does not exist", nullptr, false},
      {"a link to an endless device", [](const fs::path& t) { fs::create_symlink("/dev/zero", t); },
       "Is a device, not a regular file", nullptr, false},
  };
  Deadline deadline;
  int n = 0;
  for (const auto& c : cases) {
    const fs::path dir = folder_ / std::to_string(++n);
    fs::create_directories(dir);
    c.make(dir / "log.txt");
    bool created = !c.created;
    std::string reason;
    const int fd = OpenForAppending(dir / "log.txt", false, created, reason);
    if (!c.reason) {
      ASSERT_GE(fd, 0) << c.what << ": " << reason;
      const std::string before = Contents(c.written);
      EXPECT_EQ(::write(fd, "new\n", 4), 4);
      ::close(fd);
      EXPECT_EQ(Contents(c.written), before + "new\n") << c.what;
      EXPECT_EQ(created, c.created) << c.what;
      continue;
    }
    EXPECT_EQ(fd, -1) << c.what;
    EXPECT_EQ(reason, c.reason) << c.what;
  }
  EXPECT_EQ(Names(folder_ / "elsewhere"), (std::set<std::string>{"kept.txt"}))
      << "the missing file a link names is never made";
}

TEST_F(FileIo, ASaveClearsTheStaleTemporaryFilesOfKilledSavesAndNothingElse) {
  const auto old = fs::file_time_type::clock::now() - std::chrono::minutes(5);
  const struct {
    const char* name;
    std::function<bool(const fs::path&)> make; // false: cannot be made here
    bool removed;
  } cases[] = {
      {".code.dat.abcdefghij01.tmp", [](const fs::path&) { return true; }, true},
      {".other.dat.0123456789ab.tmp", [](const fs::path&) { return true; }, true},
      {".code.dat.fresh0000000.tmp",
       [](const fs::path& p) {
         fs::last_write_time(p, fs::file_time_type::clock::now());
         return true;
       },
       false},
      {".code.dat.short.tmp", [](const fs::path&) { return true; }, false},
      {"code.dat.abcdefghij02.tmp", [](const fs::path&) { return true; }, false},
      {".code.dat.ABCDEFGHIJ03.tmp", [](const fs::path&) { return true; }, false},
      {".code.dat.theirs000004.tmp",
       [](const fs::path& p) { return Root() && ::chown(p.c_str(), 4242, 4242) == 0; }, false},
  };
  std::set<std::string> kept{"code.dat", "code.dat.bak"};
  for (const auto& c : cases) {
    Put(c.name, "left by a killed save");
    fs::last_write_time(folder_ / c.name, old);
    if (!c.make(folder_ / c.name)) {
      fs::remove(folder_ / c.name);
      std::printf("skipped: %s (needs the administrator)\n", c.name);
      continue;
    }
    if (!c.removed)
      kept.insert(c.name);
  }
  const fs::path link = folder_ / ".code.dat.alinkstale05.tmp";
  fs::create_symlink(folder_ / "code.dat", link);
  const timespec longAgo[2] = {{std::time(nullptr) - 300, 0}, {std::time(nullptr) - 300, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, link.c_str(), longAgo, AT_SYMLINK_NOFOLLOW), 0);
  kept.insert(link.filename().string());
  Put("code.dat", kOld);
  ASSERT_TRUE(WriteFileSafely(PathOf("code.dat"), kNew, true).ok);
  EXPECT_EQ(Names(), kept);
}

} // namespace
} // namespace pw
