// SPDX-License-Identifier: GPL-3.0-or-later
// The programming log on Windows: two programs appending at once take turns through
// LockFileEx, so every record stays a whole line. The writers are this test program itself,
// started twice with the hidden writer test selected.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "batch/csv_reader.h"
#include "batch/programming_log.h"
#include "codeplug/codeplug.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

constexpr int kEach = 100;
constexpr const char* kPathVariable = "PW_LOG_WRITER_PATH";
constexpr const char* kNameVariable = "PW_LOG_WRITER_NAME";
constexpr const char* kGoVariable = "PW_LOG_WRITER_GO";

// Long records, so that a write torn by a missing lock would show.
ProgrammingRecord Record(const std::string& serial) {
  ProgrammingRecord r;
  r.time = "2026-12-08T14:03:22+01:00";
  r.programVersion = "1.2.9";
  r.port = "1";
  r.device = "COM1";
  r.serialNumber = serial;
  r.firmwareVersion = "020301";
  r.source = "C:\\Pagers\\\"box, 2\"\\" + std::string(3000, 'p') + ".Dat";
  DescribeWrittenImage(r, Codeplug().WorkingImage);
  r.outcome = "Programming Fail!\nCheck the cable";
  return r;
}

// One writer: waits for the start signal, then appends its records.
TEST(ProgrammingLogLock, DISABLED_Writer) {
  const char* path = std::getenv(kPathVariable);
  const char* name = std::getenv(kNameVariable);
  const char* go = std::getenv(kGoVariable);
  ASSERT_TRUE(path && name && go);
  HANDLE start = OpenEventA(SYNCHRONIZE, FALSE, go);
  ASSERT_NE(start, nullptr);
  ASSERT_EQ(WaitForSingleObject(start, 60'000), WAIT_OBJECT_0);
  CloseHandle(start);
  ProgrammingLog log(fs::u8path(path));
  for (int i = 0; i < kEach; ++i)
    ASSERT_TRUE(log.Append(Record(std::string(name) + std::to_string(i))).ok) << i;
}

TEST(ProgrammingLogLock, TwoProgramsAppendingAtOnceLeaveEveryLineWhole) {
  const fs::path dir =
      fs::temp_directory_path() / ("pagewright-log-lock-" + std::to_string(GetCurrentProcessId()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path log = dir / "log.csv";
  const std::string go = "pagewright-log-go-" + std::to_string(GetCurrentProcessId());
  HANDLE start = CreateEventA(nullptr, TRUE, FALSE, go.c_str());
  ASSERT_NE(start, nullptr);

  wchar_t self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  std::wstring command = L"\"" + std::wstring(self) +
                         L"\" --gtest_filter=ProgrammingLogLock.DISABLED_Writer"
                         L" --gtest_also_run_disabled_tests";
  SetEnvironmentVariableA(kPathVariable, log.string().c_str());
  SetEnvironmentVariableA(kGoVariable, go.c_str());
  PROCESS_INFORMATION writers[2]{};
  for (int w = 0; w < 2; ++w) {
    SetEnvironmentVariableA(kNameVariable, w == 0 ? "A" : "B");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &writers[w]));
  }
  SetEvent(start);
  for (PROCESS_INFORMATION& writer : writers) {
    EXPECT_EQ(WaitForSingleObject(writer.hProcess, 300'000), WAIT_OBJECT_0);
    DWORD status = 1;
    GetExitCodeProcess(writer.hProcess, &status);
    EXPECT_EQ(status, 0u);
    CloseHandle(writer.hThread);
    CloseHandle(writer.hProcess);
  }
  CloseHandle(start);

  std::stringstream text;
  text << std::ifstream(log, std::ios::binary).rdbuf();
  const auto rows = test::ReadCsv(text.str());
  ASSERT_TRUE(rows) << "the log is no well-formed CSV";
  ASSERT_EQ(rows->size(), std::size_t(1 + 2 * kEach));
  EXPECT_EQ(rows->front(), LogHeader());
  std::set<std::string> serials;
  for (std::size_t i = 1; i < rows->size(); ++i) {
    const std::string& serial = (*rows)[i].size() > 4 ? (*rows)[i][4] : std::string();
    EXPECT_EQ((*rows)[i], LogFields(Record(serial))) << "row " << i;
    serials.insert(serial);
  }
  EXPECT_EQ(serials.size(), std::size_t(2 * kEach));
  fs::remove_all(dir);
}

} // namespace
} // namespace pw

#endif
