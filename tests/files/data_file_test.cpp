// SPDX-License-Identifier: GPL-3.0-or-later
// The S-record text of a codeplug: what the writer produces and what the loader accepts.
#include <gtest/gtest.h>


#include "codeplug/codeplug.h"
#include "files/data_file.h"

namespace pw {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  while (from < text.size()) {
    const std::size_t end = text.find("\r\n", from);
    if (end == std::string::npos) {
      lines.push_back(text.substr(from) + "<no CR LF>");
      break;
    }
    lines.push_back(text.substr(from, end - from));
    from = end + 2;
  }
  return lines;
}

Image Patterned() {
  Image image{};
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  return image;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

TEST(DataFileWriter, DefaultImageRecordsAreTheGoldenLines) {
  const Codeplug cp;
  const std::vector<std::string> lines = Lines(WriteDataFile(cp.DefaultImage));
  ASSERT_EQ(lines.size(), 130u);
  EXPECT_EQ(lines[0], "S00900005057434F444534");
  EXPECT_EQ(lines[1], "S1130000000000000400118A5C809B1200000000C4");
  EXPECT_EQ(lines[2], "S113001023007800040580135680810000008213B9");
  EXPECT_EQ(lines[128], "S11307F060606060606060606060606060606060F5");
  EXPECT_EQ(lines[129], "S90901005057434F444533");
}

TEST(DataFileParser, ReadsBackWhatTheWriterWrote) {
  const Image image = Patterned();
  const auto parsed = ParseDataFile(WriteDataFile(image));
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(*parsed, image);
}

TEST(DataFileParser, SkipsTextAroundTheDataRecords) {
  std::vector<std::string> lines = Lines(WriteDataFile(Patterned()));
  std::string text = "notes before\n";
  for (std::size_t i = 1; i + 1 < lines.size(); ++i) text += lines[i] + (i % 2 ? "\n" : "  \r\n\r\n");
  text += "trailing";
  const auto parsed = ParseDataFile(text);
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(*parsed, Patterned());
}

TEST(DataFileParser, IgnoresTheAddressFieldWhenTheChecksumFitsTheExpectedPlace) {
  std::vector<std::string> lines = Lines(WriteDataFile(Patterned()));
  lines[5].replace(4, 4, "7FF0"); // checksum still that of address 0x0040
  const auto parsed = ParseDataFile(JoinLines(lines));
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(*parsed, Patterned());
}

struct BrokenFile {
  const char* name;
  std::string (*make)(std::vector<std::string> lines);
};

const BrokenFile kBrokenFiles[] = {
    {"lower-case hex digits",
     [](std::vector<std::string> lines) {
       std::string text = JoinLines(lines);
       for (char& c : text)
         if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
       return text;
     }},
    {"one data record missing",
     [](std::vector<std::string> lines) {
       lines.erase(lines.begin() + 40);
       return JoinLines(lines);
     }},
    {"records with wrong addresses and their own checksums",
     [](std::vector<std::string> lines) {
       // Records 0x0000 and 0x0010 of the default image swapped, each still self-consistent.
       std::swap(lines[1], lines[2]);
       return JoinLines(lines);
     }},
    {"one data digit changed",
     [](std::vector<std::string> lines) {
       lines[77][20] = lines[77][20] == '0' ? '1' : '0';
       return JoinLines(lines);
     }},
    {"last record cut inside its data",
     [](std::vector<std::string> lines) {
       return JoinLines(lines).substr(0, JoinLines(lines).find(lines[128]) + 30);
     }},
    {"last record cut before its second checksum digit",
     [](std::vector<std::string> lines) {
       return JoinLines(lines).substr(0, JoinLines(lines).find(lines[128]) + 41);
     }},
    {"empty text", [](std::vector<std::string>) { return std::string(); }},
};

TEST(DataFileParser, RefusesDamagedRecords) {
  const Codeplug cp;
  const std::vector<std::string> lines = Lines(WriteDataFile(cp.DefaultImage));
  for (const BrokenFile& broken : kBrokenFiles) {
    EXPECT_FALSE(ParseDataFile(broken.make(lines)).has_value()) << broken.name;
    const LoadedFile loaded = LoadDataFile(broken.make(lines));
    EXPECT_FALSE(loaded.ok) << broken.name;
    EXPECT_EQ(loaded.message, Plain("*** File I/O Error ***\nError checking on record failed!"))
        << broken.name;
  }
}

TEST(DataFileParser, ARecordEndingExactlyAtTheEndOfTheTextIsWhole) {
  const std::string text = WriteDataFile(Patterned());
  const std::size_t lastEnd = text.find("S9") - 2; // just after the last checksum
  const auto parsed = ParseDataFile(std::string_view(text).substr(0, lastEnd));
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(*parsed, Patterned());
}

} // namespace
} // namespace pw
