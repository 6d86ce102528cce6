// SPDX-License-Identifier: GPL-3.0-or-later
// The programming log: CSV quoting, the columns of a record, the local time stamp, and the
// file itself when it is new, torn by a crash, shared by two programs, or cannot be written.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "batch/csv.h"
#include "batch/csv_reader.h"
#include "batch/line_append.h"
#include "batch/programming_log.h"
#include "codeplug/flex_address.h"
#include "files/frequency.h"

namespace pw {
namespace {

namespace fs = std::filesystem;
using test::ReadCsv;

std::string ReadAll(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

void WriteAll(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

// A record with the awkward characters a real one may carry: commas and quotes in the
// path, a line break in the failing step.
ProgrammingRecord SampleRecord(const std::string& serial, std::size_t pathLength = 20) {
  ProgrammingRecord r;
  r.time = "2026-12-08T14:03:22+01:00";
  r.programVersion = "1.2.9";
  r.port = "1";
  r.device = "/dev/ttyUSB0";
  r.serialNumber = serial;
  r.firmwareVersion = "020301";
  r.source = "/home/tech/\"box, 2\"/" + std::string(pathLength, 'p') + ".Dat";
  DescribeWrittenImage(r, Codeplug().WorkingImage);
  r.outcome = "Programming Fail!\nCheck the cable";
  r.capcodesAfterStepping = {"1234561", "1234562", "", "", "", ""};
  return r;
}

std::string Line(const ProgrammingRecord& r) {
  return CsvLine(LogFields(r));
}

TEST(Csv, FieldsAreQuotedOnlyWhenTheyMustBeAndReadBackAsWritten) {
  struct Case {
    std::string value, field;
  };
  const Case cases[] = {
      {"plain", "plain"},           {"", ""},
      {" spaced ", " spaced "},     {"C:\\Pagers\\box.Dat", "C:\\Pagers\\box.Dat"},
      {"a,b", "\"a,b\""},           {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"\"", "\"\"\"\""},           {"two\r\nlines", "\"two\r\nlines\""},
      {"cr\ronly", "\"cr\ronly\""}, {"lf\n", "\"lf\n\""},
  };
  std::vector<std::string> values;
  for (const Case& c : cases) {
    EXPECT_EQ(CsvField(c.value), c.field) << c.value;
    values.push_back(c.value);
  }
  const std::string line = CsvLine(values);
  ASSERT_TRUE(line.ends_with(",\"lf\n\"\r\n"));
  EXPECT_EQ(ReadCsv(line), test::CsvRows{values});
}

TEST(ProgrammingRecord, ColumnsComeFromTheImageAndEveryRecordIsOneLine) {
  Codeplug cp;
  FrequencyField field;
  std::string text = "931.2375";
  Messages messages;
  ValidateFrequency(cp, field, text, messages);
  StoreAddressWords(cp, 2, EncodeCapcode(123456789));
  SetEnableBits(cp, 2, map::kEnableLong);
  SetEnableBits(cp, 6, map::kEnableDisabled);

  const CodeplugColumns columns = CodeplugColumnsOf(cp.WorkingImage);
  EXPECT_EQ(columns.frequency, "931.2375");
  EXPECT_EQ(columns.capcodes, (std::array<std::string, 6>{"1234560", "123456789", "1234562",
                                                          "1234563", "1234564", "1234565"}));
  EXPECT_EQ(columns.enabled, (std::array<bool, 6>{true, true, false, false, false, false}));

  ProgrammingRecord r = SampleRecord("=HYPERLINK(1)");
  DescribeWrittenImage(r, cp.WorkingImage);
  EXPECT_EQ(r.imageSha256.size(), 64u);
  EXPECT_NE(r.imageSha256, SampleRecord("AB12345678").imageSha256); // differs from the default

  const std::string line = Line(r);
  EXPECT_EQ(line.find('\n'), line.size() - 1) << "the failing step's line break is flattened";
  const auto rows = ReadCsv(CsvLine(LogHeader()) + line);
  ASSERT_TRUE(rows);
  ASSERT_EQ(rows->size(), 2u);
  const auto& header = (*rows)[0];
  const auto& fields = (*rows)[1];
  ASSERT_EQ(fields.size(), header.size());
  auto column = [&](const std::string& title) {
    for (std::size_t i = 0; i < header.size(); ++i)
      if (header[i] == title)
        return fields[i];
    return std::string("<no column " + title + ">");
  };
  EXPECT_EQ(column("Serial number"), "'=HYPERLINK(1)") << "kept as text in a spreadsheet";
  EXPECT_EQ(column("Source"), r.source);
  EXPECT_EQ(column("Frequency (MHz)"), "931.2375");
  EXPECT_EQ(column("Code B"), "123456789");
  EXPECT_EQ(column("Code B enabled"), "yes");
  EXPECT_EQ(column("Code F enabled"), "no");
  EXPECT_EQ(column("Outcome"), "Programming Fail! Check the cable");
  EXPECT_EQ(column("Code B after stepping"), "1234562");
  EXPECT_EQ(column("Image SHA-256"), r.imageSha256);
}

TEST(ProgrammingRecord, WhatAPagerSentStaysVisibleAsText) {
  struct Case {
    std::string raw, serial;
  } cases[] = {
      {"CVAFABC123", "CVAFABC123"},
      {"cvafabc123", "cvafabc123"},
      {std::string("\xFF\xFF\0\0A\\1 2\x7F\n", 10), "\\xFF\\xFF\\x00\\x00A\\x5C1 2\\x7F"},
  };
  for (const Case& c : cases) EXPECT_EQ(SerialNumberForLog(c.raw), c.serial) << c.serial;
  EXPECT_EQ(FirmwareDigitsForLog("RV615-FVRZ 010209"), "010209");
  EXPECT_EQ(FirmwareDigitsForLog("RV615-FVRZ 01020"), "");
}

TEST(LogTimestamp, IsLocalTimeWithItsOffset) {
  struct Case {
    const char* zone;
    std::time_t t;
    const char* shown;
  };
  const Case cases[] = {
      {"UTC0", 1796735002, "2026-12-08T13:03:22+00:00"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", 1796735002, "2026-12-08T14:03:22+01:00"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", 1782907200, "2026-07-01T14:00:00+02:00"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", 1798759800, "2027-01-01T00:30:00+01:00"},
      {"NST3:30NDT,M3.2.0,M11.1.0", 1796735002, "2026-12-08T09:33:22-03:30"},
      {"IST-5:30", 1798759800, "2027-01-01T05:00:00+05:30"},
  };
  const char* saved = std::getenv("TZ");
  const std::string restore = saved ? saved : "";
  for (const Case& c : cases) {
    ::setenv("TZ", c.zone, 1);
    ::tzset();
    EXPECT_EQ(LogTimestamp(c.t), c.shown) << c.zone;
  }
  if (saved)
    ::setenv("TZ", restore.c_str(), 1);
  else
    ::unsetenv("TZ");
  ::tzset();
}

class ProgrammingLogFile : public ::testing::Test {
protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("pagewright-log-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    path = dir / "log.csv";
  }
  void TearDown() override { fs::remove_all(dir); }

  // Every row whole: the header first, then records with as many fields.
  test::CsvRows WellFormedRows() {
    const auto rows = ReadCsv(ReadAll(path));
    EXPECT_TRUE(rows) << ReadAll(path);
    if (!rows)
      return {};
    EXPECT_EQ(rows->front(), LogHeader());
    for (const auto& row : *rows)
      EXPECT_EQ(row.size(), LogHeader().size());
    return *rows;
  }

  fs::path dir, path;
};

TEST_F(ProgrammingLogFile, DefaultLogGoesToTheUserDataFolderWithItsHeaderOnce) {
  const char* saved = std::getenv("XDG_DATA_HOME");
  const std::string restore = saved ? saved : "";
  ::setenv("XDG_DATA_HOME", dir.c_str(), 1);
  ProgrammingLog log;
  if (saved)
    ::setenv("XDG_DATA_HOME", restore.c_str(), 1);
  else
    ::unsetenv("XDG_DATA_HOME");

  ASSERT_EQ(log.Path(), dir / "pagewright" / "programming-log.csv");
  ProgrammingRecord unstamped = SampleRecord("FIRST00001");
  unstamped.time.clear();
  EXPECT_TRUE(log.Append(unstamped).ok);
  EXPECT_TRUE(log.Append(SampleRecord("SECOND0002")).ok);
  path = log.Path();
  const auto rows = WellFormedRows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1][0].size(), std::string("2026-12-08T14:03:22+01:00").size()) << rows[1][0];
  EXPECT_EQ(rows[2], LogFields(SampleRecord("SECOND0002")));
}

TEST_F(ProgrammingLogFile, ATornLastLineIsClosedSoTheNextRecordStandsOnItsOwn) {
  const std::string header = CsvLine(LogHeader());
  const std::string full = Line(SampleRecord("WHOLE00001"));
  const std::size_t quote = full.find("\"/home");
  struct Case {
    const char* what;
    std::string before;   // the file as the crash left it
    std::size_t tornRows; // rows between the header and the new record
  };
  const Case cases[] = {
      {"cut inside a bare field", header + full + full.substr(0, 30), 2},
      {"cut just after an opening quote", header + full + full.substr(0, quote + 1), 2},
      {"cut inside a quoted field", header + full + full.substr(0, quote + 15), 2},
      {"cut between a doubled quote", header + full.substr(0, full.find("\"\"box") + 1), 1},
      {"cut before the CR", header + full.substr(0, full.size() - 2), 1},
      {"cut between CR and LF", header + full.substr(0, full.size() - 1), 1},
      {"header cut short", header.substr(0, 40), 0},
      {"header without its LF", header.substr(0, header.size() - 1), 0},
      {"empty file", "", 0},
  };
  for (const Case& c : cases) {
    WriteAll(path, c.before);
    ASSERT_TRUE(ProgrammingLog(path).Append(SampleRecord("AFTER00002")).ok) << c.what;
    const auto rows = ReadCsv(ReadAll(path));
    ASSERT_TRUE(rows) << c.what << ":\n" << ReadAll(path);
    ASSERT_EQ(rows->size(), c.tornRows + 2) << c.what;
    EXPECT_EQ(rows->front(), LogHeader()) << c.what;
    EXPECT_EQ(rows->back(), LogFields(SampleRecord("AFTER00002"))) << c.what;
  }
  EXPECT_EQ(CloseTornLine(""), "");
}

TEST_F(ProgrammingLogFile, ALogThatCannotBeWrittenSaysWhyAndIsReportedOnce) {
  fs::create_directories(dir / "a-folder");
  WriteAll(dir / "a-file", "x");
  ASSERT_EQ(::mkfifo((dir / "pipe.csv").c_str(), 0666), 0);
  fs::create_symlink(dir / "a-folder" / "made.csv", dir / "dangling.csv");
  fs::create_symlink("/dev/zero", dir / "zero.csv");
  struct Case {
    fs::path path;
    const char* reason;
  };
  const Case cases[] = {
      {dir / "missing" / "log.csv", "No such file or directory"},
      {dir / "a-folder", "Is a directory"},
      {dir / "a-file" / "log.csv", "Not a directory"},
      {dir / "pipe.csv", "Is a named pipe, not a regular file"},
      {dir / "dangling.csv", "Is a symbolic link to a file that does not exist"},
      {dir / "zero.csv", "Is a device, not a regular file"},
  };
  ::alarm(20); // a log that blocks ends the run instead of hanging it
  for (const Case& c : cases) {
    ProgrammingLog log(c.path);
    const LogWrite first = log.Append(SampleRecord("FAILS00001"));
    EXPECT_FALSE(first.ok);
    EXPECT_EQ(first.message,
              "Cannot write the programming log " + c.path.string() + ": " + c.reason);
    EXPECT_TRUE(first.report) << c.path;
    const LogWrite second = log.Append(SampleRecord("FAILS00002"));
    EXPECT_FALSE(second.ok);
    EXPECT_FALSE(second.report) << "reported once per session: " << c.path;
  }
  ::alarm(0);
  EXPECT_FALSE(fs::exists(dir / "missing")) << "a named log's folder is not made up";
  EXPECT_TRUE(fs::is_empty(dir / "a-folder")) << "nor the missing file a link names";

  // No user folder at all: nowhere to put the default log.
  const char* home = std::getenv("HOME");
  const std::string restore = home ? home : "";
  ::unsetenv("HOME");
  ::unsetenv("XDG_DATA_HOME");
  ProgrammingLog homeless;
  if (home)
    ::setenv("HOME", restore.c_str(), 1);
  const LogWrite w = homeless.Append(SampleRecord("FAILS00003"));
  EXPECT_FALSE(w.ok);
  EXPECT_EQ(w.message, "Cannot write the programming log: no folder for the user's files is "
                       "known (HOME is not set)");
}

// Appends count records marked with the writer's letter; for a child process.
[[noreturn]] void AppendAndExit(const fs::path& path, char writer, int count) {
  ProgrammingLog log(path);
  bool ok = true;
  for (int i = 0; i < count; ++i)
    ok = log.Append(SampleRecord(std::string(1, writer) + std::to_string(i), 3000)).ok && ok;
  ::_exit(ok ? 0 : 1);
}

TEST_F(ProgrammingLogFile, TwoProgramsAppendingAtOnceNeverInterleave) {
  constexpr int kEach = 150;
  pid_t writers[2];
  for (int w = 0; w < 2; ++w) {
    writers[w] = ::fork();
    ASSERT_GE(writers[w], 0);
    if (writers[w] == 0)
      AppendAndExit(path, char('A' + w), kEach);
  }
  for (pid_t pid : writers) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const auto rows = WellFormedRows();
  ASSERT_EQ(rows.size(), std::size_t(1 + 2 * kEach));
  std::set<std::string> serials;
  for (std::size_t i = 1; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i], LogFields(SampleRecord(rows[i][4], 3000))) << "row " << i;
    serials.insert(rows[i][4]);
  }
  EXPECT_EQ(serials.size(), std::size_t(2 * kEach));
}

TEST_F(ProgrammingLogFile, AProgramKilledWhileAppendingLeavesWellFormedCsv) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(ready[0]);
    ProgrammingLog log(path);
    for (int i = 0;; ++i) {
      log.Append(SampleRecord("K" + std::to_string(i), 20000));
      if (i == 20)
        (void)!::write(ready[1], "x", 1);
    }
  }
  ::close(ready[1]);
  char byte;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1); // the child is well into its appends
  ::close(ready[0]);
  ASSERT_EQ(::kill(child, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));

  ASSERT_TRUE(ProgrammingLog(path).Append(SampleRecord("SURVIVOR01")).ok);
  const auto rows = WellFormedRows();
  ASSERT_GE(rows.size(), 23u);
  EXPECT_EQ(rows.back(), LogFields(SampleRecord("SURVIVOR01")));
}

} // namespace
} // namespace pw
